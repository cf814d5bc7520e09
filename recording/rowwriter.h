#pragma once

#include "foldercopy.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

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

    // Rows of one file that did not reach it when the writer finished.
    struct Unwritten
    {
        // Refused by the disk while the writer was finishing.
        int refused = 0;
        // Still waiting when the writer gave up.
        int queued = 0;
    };

    explicit RowWriter(QObject *parent = nullptr);
    // Waits for the waiting rows as finish() does, if it has not been called.
    ~RowWriter() override;

    // Replaces the file operations, for rows given after this call.
    void useFileAccess(const std::shared_ptr<FileAccess> &access);

    // Creates `path` with `header` as its first bytes; a file that exists is
    // never touched. With `numbered`, a taken name gives way to its next copy
    // number, and rows given for `path` go to that copy. created() tells how
    // it went. Rows may be given for `path` at once: they wait for the file.
    void create(const QString &path, const QByteArray &header, bool numbered = false);
    // Makes the folder of the first of `copies` whose name is free (never one
    // taken by anything) and creates in it that copy's files, each with its
    // header from `headers`. created() tells it for the first copy's folder
    // and for each of its files, with the folder or file made. Rows may be
    // given for the first copy's files at once: they go to the files made.
    void createInFolder(const QVector<FolderCopy> &copies, const QList<QByteArray> &headers);
    // Queues one row (line end included) for `path`. False when QueueLimit
    // rows are already waiting for it: the row is dropped.
    bool append(const QString &path, const QByteArray &row);

    // Rows given and not yet reported written or lost.
    int waitingRows() const;
    int waitingRows(const QString &path) const;
    // The files with rows waiting.
    QStringList waitingFiles() const;
    // No row waits and no file is being created.
    bool isIdle() const;

    // Waits until `deadline` at most for the waiting rows to be written and
    // ends the writer's thread. Returns, per file, the rows not known to be
    // written: refused meanwhile, or still waiting; the latter are no longer
    // written. Nothing is written after.
    QHash<QString, Unwritten> finish(QDeadlineTimer deadline);

signals:
    // `createdAs`: the file made for `path`, empty when none could be made.
    void created(const QString &path, const QString &createdAs);
    void written(const QString &path, int rows);
    // `mayBeTorn`: a row reached the file in part and could not be cut back off.
    void lost(const QString &path, int rows, bool mayBeTorn);
    // A file whose close had failed was cut back to its last row known to be
    // there, or (not `done`) could not be and may hold rows counted lost.
    void cutBack(const QString &path, bool done);

private:
    void settle(const QString &path, int rows);

    QThread *thread = nullptr;
    RowWriterWorker *worker = nullptr;
    const std::shared_ptr<std::atomic<qint64>> giveUpAt;
    QHash<QString, int> waiting;
    int creating = 0;
    // While finishing: the rows refused meanwhile, per file.
    QHash<QString, int> *refusedWhileFinishing = nullptr;
};
