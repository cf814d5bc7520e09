#pragma once

#include "fileaccess.h"

#include <QByteArray>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cerrno>

// A disk as a test wants it, shared by the test's thread, which turns the
// knobs, and the writer's thread, which writes through it.
class FaultyFileAccess : public FileAccess
{
public:
    // Bytes the disk still takes before it is full; negative: no limit.
    std::atomic<qint64> room{-1};
    // Most bytes one write takes; a write of more returns short.
    std::atomic<qint64> chunk{0};
    std::atomic<bool> cutBackFails{false};
    // Added to every open of a record file, as a slow share does.
    std::atomic<int> openDelayMs{0};
    // Added to every creation of a file.
    std::atomic<int> createDelayMs{0};
    // Added to every making of a folder.
    std::atomic<int> folderDelayMs{0};
    // Folders cannot be made, as in a folder the operator may not write to.
    std::atomic<bool> foldersRefused{false};
    // Closes still to fail of files written to since their open, as a full
    // network share reports the rows it could not keep.
    std::atomic<int> failingCloses{0};

    // Opens of files whose path begins so fail, after the delay.
    void failOpensUnder(const QByteArray &prefix)
    {
        const QMutexLocker lock(&mutex);
        refusedPrefix = prefix;
    }

    int openForAppend(const QByteArray &path) override
    {
        QThread::msleep(ulong(openDelayMs.load()));
        {
            const QMutexLocker lock(&mutex);
            if (!refusedPrefix.isEmpty() && path.startsWith(refusedPrefix)) {
                errno = EACCES;
                return -1;
            }
        }
        return FileAccess::openForAppend(path);
    }

    int createNew(const QByteArray &path) override
    {
        QThread::msleep(ulong(createDelayMs.load()));
        return FileAccess::createNew(path);
    }

    int makeFolder(const QByteArray &path) override
    {
        QThread::msleep(ulong(folderDelayMs.load()));
        if (foldersRefused.load()) {
            errno = EACCES;
            return -1;
        }
        return FileAccess::makeFolder(path);
    }

    int close(int fd) override
    {
        const bool wasWritten = writtenTo.remove(fd);
        const int closed = FileAccess::close(fd);
        if (closed == 0 && wasWritten && failingCloses.load() > 0) {
            --failingCloses;
            errno = EIO;
            return -1;
        }
        return closed;
    }

    qint64 write(int fd, const char *data, qint64 size) override
    {
        if (chunk.load() > 0)
            size = std::min(size, chunk.load());
        const qint64 left = room.load();
        if (left == 0) {
            errno = ENOSPC;
            return -1;
        }
        if (left > 0)
            size = std::min(size, left);
        const qint64 written = FileAccess::write(fd, data, size);
        if (left > 0 && written > 0)
            room -= written;
        if (written > 0)
            writtenTo.insert(fd);
        return written;
    }

    int truncate(int fd, qint64 length) override
    {
        if (cutBackFails.load()) {
            errno = EIO;
            return -1;
        }
        return FileAccess::truncate(fd, length);
    }

private:
    QMutex mutex;
    QByteArray refusedPrefix;
    // Only the writer's thread touches it.
    QSet<int> writtenTo;
};
