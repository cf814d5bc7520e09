#include "fileaccess.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A signal landing in the middle of a call is no failure of the disk.
template <typename Call>
auto retried(Call call)
{
    auto result = call();
    while (result == -1 && errno == EINTR)
        result = call();
    return result;
}

} // namespace

int FileAccess::openForAppend(const QByteArray &path)
{
    return retried([&] { return ::open(path.constData(), O_WRONLY | O_APPEND | O_CLOEXEC); });
}

int FileAccess::createNew(const QByteArray &path)
{
    return retried([&] { return ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); });
}

qint64 FileAccess::write(int fd, const char *data, qint64 size)
{
    return retried([&] { return qint64(::write(fd, data, size_t(size))); });
}

qint64 FileAccess::size(int fd)
{
    struct stat status {};
    if (::fstat(fd, &status) == -1)
        return -1;
    return qint64(status.st_size);
}

int FileAccess::truncate(int fd, qint64 length)
{
    return retried([&] { return ::ftruncate(fd, off_t(length)); });
}

int FileAccess::close(int fd)
{
    // After EINTR the descriptor is gone on Linux: closing again could close
    // a descriptor another thread just opened.
    return ::close(fd);
}

int FileAccess::remove(const QByteArray &path)
{
    return ::unlink(path.constData());
}

int FileAccess::makeFolder(const QByteArray &path)
{
    return retried([&] { return ::mkdir(path.constData(), 0777); });
}
