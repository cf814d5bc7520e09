#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHash>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class FileAccess;
class QThread;
class RowWriterWorker;

// Appends rows of text to files on a thread of its own, so that a slow or
// failing disk never holds up the caller. Any file can be written through it:
// record files, logs, summaries. Each row reaches its file whole or not at
// all, and the rows of one file are written in the order they were given.
// Outcomes come back as signals on the caller's thread.
class RowWriter : public QObject
{
    Q_OBJECT

public:
    // Rows waiting for one file at most: an hour of a one-second period.
    static constexpr int QueueLimit = 3600;

    explicit RowWriter(QObject *parent = nullptr);
    // Waits for the waiting rows as finish() does, if it has not been called.
    ~RowWriter() override;

    // Replaces the file operations, for rows given after this call.
    void useFileAccess(const std::shared_ptr<FileAccess> &access);

    // Creates `path` with `header` as its first bytes; a file that exists is
    // never touched. created() tells how it went.
    void create(const QString &path, const QByteArray &header);
    // Queues one row (line end included) for `path`, which must exist. False
    // when QueueLimit rows are already waiting for it: the row is dropped.
    bool append(const QString &path, const QByteArray &row);

    // Rows given and not yet reported written or lost.
    int waitingRows() const;
    int waitingRows(const QString &path) const;

    // Waits until `deadline` at most for the waiting rows to be written and
    // ends the writer's thread. Returns, per file, the rows not known to be
    // written by then; they are no longer written. Nothing is written after.
    QHash<QString, int> finish(QDeadlineTimer deadline);

signals:
    void created(const QString &path, bool ok);
    void written(const QString &path, int rows);
    // `mayBeTorn`: a row reached the file in part and could not be cut back off.
    void lost(const QString &path, int rows, bool mayBeTorn);

private:
    void settle(const QString &path, int rows);

    QThread *thread = nullptr;
    RowWriterWorker *worker = nullptr;
    const std::shared_ptr<std::atomic<qint64>> giveUpAt;
    const std::shared_ptr<QHash<QString, int>> leftovers;
    QHash<QString, int> waiting;
};
