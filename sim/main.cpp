#include "bus.h"
#include "serialline.h"
#include "shutdownsignals.h"
#include "simoptions.h"
#include "tcpline.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>

#include <csignal>
#include <cstdio>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

void printLine(FILE *stream, const QByteArray &line)
{
    std::fputs(line.constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

int fail(const QString &message, int exitCode)
{
    printLine(stderr, "velmora-sim: " + message.toLocal8Bit());
    return exitCode;
}

// Sleeps for `milliseconds`, or until another pull signal plugs the line
// back at once; false when a stop signal comes first.
bool waitUnlessStopped(const sim::ShutdownSignals &shutdown, int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    for (;;) {
        const qint64 left = deadline.remainingTime();
        if (left == 0)
            return true;
        pollfd fd{shutdown.fd(), POLLIN, 0};
        if (::poll(&fd, 1, int(left)) > 0)
            return shutdown.takePull();
    }
}

bool writeStatsFile(const QString &path, const QByteArray &json)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(json + '\n') == json.size() + 1;
}

} // namespace

int main(int argc, char *argv[])
{
    // QCommandLineParser takes the program name for its usage text from here.
    const QCoreApplication app(argc, argv);

    const sim::CommandLine commandLine = sim::parseCommandLine(QCoreApplication::arguments());
    if (commandLine.action == sim::CommandLine::Action::Help) {
        printLine(stdout, commandLine.message.toLocal8Bit());
        return 0;
    }
    if (commandLine.action == sim::CommandLine::Action::Fail)
        return fail(commandLine.message + QStringLiteral(" (see --help)"), 2);
    const sim::SimOptions &options = commandLine.options;

    const auto shutdown = sim::ShutdownSignals::install();
    if (!shutdown)
        return fail(QStringLiteral("cannot set up signal handling"), 1);
    // Asked for by test harnesses, so a crashed test leaves no simulator behind.
    if (options.dieWithParent) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() == 1)
            shutdown->trigger();
    }

    QString error;
    sim::Bus bus(options);
    sim::Bus::End end = sim::Bus::End::Pulled;
    // --tcp 0 picks a free port once; a re-plug listens on that same port.
    int tcpPort = options.tcpPort.value_or(0);
    for (bool first = true; end == sim::Bus::End::Pulled; first = false) {
        // A pulled line comes back after a while, unless a stop comes first.
        if (!first && !waitUnlessStopped(*shutdown, options.replugAfterMs)) {
            end = sim::Bus::End::Stopped;
            break;
        }
        if (options.tcpPort) {
            // The listener and its client live for one plug-in, as a
            // gateway's network cable does.
            auto line = sim::TcpLine::listen(options.tcpHost, tcpPort,
                                             options.rtuOverTcp ? sim::TcpLine::Framing::Rtu
                                                                : sim::TcpLine::Framing::Mbap,
                                             &error);
            if (!line)
                return fail(error, 1);
            tcpPort = line->port();
            printLine(stdout, QByteArray::number(tcpPort));
            end = line->serve(bus, options.gatewayMs, *shutdown, &error);
            continue;
        }
        // The line and its link live for one plug-in: dropping the master
        // hangs up whoever has the device open, as pulling an adapter does.
        const auto line = options.devicePath.isEmpty()
            ? sim::SerialLine::openPseudoTerminal(&error)
            : sim::SerialLine::openDevice(options.devicePath, options.baud, &error);
        if (!line)
            return fail(error, 1);
        const auto link = options.linkPath.isEmpty()
            ? std::optional<sim::SymbolicLink>()
            : sim::SymbolicLink::create(options.linkPath, line->path(), &error);
        if (!options.linkPath.isEmpty() && !link)
            return fail(error, 1);
        printLine(stdout, line->path().toLocal8Bit());
        end = bus.serve(line->fd(), *shutdown, &error);
    }
    const bool served = end != sim::Bus::End::Failed;

    const QByteArray json = bus.stats().toJson();
    const bool saved = options.statsFile.isEmpty() || writeStatsFile(options.statsFile, json);
    printLine(stdout, json);
    if (!served)
        return fail(error, 1);
    if (!saved)
        return fail(QStringLiteral("cannot write %1").arg(options.statsFile), 1);
    return 0;
}
