#include "shutdownsignals.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace sim {

namespace {

volatile sig_atomic_t signalWriteEnd = -1;

void onSignal(int signalNumber)
{
    const int savedErrno = errno;
    const char byte = static_cast<char>(signalNumber);
    [[maybe_unused]] const ssize_t ignored = ::write(signalWriteEnd, &byte, 1);
    errno = savedErrno;
}

} // namespace

ShutdownSignals::ShutdownSignals(FileDescriptor readEnd, int writeEnd)
    : m_readEnd(std::move(readEnd))
    , m_writeEnd(writeEnd)
{
}

std::optional<ShutdownSignals> ShutdownSignals::install()
{
    int ends[2];
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0)
        return std::nullopt;
    signalWriteEnd = ends[1];

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGUSR1})
        sigaction(signalNumber, &action, nullptr);
    // A reader that went away must not kill us before the statistics are saved.
    std::signal(SIGPIPE, SIG_IGN);
    return ShutdownSignals(FileDescriptor(ends[0]), ends[1]);
}

bool ShutdownSignals::takePull() const
{
    char byte = 0;
    // A pull that follows a stop in the pipe is left there: the stop wins.
    if (::read(m_readEnd.get(), &byte, 1) == 1 && byte == SIGUSR1)
        return true;
    if (byte != 0)
        trigger();
    return false;
}

void ShutdownSignals::trigger() const
{
    const char byte = SIGTERM;
    [[maybe_unused]] const ssize_t ignored = ::write(m_writeEnd, &byte, 1);
}

} // namespace sim
