#include "rowwriter.h"

#include "threadending.h"
#include "rowwriterworker.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <limits>

RowWriter::RowWriter(QObject *parent)
    : QObject(parent)
    , giveUpAt(std::make_shared<std::atomic<qint64>>(std::numeric_limits<qint64>::max()))
{
    thread = new QThread;
    thread->setObjectName(QStringLiteral("row writer"));
    worker = new RowWriterWorker(giveUpAt);
    worker->moveToThread(thread);
    connect(thread, &QThread::finished, worker, &QObject::deleteLater);
    connect(worker, &RowWriterWorker::created, this, [this](const QString &path, const QString &createdAs) {
        // One let go of by finish() may still report afterwards.
        creating = std::max(0, creating - 1);
        emit created(path, createdAs);
    });
    connect(worker, &RowWriterWorker::written, this, [this](const QString &path, int rows) {
        settle(path, rows);
        emit written(path, rows);
    });
    connect(worker, &RowWriterWorker::lost, this, [this](const QString &path, int rows, bool mayBeTorn) {
        settle(path, rows);
        if (refusedWhileFinishing)
            (*refusedWhileFinishing)[path] += rows;
        emit lost(path, rows, mayBeTorn);
    });
    connect(worker, &RowWriterWorker::cutBack, this, &RowWriter::cutBack);
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

void RowWriter::create(const QString &path, const QByteArray &header, bool numbered)
{
    if (!thread) {
        emit created(path, QString());
        return;
    }
    ++creating;
    RowWriterWorker *const target = worker;
    QMetaObject::invokeMethod(
        target, [target, path, header, numbered] { target->create(path, header, numbered); },
        Qt::QueuedConnection);
}

void RowWriter::createInFolder(const QVector<FolderCopy> &copies, const QList<QByteArray> &headers)
{
    if (copies.isEmpty())
        return;
    if (!thread) {
        emit created(copies.first().folder, QString());
        for (const QString &path : copies.first().files)
            emit created(path, QString());
        return;
    }
    // The folder and each of its files are told.
    creating += 1 + copies.first().files.size();
    RowWriterWorker *const target = worker;
    QMetaObject::invokeMethod(
        target, [target, copies, headers] { target->createInFolder(copies, headers); }, Qt::QueuedConnection);
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

QStringList RowWriter::waitingFiles() const
{
    return waiting.keys();
}

bool RowWriter::isIdle() const
{
    return waiting.isEmpty() && creating == 0;
}

QHash<QString, RowWriter::Unwritten> RowWriter::finish(QDeadlineTimer deadline)
{
    if (!thread)
        return {};
    giveUpAt->store(deadline.deadlineNSecs());
    // Behind every row already given, so the worker sees them all first.
    QMetaObject::invokeMethod(worker, &RowWriterWorker::finish, Qt::QueuedConnection);
    // Held in a call to the disk past the deadline, the thread ends on its
    // own once the call returns, writing nothing more.
    endThread(thread, deadline);
    thread = nullptr;
    worker = nullptr;
    // The outcomes the worker sent are taken in (only those, no other event
    // runs): every row not reported by then is lost.
    QHash<QString, int> refused;
    refusedWhileFinishing = &refused;
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    refusedWhileFinishing = nullptr;

    QHash<QString, Unwritten> unwritten;
    for (auto file = refused.cbegin(); file != refused.cend(); ++file)
        unwritten[file.key()].refused = file.value();
    for (auto file = waiting.cbegin(); file != waiting.cend(); ++file)
        unwritten[file.key()].queued = file.value();
    waiting.clear();
    creating = 0;
    return unwritten;
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
