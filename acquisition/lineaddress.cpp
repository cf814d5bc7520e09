#include "lineaddress.h"

#include "serialdevice.h"

#include <QCoreApplication>

#ifdef Q_OS_WIN
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

namespace {

constexpr int DefaultTcpPort = 502;
const QLatin1String TcpScheme("tcp://");

QString translated(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

bool isSerialPath(const QString &text)
{
#ifdef Q_OS_WIN
    return text.startsWith(QLatin1String("\\\\"));
#else
    return text.startsWith(QLatin1Char('/'));
#endif
}

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

// 1 to 65535 in decimal digits; 0 for anything else.
int portNumber(const QString &text)
{
    if (text.isEmpty() || text.size() > 5)
        return 0;
    for (const QChar c : text) {
        if (c < '0' || c > '9')
            return 0;
    }
    const int port = text.toInt();
    return port <= 65535 ? port : 0;
}

LineAddress tcpAddress(const QString &text)
{
    LineAddress malformed;
    malformed.kind = LineAddress::Kind::Malformed;
    for (const QChar c : text) {
        if (c.isSpace())
            return malformed;
    }
    const bool scheme = text.startsWith(TcpScheme);
    const QString rest = scheme ? text.mid(TcpScheme.size()) : text;

    QString host;
    QString portText;
    bool hasPort = false;
    if (rest.startsWith(QLatin1Char('['))) {
        const int close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return malformed;
        host = rest.mid(1, close - 1);
        const QString after = rest.mid(close + 1);
        if (!isIpv6Address(host) || (!after.isEmpty() && !after.startsWith(QLatin1Char(':'))))
            return malformed;
        hasPort = !after.isEmpty();
        portText = after.mid(1);
    } else {
        const int colon = rest.indexOf(QLatin1Char(':'));
        host = rest.left(colon);
        hasPort = colon >= 0;
        portText = hasPort ? rest.mid(colon + 1) : QString();
        if (!isHostName(host))
            return malformed;
    }
    // Only the tcp:// form may leave the port out.
    if (!hasPort && !scheme)
        return malformed;

    LineAddress address;
    address.kind = LineAddress::Kind::Tcp;
    address.host = host;
    address.port = hasPort ? portNumber(portText) : DefaultTcpPort;
    return address.port == 0 ? malformed : address;
}

} // namespace

LineAddress parseLineAddress(const QString &text)
{
    if (isSerialPath(text))
        return {};
    if (text.startsWith(TcpScheme) || text.startsWith(QLatin1Char('[')) || text.contains(QLatin1Char(':')))
        return tcpAddress(text);
    return {};
}

LineChoice chooseLine(const QString &portText, const QString &baudText, const QString &parityText,
                      const QString &dataBitsText, const QString &stopBitsText)
{
    const LineAddress address = parseLineAddress(portText);
    LineChoice choice;
    if (address.kind == LineAddress::Kind::Malformed) {
        choice.refusal = translated("TCP 地址格式不正确。\n") + lineAddressHelp();
        return choice;
    }
    LineSettings settings;
    if (address.kind == LineAddress::Kind::Tcp) {
        settings.transport = LineSettings::Transport::Tcp;
        settings.host = address.host.toLatin1();
        settings.port = QByteArray::number(address.port);
    } else {
        settings.device = serialDeviceBytes(serialDeviceString(portText));
    }
    // A TCP line has no framing; the values ride along unused.
    settings.baud = baudText.toInt();
    settings.parity = parityCharacter(parityText);
    settings.dataBits = dataBitsText.toInt();
    settings.stopBits = stopBitsText.toInt();
    choice.settings = settings;
    return choice;
}

QString lineAddressHelp()
{
    return translated("可输入串口名或设备路径，或 Modbus TCP 地址：tcp://主机[:端口]（端口默认 502）或 主机:端口。"
                      "主机为 IPv4 地址、方括号中的 IPv6 地址（如 [::1]）或主机名，端口为 1 到 65535。");
}
