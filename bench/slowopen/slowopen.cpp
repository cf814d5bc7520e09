// Makes every open of a file under one folder slower, as a slow network share
// or USB stick does: LD_PRELOAD this library and set VELMORA_SLOW_DIR (an
// absolute folder) and VELMORA_SLOW_OPEN_MS. Qt opens files through the
// 64-bit calls, so all four entries are wrapped.

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

template <typename Function>
Function next(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

std::string directoryOf(int dirfd)
{
    if (dirfd == AT_FDCWD) {
        char cwd[4096];
        return getcwd(cwd, sizeof cwd) ? std::string(cwd) : std::string();
    }
    char target[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(dirfd);
    const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    return length > 0 ? std::string(target, size_t(length)) : std::string();
}

void delayIfSlow(int dirfd, const char *path)
{
    const char *slow = std::getenv("VELMORA_SLOW_DIR");
    const char *delay = std::getenv("VELMORA_SLOW_OPEN_MS");
    if (!slow || !delay || !*slow || !path)
        return;
    const std::string full = path[0] == '/' ? std::string(path) : directoryOf(dirfd) + '/' + path;
    const size_t prefix = std::strlen(slow);
    if (full.compare(0, prefix, slow) != 0 || (full.size() > prefix && full[prefix] != '/'))
        return;
    const long ms = std::atol(delay);
    timespec pause{ms / 1000, (ms % 1000) * 1000000};
    while (nanosleep(&pause, &pause) == -1) {
    }
}

mode_t modeOf(int flags, va_list arguments)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(arguments, int)) : 0;
}

} // namespace

extern "C" {

int open(const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeOf(flags, arguments);
    va_end(arguments);
    delayIfSlow(AT_FDCWD, path);
    static const auto real = next<int (*)(const char *, int, ...)>("open");
    return real(path, flags, mode);
}

int open64(const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeOf(flags, arguments);
    va_end(arguments);
    delayIfSlow(AT_FDCWD, path);
    static const auto real = next<int (*)(const char *, int, ...)>("open64");
    return real(path, flags, mode);
}

int openat(int dirfd, const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeOf(flags, arguments);
    va_end(arguments);
    delayIfSlow(dirfd, path);
    static const auto real = next<int (*)(int, const char *, int, ...)>("openat");
    return real(dirfd, path, flags, mode);
}

int openat64(int dirfd, const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeOf(flags, arguments);
    va_end(arguments);
    delayIfSlow(dirfd, path);
    static const auto real = next<int (*)(int, const char *, int, ...)>("openat64");
    return real(dirfd, path, flags, mode);
}

} // extern "C"
