#include "descriptorio.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int ChunkBytes = 512;

// poll() until `fd` is ready for `events`, up to `waitMs`; the events seen, 0
// on a time-out, -1 on an error.
int waitFor(int fd, short events, int waitMs)
{
    QDeadlineTimer deadline(waitMs);
    for (;;) {
        pollfd descriptor{fd, events, 0};
        const int ready = ::poll(&descriptor, 1, int(deadline.remainingTime()));
        if (ready > 0)
            return descriptor.revents;
        if (ready == 0)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}

} // namespace

ReadOutcome readAvailable(int fd, int waitMs, QByteArray &buffer, int *error)
{
    const int events = waitFor(fd, POLLIN, waitMs);
    if (events < 0) {
        *error = errno;
        return ReadOutcome::Failed;
    }
    if (events == 0)
        return ReadOutcome::TimedOut;
    const int before = buffer.size();
    for (;;) {
        char chunk[ChunkBytes];
        const ssize_t count = ::read(fd, chunk, sizeof chunk);
        if (count > 0) {
            buffer.append(chunk, int(count));
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        // End of stream: the far end closed the connection, or the line hung
        // up. What came before it still counts.
        *error = count == 0 ? ECONNRESET : errno;
        return buffer.size() > before ? ReadOutcome::Bytes : ReadOutcome::Failed;
    }
    if (buffer.size() > before)
        return ReadOutcome::Bytes;
    // Woken for a hang-up or an error with nothing to read.
    if (events & (POLLHUP | POLLERR | POLLNVAL)) {
        *error = (events & POLLNVAL) ? EBADF : EIO;
        return ReadOutcome::Failed;
    }
    return ReadOutcome::TimedOut;
}

bool writeAll(int fd, const QByteArray &bytes, QDeadlineTimer deadline, bool isSocket, int *error)
{
    int written = 0;
    while (written < bytes.size()) {
        const char *const from = bytes.constData() + written;
        const size_t length = size_t(bytes.size() - written);
        const ssize_t count = isSocket ? ::send(fd, from, length, MSG_NOSIGNAL) : ::write(fd, from, length);
        if (count > 0) {
            written += int(count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            *error = errno;
            return false;
        }
        const int events = deadline.hasExpired() ? 0 : waitFor(fd, POLLOUT, int(deadline.remainingTime()));
        if (events <= 0) {
            *error = events < 0 ? errno : ETIMEDOUT;
            return false;
        }
    }
    return true;
}

void makeNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}
