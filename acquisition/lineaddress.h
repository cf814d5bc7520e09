#pragma once

#include "linesettings.h"
#include "result.h"

#include <QString>

// What the text of the port box names. A text starting with '/' (or "\\" on
// Windows) is a serial path; one starting with "tcp://" or '[', or holding a
// ':', is a Modbus TCP address, `tcp://host[:port]` or `host:port`, with an
// IPv6 host in brackets; anything else is a serial port name.
struct LineAddress
{
    enum class Kind { Serial, Tcp, Malformed };
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
