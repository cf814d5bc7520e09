#pragma once

#include "foldercopy.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <deque>
#include <memory>

class FileAccess;

// The row writer's half on its own thread: owns every file operation and the
// rows waiting for them. Each file's rows are written in the order they came,
// all rows waiting for a file behind one open, and each row whole or not at
// all: a row the disk took only part of is cut back off the file. A batch
// counts as written only once the file closed without error; after a failed
// close the file is cut back, at its next open, to its last row known to be there.
class RowWriterWorker : public QObject
{
    Q_OBJECT

public:
    // Past `giveUpAt` (a deadline in the steady clock's nanoseconds) nothing
    // more is written.
    explicit RowWriterWorker(std::shared_ptr<const std::atomic<qint64>> giveUpAt);

    void useFileAccess(const std::shared_ptr<FileAccess> &fileAccess);
    // With `numbered`, a name that is taken gives way to its next copy number.
    void create(const QString &path, const QByteArray &header, bool numbered);
    // Queues the making of the first free folder of `copies` and of its files.
    void createInFolder(const QVector<FolderCopy> &copies, const QList<QByteArray> &headers);
    void append(const QString &path, const QByteArray &row);
    // Writes what is still waiting, until the give-up time, and ends the thread.
    void finish();

signals:
    // `createdAs`: the path of the file made, empty when none could be made.
    void created(const QString &path, const QString &createdAs);
    void written(const QString &path, int rows);
    void lost(const QString &path, int rows, bool mayBeTorn);
    // A file whose close had failed was cut back to its last row known to be
    // there, or (not `done`) could not be and may hold rows counted lost.
    void cutBack(const QString &path, bool done);

private:
    // A folder made for files of its own, once, when the first of its entries is reached.
    struct FolderMaking
    {
        QVector<FolderCopy> copies;
        bool decided = false;
        // The copy made, -1 when none could be.
        int made = -1;
    };
    struct Entry
    {
        QByteArray bytes;
        bool create = false;
        bool numbered = false;
        // In a folder the writer makes: the folder itself (fileIndex -1), or
        // the file of its copy's files at fileIndex.
        std::shared_ptr<FolderMaking> folder;
        int fileIndex = -1;
    };
    enum class Made
    {
        Yes,
        Taken,
        Failed,
    };
    struct File
    {
        std::deque<Entry> waiting;
        // The length to cut the file back to at its next open, else -1.
        qint64 cutTo = -1;
        // cutTo is the length before a batch whose close failed.
        bool unconfirmed = false;
    };

    void enqueue(const QString &path, Entry entry);
    void flush();
    void writeWaiting(const QString &path, File &file);
    void createFile(const QString &path, const Entry &entry);
    void createInMadeFolder(const QString &path, const Entry &entry);
    void makeFolder(FolderMaking &folder);
    Made makeWithHeader(const QString &target, const QByteArray &header);
    void appendRows(const QString &path, File &file, int fd);
    bool repairTail(const QString &path, File &file, int fd, qint64 &length);
    void cutBackNow(const QString &path, File &file);
    qint64 writeWhole(int fd, const QByteArray &bytes);
    QString onDisk(const QString &path) const;
    bool givenUp() const;

    std::shared_ptr<const std::atomic<qint64>> giveUpAt;
    std::shared_ptr<FileAccess> access;
    QHash<QString, File> files;
    // Files made under a copy number instead of the path given for them.
    QHash<QString, QString> createdAs;
    // Files in the order their first waiting row came.
    QStringList order;
    bool flushPosted = false;
};
