#include "tcpconnection.h"

#include "serialdevice.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

QString translated(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

// Whether `host` resolves at all: libmodbus's own look-up would only say
// that the connection failed.
bool resolves(const QByteArray &host, const QByteArray &port)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo *found = nullptr;
    if (getaddrinfo(host.constData(), port.constData(), &hints, &found) != 0)
        return false;
    freeaddrinfo(found);
    return true;
}

QString connectFailure(int error, const QString &address)
{
    switch (error) {
    case ECONNREFUSED:
        return translated("连接 %1 被拒绝：该端口无人监听").arg(address);
    case ETIMEDOUT:
    case EINPROGRESS:
        return translated("连接 %1 超时：对方无应答").arg(address);
    case ENETUNREACH:
    case EHOSTUNREACH:
        return translated("无法到达 %1：网络不通").arg(address);
    default:
        return translated("无法连接 %1：%2").arg(address, QString::fromLocal8Bit(std::strerror(error)));
    }
}

// A peer that stops acknowledging what is sent to it (its cable pulled, a
// half-open connection) fails the connection after this long, and an idle
// connection is probed so that its loss shows at the next request.
constexpr unsigned UserTimeoutMs = 30000;
constexpr int KeepAliveIdleSeconds = 10;
constexpr int KeepAliveIntervalSeconds = 5;
constexpr int KeepAliveProbes = 4;

void watchPeer(int socket)
{
    const int on = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPIDLE, &KeepAliveIdleSeconds, sizeof KeepAliveIdleSeconds);
    ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPINTVL, &KeepAliveIntervalSeconds, sizeof KeepAliveIntervalSeconds);
    ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPCNT, &KeepAliveProbes, sizeof KeepAliveProbes);
    ::setsockopt(socket, IPPROTO_TCP, TCP_USER_TIMEOUT, &UserTimeoutMs, sizeof UserTimeoutMs);
}

} // namespace

QString tcpAddressText(const QByteArray &host, const QByteArray &port)
{
    const QString name = QString::fromLatin1(host);
    return (name.contains(QLatin1Char(':')) ? QLatin1Char('[') + name + QLatin1Char(']') : name)
        + QLatin1Char(':') + QString::fromLatin1(port);
}

modbus_t *connectTcp(const QByteArray &host, const QByteArray &port, int timeoutSeconds, QString *reason)
{
    if (!resolves(host, port)) {
        *reason = translated("无法解析主机名 %1").arg(QString::fromLatin1(host));
        return nullptr;
    }
    modbus_t *context = modbus_new_tcp_pi(host.constData(), port.constData());
    if (!context) {
        *reason = connectFailure(errno, tcpAddressText(host, port));
        return nullptr;
    }
    modbus_set_debug(context, 0);
    // libmodbus waits for the connection as long as for a reply.
    modbus_set_response_timeout(context, timeoutSeconds, 0);
    if (modbus_connect(context) == -1) {
        *reason = connectFailure(errno, tcpAddressText(host, port));
        releaseContext(context);
        return nullptr;
    }
    watchPeer(modbus_get_socket(context));
    return context;
}
