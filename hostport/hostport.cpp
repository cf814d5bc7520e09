#include "hostport.h"

#ifdef Q_OS_WIN
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

namespace {

constexpr int MaxPortDigits = 5;
constexpr int MaxPort = 65535;

bool isIpv6Address(const QString &text)
{
    in6_addr address{};
    return inet_pton(AF_INET6, text.toLatin1().constData(), &address) == 1;
}

// A name or an IPv4 address: letters, digits, '-', '_' and '.'.
bool isHostName(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c.unicode() > 0x7F || !(c.isLetterOrNumber() || c == '-' || c == '_' || c == '.'))
            return false;
    }
    return true;
}

bool isDigits(const QString &text)
{
    for (const QChar c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

} // namespace

std::optional<int> HostPort::port() const
{
    return portNumber(portText);
}

std::optional<HostPort> parseHostPort(const QString &text)
{
    HostPort parsed;
    QString afterHost;
    if (text.startsWith(QLatin1Char('['))) {
        const int close = text.indexOf(QLatin1Char(']'));
        if (close < 0)
            return std::nullopt;
        parsed.host = text.mid(1, close - 1);
        afterHost = text.mid(close + 1);
        if (!isIpv6Address(parsed.host) || (!afterHost.isEmpty() && !afterHost.startsWith(QLatin1Char(':'))))
            return std::nullopt;
    } else {
        const int colon = text.indexOf(QLatin1Char(':'));
        parsed.host = text.left(colon);
        afterHost = colon < 0 ? QString() : text.mid(colon);
        if (!isHostName(parsed.host))
            return std::nullopt;
    }
    parsed.hasPort = !afterHost.isEmpty();
    parsed.portText = afterHost.mid(1);
    if (!isDigits(parsed.portText))
        return std::nullopt;
    return parsed;
}

std::optional<int> portNumber(const QString &text)
{
    if (text.isEmpty() || text.size() > MaxPortDigits || !isDigits(text))
        return std::nullopt;
    const int port = text.toInt();
    return port <= MaxPort ? std::optional<int>(port) : std::nullopt;
}
