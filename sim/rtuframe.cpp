#include "rtuframe.h"

#include "crc16.h"

namespace sim {

namespace {

quint8 byteAt(const QByteArray &bytes, int index)
{
    return static_cast<quint8>(bytes[index]);
}

quint16 wordAt(const QByteArray &bytes, int index)
{
    return static_cast<quint16>(byteAt(bytes, index) << 8 | byteAt(bytes, index + 1));
}

} // namespace

int expectedRequestLength(const QByteArray &buffer)
{
    if (buffer.size() < 2)
        return 0;
    switch (byteAt(buffer, 1)) {
    case 0x01: case 0x02: case 0x03: case 0x04: case 0x05: case 0x06: case 0x08:
        return 8;
    case 0x07: case 0x0B: case 0x0C: case 0x11:
        return 4;
    case 0x18:
        return 6;
    case 0x16:
        return 10;
    case 0x0F: case 0x10:
        return buffer.size() < 7 ? 0 : 9 + byteAt(buffer, 6);
    case 0x17:
        return buffer.size() < 11 ? 0 : 13 + byteAt(buffer, 10);
    default:
        return -1;
    }
}

QByteArray buildRegisterReply(quint8 address, quint8 function, const QByteArray &registerBytes)
{
    QByteArray frame;
    frame.append(static_cast<char>(address));
    frame.append(static_cast<char>(function));
    frame.append(static_cast<char>(registerBytes.size()));
    frame.append(registerBytes);
    return withCrc(frame);
}

QByteArray buildExceptionReply(quint8 address, quint8 function, quint8 code)
{
    QByteArray frame;
    frame.append(static_cast<char>(address));
    frame.append(static_cast<char>(function | 0x80));
    frame.append(static_cast<char>(code));
    return withCrc(frame);
}

Answer answerRequest(const QByteArray &request, const RegisterBlock &registers)
{
    const quint8 address = byteAt(request, 0);
    const quint8 function = byteAt(request, 1);
    if (function != ReadInputRegisters)
        return {buildExceptionReply(address, function, IllegalFunction), false};
    if (request.size() != 8)
        return {buildExceptionReply(address, function, IllegalDataValue), false};

    const int start = wordAt(request, 2);
    const int quantity = wordAt(request, 4);
    if (quantity < 1 || quantity > MaxReadQuantity)
        return {buildExceptionReply(address, function, IllegalDataValue), false};
    if (start + quantity > RegisterCount)
        return {buildExceptionReply(address, function, IllegalDataAddress), false};

    QByteArray data;
    for (int r = start; r < start + quantity; ++r) {
        data.append(static_cast<char>(registers[r] >> 8));
        data.append(static_cast<char>(registers[r] & 0xFF));
    }
    return {buildRegisterReply(address, function, data), true};
}

} // namespace sim
