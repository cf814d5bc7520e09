#include "recording/rowwriter.h"

#include "recording/rowwriterworker.h"

#include <QCoreApplication>
#include <QThread>

#include <limits>

RowWriter::RowWriter(QObject *parent)
    : QObject(parent)
    , giveUpAt(std::make_shared<std::atomic<qint64>>(std::numeric_limits<qint64>::max()))
    , leftovers(std::make_shared<QHash<QString, int>>())
{
    thread = new QThread;
    thread->setObjectName(QStringLiteral("row writer"));
    worker = new RowWriterWorker(giveUpAt, leftovers);
    worker->moveToThread(thread);
    connect(thread, &QThread::finished, worker, &QObject::deleteLater);
    // Only a thread left held by the disk at finish() gets this far on its own.
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(worker, &RowWriterWorker::created, this, &RowWriter::created);
    connect(worker, &RowWriterWorker::written, this, [this](const QString &path, int rows) {
        settle(path, rows);
        emit written(path, rows);
    });
    connect(worker, &RowWriterWorker::lost, this, [this](const QString &path, int rows, bool mayBeTorn) {
        settle(path, rows);
        emit lost(path, rows, mayBeTorn);
    });
    thread->start();
}

RowWriter::~RowWriter()
{
    if (thread)
        finish(QDeadlineTimer(2000));
}

void RowWriter::useFileAccess(const std::shared_ptr<FileAccess> &access)
{
    if (!thread)
        return;
    RowWriterWorker *const target = worker;
    QMetaObject::invokeMethod(
        target, [target, access] { target->useFileAccess(access); }, Qt::QueuedConnection);
}

void RowWriter::create(const QString &path, const QByteArray &header)
{
    if (!thread) {
        emit created(path, false);
        return;
    }
    RowWriterWorker *const target = worker;
    QMetaObject::invokeMethod(
        target, [target, path, header] { target->create(path, header); }, Qt::QueuedConnection);
}

bool RowWriter::append(const QString &path, const QByteArray &row)
{
    int &count = waiting[path];
    if (!thread || count >= QueueLimit) {
        if (count == 0)
            waiting.remove(path);
        return false;
    }
    ++count;
    RowWriterWorker *const target = worker;
    QMetaObject::invokeMethod(
        target, [target, path, row] { target->append(path, row); }, Qt::QueuedConnection);
    return true;
}

int RowWriter::waitingRows() const
{
    int rows = 0;
    for (const int count : waiting)
        rows += count;
    return rows;
}

int RowWriter::waitingRows(const QString &path) const
{
    return waiting.value(path);
}

QHash<QString, int> RowWriter::finish(QDeadlineTimer deadline)
{
    if (!thread)
        return {};
    giveUpAt->store(deadline.deadlineNSecs());
    // Behind every row already given, so the worker sees them all first.
    QMetaObject::invokeMethod(worker, &RowWriterWorker::finish, Qt::QueuedConnection);
    QHash<QString, int> notWritten;
    if (thread->wait(deadline)) {
        // Outcomes still on their way here are never delivered: the worker's
        // own account of what it did not write is the true one.
        notWritten = *leftovers;
        delete thread;
    } else {
        // Held in a call to the disk: the thread ends on its own once the call
        // returns, writing nothing more. Outcomes it sent before are taken in
        // (only those, no other event runs); every row not reported is lost.
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
        notWritten = waiting;
    }
    thread = nullptr;
    worker = nullptr;
    waiting.clear();
    return notWritten;
}

void RowWriter::settle(const QString &path, int rows)
{
    const auto found = waiting.find(path);
    if (found == waiting.end())
        return;
    *found -= rows;
    if (*found <= 0)
        waiting.erase(found);
}
