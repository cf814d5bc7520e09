#pragma once

#include "linesettings.h"
#include "result.h"

#include <QString>

// What the text of the port box names. A text starting with '/' (or "\\" on
// Windows) is a serial path; one starting with "rtu+tcp://" is a converter
// passing RTU frames over TCP, `rtu+tcp://host:port`; one starting with
// "tcp://" or '[', or holding a ':', is a Modbus TCP address,
// `tcp://host[:port]` or `host:port`; hosts in IPv6 go in brackets; anything
// else is a serial port name.
struct LineAddress
{
    enum class Kind { Serial, Tcp, RtuOverTcp, Malformed };
    Kind kind = Kind::Serial;
    QString host; // without brackets
    int port = 0;
};

LineAddress parseLineAddress(const QString &text);

// The line the window's choices name, or why it cannot be opened.
Result<LineSettings> chooseLine(const QString &portText, const QString &baudText, const QString &parityText,
                                const QString &dataBitsText, const QString &stopBitsText);

// What the port box accepts, for its tooltip.
QString lineAddressHelp();
