#include "lineaddress.h"

#include "hostport.h"
#include "serialdevice.h"

#include <QCoreApplication>

namespace {

constexpr int DefaultTcpPort = 502;
const QLatin1String TcpScheme("tcp://");
const QLatin1String RtuOverTcpScheme("rtu+tcp://");

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

LineAddress tcpAddress(const QString &text)
{
    LineAddress malformed;
    malformed.kind = LineAddress::Kind::Malformed;
    const bool rtu = text.startsWith(RtuOverTcpScheme);
    const bool scheme = text.startsWith(TcpScheme);
    const std::optional<HostPort> parsed
        = parseHostPort(rtu ? text.mid(RtuOverTcpScheme.size()) : scheme ? text.mid(TcpScheme.size()) : text);
    // Only the tcp:// form may leave the port out: a converter has no port
    // of its own to fall back on.
    if (!parsed || (!parsed->hasPort && !scheme))
        return malformed;
    const int port = parsed->hasPort ? parsed->port().value_or(0) : DefaultTcpPort;
    if (port == 0)
        return malformed;

    LineAddress address;
    address.kind = rtu ? LineAddress::Kind::RtuOverTcp : LineAddress::Kind::Tcp;
    address.host = parsed->host;
    address.port = port;
    return address;
}

} // namespace

LineAddress parseLineAddress(const QString &text)
{
    if (isSerialPath(text))
        return {};
    if (text.startsWith(RtuOverTcpScheme) || text.startsWith(TcpScheme) || text.startsWith(QLatin1Char('['))
        || text.contains(QLatin1Char(':')))
        return tcpAddress(text);
    return {};
}

Result<LineSettings> chooseLine(const QString &portText, const QString &baudText, const QString &parityText,
                                const QString &dataBitsText, const QString &stopBitsText)
{
    const LineAddress address = parseLineAddress(portText);
    if (address.kind == LineAddress::Kind::Malformed)
        return Failure{translated("TCP 地址格式不正确。\n") + lineAddressHelp()};
    LineSettings settings;
    if (address.kind == LineAddress::Kind::Tcp || address.kind == LineAddress::Kind::RtuOverTcp) {
        settings.transport = address.kind == LineAddress::Kind::Tcp ? LineSettings::Transport::Tcp
                                                                    : LineSettings::Transport::RtuOverTcp;
        settings.host = address.host.toLatin1();
        settings.port = QByteArray::number(address.port);
    } else {
        settings.device = serialDeviceBytes(serialDeviceString(portText));
    }
    // A line over TCP has no framing of its own (a converter's baud rate is
    // set on the converter); the values ride along unused.
    settings.baud = baudText.toInt();
    settings.parity = parityCharacter(parityText);
    settings.dataBits = dataBitsText.toInt();
    settings.stopBits = stopBitsText.toInt();
    return settings;
}

QString lineAddressHelp()
{
    return translated("可输入串口名或设备路径，或 Modbus TCP 地址：tcp://主机[:端口]（端口默认 502）或 主机:端口，"
                      "或经串口服务器透传的 RTU 地址：rtu+tcp://主机:端口（须写端口）。"
                      "主机为 IPv4 地址、方括号中的 IPv6 地址（如 [::1]）或主机名，端口为 1 到 65535。");
}
