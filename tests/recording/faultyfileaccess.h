#pragma once

#include "recording/fileaccess.h"

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

    int openForAppend(const QByteArray &path) override
    {
        QThread::msleep(ulong(openDelayMs.load()));
        return FileAccess::openForAppend(path);
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
};
