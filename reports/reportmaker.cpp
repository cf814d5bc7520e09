#include "reportmaker.h"

#include "threadending.h"

#include <QLoggingCategory>
#include <QMutex>
#include <QSaveFile>
#include <QThread>

Q_LOGGING_CATEGORY(lcReports, "velmora.reports")

namespace {

constexpr int ReadyCheckMs = 100;
constexpr int ReadyWaitMs = 30000;
// A drawing told to stop leaves at its next device or block of rows.
constexpr int StopWaitMs = 300;

} // namespace

struct ReportMaker::Shared
{
    std::atomic<bool> cancel{false};
    // Held while a drawing hands its outcome back: the maker is not gone meanwhile.
    QMutex mutex;
    ReportMaker *maker = nullptr;
};

ReportMaker::ReportMaker(QObject *parent)
    : QObject(parent)
    , m_thread(new QThread)
    , m_worker(new QObject)
    , m_shared(std::make_shared<Shared>())
{
    m_shared->maker = this;
    setObjectName(QStringLiteral("reportMaker"));
    m_thread->setObjectName(QStringLiteral("reports"));
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start(QThread::LowPriority);
    m_readiness.setInterval(ReadyCheckMs);
    connect(&m_readiness, &QTimer::timeout, this, [this] { startReady(false); });
}

ReportMaker::~ReportMaker()
{
    finish(m_closingBy);
}

void ReportMaker::write(const QString &path, Drawing drawing, std::function<bool()> ready)
{
    m_waiting.append({path, std::move(drawing), std::move(ready), QDeadlineTimer(ReadyWaitMs)});
    startReady(false);
}

void ReportMaker::startReady(bool all)
{
    for (int i = 0; i < m_waiting.size();) {
        const Job &job = m_waiting.at(i);
        if (all || !job.ready || job.ready() || job.readyBy.hasExpired()) {
            start(m_waiting.takeAt(i));
            continue;
        }
        ++i;
    }
    if (m_waiting.isEmpty())
        m_readiness.stop();
    else if (!m_readiness.isActive())
        m_readiness.start();
}

void ReportMaker::start(const Job &job)
{
    if (!m_thread)
        return;
    ++m_drawing;
    QMetaObject::invokeMethod(m_worker, [shared = m_shared, job] {
        QString error;
        QSaveFile file(job.path);
        if (!file.open(QIODevice::WriteOnly)) {
            error = file.errorString();
        } else if (!job.drawing(&file, shared->cancel)) {
            file.cancelWriting();
            error = shared->cancel.load() ? QStringLiteral("not finished in time") : file.errorString();
            if (error.isEmpty())
                error = QStringLiteral("drawing failed");
        } else if (!file.commit()) {
            error = file.errorString();
        }
        // Logged here: a report finished while the window closes has no event loop to go back to.
        if (error.isEmpty())
            qCInfo(lcReports) << "report written:" << job.path;
        else
            qCWarning(lcReports) << "report left out:" << job.path << error;
        const QMutexLocker lock(&shared->mutex);
        if (ReportMaker *maker = shared->maker)
            QMetaObject::invokeMethod(maker, [maker, path = job.path, error] { maker->done(path, error); },
                                      Qt::QueuedConnection);
    }, Qt::QueuedConnection);
}

void ReportMaker::done(const QString &path, const QString &error)
{
    --m_drawing;
    if (error.isEmpty())
        emit written(path);
    else
        emit failed(path, error);
}

void ReportMaker::finish(QDeadlineTimer deadline)
{
    if (!m_thread)
        return;
    startReady(true);
    m_readiness.stop();
    {
        const QMutexLocker lock(&m_shared->mutex);
        m_shared->maker = nullptr;
    }
    // The worker's queue ends with the quit: every drawing given is tried in turn.
    QMetaObject::invokeMethod(m_worker, [] { QThread::currentThread()->quit(); }, Qt::QueuedConnection);
    if (!m_thread->wait(deadline)) {
        // Told to stop, a drawing leaves without its file at its next device
        // or block of rows; one held beyond that (a hung disk) is let go of.
        m_shared->cancel.store(true);
        if (!endThread(m_thread, QDeadlineTimer(StopWaitMs)))
            qCWarning(lcReports) << "a report held on its thread is left out";
    } else {
        endThread(m_thread, QDeadlineTimer(0));
    }
    m_thread = nullptr;
}
