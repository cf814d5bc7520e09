#include "modbusline.h"

#include "lineworker.h"
#include "threadending.h"

#include <QDateTime>

namespace {

// A request in flight comes back within its 1 s time-out.
constexpr int EndWaitMs = 1000;

} // namespace

ModbusLine::ModbusLine(QObject *parent)
    : QObject(parent)
    , m_thread(new QThread)
{
    qRegisterMetaType<PollResult>();
    qRegisterMetaType<LineState>();
    qRegisterMetaType<TestReadResult>();
    m_thread->setObjectName(QStringLiteral("modbus line"));
    m_thread->start();
}

ModbusLine::~ModbusLine()
{
    retireWorker();
    // Lets a request in flight come back and the retired workers go. A
    // worker still held after that owns all it uses and goes with its thread.
    m_thread->quit();
    endThread(m_thread, QDeadlineTimer(EndWaitMs));
}

void ModbusLine::open(const LineSettings &settings)
{
    retireWorker();
    if (settings.transport != LineSettings::Transport::Serial) {
        const QString host = QString::fromUtf8(settings.host);
        const QLatin1String scheme(settings.transport == LineSettings::Transport::Tcp ? "tcp://" : "rtu+tcp://");
        m_address = scheme + (host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host)
            + QLatin1Char(':') + QString::fromUtf8(settings.port);
    } else {
        m_address = QString::fromLocal8Bit(settings.device);
    }
    m_transport = settings.transport;
    m_worker = new LineWorker(settings);
    m_worker->moveToThread(m_thread);
    // Only the current worker is heard: news of a retired one that was
    // already on its way is dropped here.
    const quint64 generation = ++m_lastWorker;
    connect(m_worker, &LineWorker::opened, this, [this, generation](bool ok) {
        if (generation != m_lastWorker)
            return;
        if (!ok)
            retireWorker();
        setState(ok ? LineState::Open : LineState::Closed);
        emit openFinished(ok);
    });
    connect(m_worker, &LineWorker::openFailed, this, [this, generation](const QString &reason) {
        if (generation == m_lastWorker)
            emit openFailed(reason);
    });
    connect(m_worker, &LineWorker::polled, this, [this, generation](const PollResult &result) {
        if (generation == m_lastWorker)
            emit polled(result);
    });
    connect(m_worker, &LineWorker::probed, this, [this, generation](quint64 request, bool found) {
        if (generation == m_lastWorker)
            emit probed(request, found);
    });
    connect(m_worker, &LineWorker::testReadFinished, this, [this, generation](const TestReadResult &result) {
        if (generation == m_lastWorker)
            emit testReadFinished(result);
    });
    connect(m_worker, &LineWorker::lineLost, this, [this, generation] {
        if (generation != m_lastWorker)
            return;
        setState(LineState::Lost);
        emit lineLost();
    });
    connect(m_worker, &LineWorker::lineRestored, this, [this, generation] {
        if (generation != m_lastWorker)
            return;
        setState(LineState::Open);
        emit lineRestored();
    });
    setState(LineState::Opening);
    // Queued behind whatever the previous worker still has to finish.
    QMetaObject::invokeMethod(m_worker, &LineWorker::open, Qt::QueuedConnection);
}

void ModbusLine::close()
{
    retireWorker();
    setState(LineState::Closed);
}

quint64 ModbusLine::poll(int address, const QVector<RegisterRequest> &requests, QDeadlineTimer notBefore)
{
    const quint64 request = ++m_lastRequest;
    if (m_worker) {
        LineWorker *const target = m_worker;
        QMetaObject::invokeMethod(
            target,
            [target, request, address, requests, notBefore] { target->poll(request, address, requests, notBefore); },
            Qt::QueuedConnection);
    } else {
        PollResult failed;
        failed.request = request;
        failed.finishedAt = QDateTime::currentMSecsSinceEpoch();
        QMetaObject::invokeMethod(
            this, [this, failed] { emit polled(failed); }, Qt::QueuedConnection);
    }
    return request;
}

quint64 ModbusLine::probe(int address, const RegisterRequest &probeRequest)
{
    const quint64 request = ++m_lastRequest;
    if (m_worker) {
        LineWorker *const target = m_worker;
        QMetaObject::invokeMethod(
            target, [target, request, address, probeRequest] { target->probe(request, address, probeRequest); },
            Qt::QueuedConnection);
    } else {
        QMetaObject::invokeMethod(
            this, [this, request] { emit probed(request, false); }, Qt::QueuedConnection);
    }
    return request;
}

quint64 ModbusLine::testRead(int address, const RegisterMap &map)
{
    const quint64 request = ++m_lastRequest;
    // A line still opening has no device to read yet.
    if (m_worker && isOpen()) {
        LineWorker *const target = m_worker;
        const QVector<RegisterRequest> requests = requestsOf(map);
        QMetaObject::invokeMethod(
            target, [target, request, address, requests] { target->testRead(request, address, requests); },
            Qt::QueuedConnection);
    } else {
        TestReadResult notSent;
        notSent.request = request;
        QMetaObject::invokeMethod(
            this, [this, notSent] { emit testReadFinished(notSent); }, Qt::QueuedConnection);
    }
    return request;
}

void ModbusLine::retireWorker()
{
    if (!m_worker)
        return;
    disconnect(m_worker, nullptr, this, nullptr);
    ++m_lastWorker;
    // Deleted on its own thread once the request in flight has returned; its
    // destructor releases the context.
    m_worker->deleteLater();
    m_worker = nullptr;
}

void ModbusLine::setState(LineState state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}
