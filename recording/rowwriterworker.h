#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <deque>
#include <memory>

class FileAccess;

// The row writer's half on its own thread: owns every file operation and the
// rows waiting for them. Each file's rows are written in the order they came,
// all rows waiting for a file behind one open, and each row whole or not at
// all: a row the disk took only part of is cut back off the file.
class RowWriterWorker : public QObject
{
    Q_OBJECT

public:
    // Past `giveUpAt` (a deadline in the steady clock's nanoseconds) nothing
    // more is written; `leftovers` then receives the rows not written, per file.
    RowWriterWorker(std::shared_ptr<const std::atomic<qint64>> giveUpAt,
                    std::shared_ptr<QHash<QString, int>> leftovers);

    void useFileAccess(const std::shared_ptr<FileAccess> &fileAccess);
    void create(const QString &path, const QByteArray &header);
    void append(const QString &path, const QByteArray &row);
    // Writes what is still waiting, until the give-up time, and ends the thread.
    void finish();

signals:
    void created(const QString &path, bool ok);
    void written(const QString &path, int rows);
    void lost(const QString &path, int rows, bool mayBeTorn);

private:
    struct Entry
    {
        QByteArray bytes;
        bool create = false;
    };
    struct File
    {
        std::deque<Entry> waiting;
        // The length to cut the file back to when the last cut failed, else -1.
        qint64 tornAt = -1;
    };

    void enqueue(const QString &path, Entry entry);
    void flush();
    void writeWaiting(const QString &path, File &file);
    void createFile(const QString &path, const QByteArray &header);
    void appendRows(const QString &path, File &file, int fd);
    bool repairTail(File &file, int fd, qint64 &length);
    qint64 writeWhole(int fd, const QByteArray &bytes);
    bool givenUp() const;

    std::shared_ptr<const std::atomic<qint64>> giveUpAt;
    std::shared_ptr<QHash<QString, int>> leftovers;
    std::shared_ptr<FileAccess> access;
    QHash<QString, File> files;
    // Files in the order their first waiting row came.
    QStringList order;
    bool flushPosted = false;
};
