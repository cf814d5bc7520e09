#pragma once

#include <QByteArray>
#include <QDeadlineTimer>

// Non-blocking reads and writes on the descriptor of an open line (a serial
// device or a connected socket), each bounded by a deadline.

enum class ReadOutcome {
    Bytes,
    TimedOut,
    // End of stream, a hang-up or an error: `error` says which.
    Failed,
};

// Waits up to `waitMs` for bytes and appends all that are there to `buffer`.
ReadOutcome readAvailable(int fd, int waitMs, QByteArray &buffer, int *error);

// Writes all of `bytes` before `deadline`; false with `error` set otherwise
// (ETIMEDOUT when the line would not take them in time). Sockets are sent to
// without raising SIGPIPE.
bool writeAll(int fd, const QByteArray &bytes, QDeadlineTimer deadline, bool isSocket, int *error);

// Makes reads and writes on `fd` return at once.
void makeNonBlocking(int fd);
