// Times closing the window while one of its threads is held: from the
// moment the window closes to the process's exit, for the line connecting to
// a peer that never answers, the line in a name lookup that never returns,
// and an MQTT session in such a lookup; the median and the longest of a
// number of runs each.
//
//   velmora-closebench [runs per case, default 5]

#include "childprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcessEnvironment>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

const char *const StuckHost = "stuck.invalid";

qint64 steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A loopback port whose queue of connections is full: a connect to it is never answered.
int fullBacklogPort(std::vector<int> &sockets)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockets.push_back(listener);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr *>(&address), length) != 0 || ::listen(listener, 0) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return 0;
    for (int i = 0; i < 4; ++i) {
        const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ::connect(client, reinterpret_cast<sockaddr *>(&address), length);
        sockets.push_back(client);
    }
    ::usleep(200000);
    return ntohs(address.sin_port);
}

// Milliseconds from the window's closing to the exit; -1 when the run failed.
qint64 closeToExit(const QString &what, const QString &address)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELMORA_SLOW_LOOKUP_HOST"), QString::fromLatin1(StuckHost));
    environment.insert(QStringLiteral("VELMORA_SLOW_LOOKUP_MS"), QStringLiteral("60000"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    ChildProcess child;
    child.setProcessEnvironment(environment);
    child.start(QStringLiteral(VELMORA_CLOSINGWINDOW_PATH), {what, address, QStringLiteral("500")});
    if (!child.waitForStarted() || !child.waitForReadyRead(30000))
        return -1;
    const QList<QByteArray> closing = child.readAllStandardOutput().trimmed().split(' ');
    if (closing.value(0) != "closing")
        return -1;
    const bool exited = child.waitForFinished(70000);
    const qint64 ms = steadyMs() - closing.value(1).toLongLong();
    return exited && child.exitCode() == 0 ? ms : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::vector<int> sockets;
    const int port = fullBacklogPort(sockets);
    const struct {
        const char *name;
        QString what;
        QString address;
    } cases[] = {
        {"line, connect never answered", QStringLiteral("line"), QStringLiteral("127.0.0.1:%1").arg(port)},
        {"line, name lookup hangs", QStringLiteral("line"), QStringLiteral("%1:502").arg(StuckHost)},
        {"MQTT, name lookup hangs", QStringLiteral("broker"), QStringLiteral("mqtt://%1:1883").arg(StuckHost)},
    };
    std::printf("close to exit, %d runs per case\n%-32s %10s %10s\n", runs, "case", "median ms", "max ms");
    int status = 0;
    for (const auto &one : cases) {
        std::vector<qint64> times;
        for (int run = 0; run < runs; ++run) {
            const qint64 ms = closeToExit(one.what, one.address);
            if (ms < 0)
                status = 1;
            else
                times.push_back(ms);
        }
        std::sort(times.begin(), times.end());
        if (times.empty()) {
            std::printf("%-32s %10s %10s\n", one.name, "failed", "-");
            continue;
        }
        std::printf("%-32s %10lld %10lld\n", one.name, static_cast<long long>(times.at(times.size() / 2)),
                    static_cast<long long>(times.back()));
        std::fflush(stdout);
    }
    for (const int socket : sockets)
        ::close(socket);
    return status;
}
