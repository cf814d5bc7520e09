#include "rtuframe.h"

#include "crc16.h"
#include "pdu.h"

namespace modbusframe {

namespace {

quint8 byteAt(const QByteArray &bytes, int index)
{
    return static_cast<quint8>(bytes[index]);
}

} // namespace

QByteArray rtuFrame(quint8 address, const QByteArray &pdu)
{
    return withCrc(QByteArray(1, static_cast<char>(address)) + pdu);
}

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

int expectedReplyLength(const QByteArray &buffer, int offset)
{
    const int available = buffer.size() - offset;
    if (available < 2)
        return 0;
    const quint8 function = byteAt(buffer, offset + 1);
    if (function & ExceptionFlag)
        return 5;
    switch (function) {
    case 0x01: case 0x02: case 0x03: case 0x04: case 0x0C: case 0x11: case 0x14: case 0x15: case 0x17:
        // Address, function, byte count, the data and the CRC.
        return available < 3 ? 0 : 5 + byteAt(buffer, offset + 2);
    case 0x05: case 0x06: case 0x08: case 0x0B: case 0x0F: case 0x10:
        return 8;
    case 0x07:
        return 5;
    case 0x16:
        return 10;
    default:
        return -1;
    }
}

std::optional<FoundFrame> findReplyFrame(const QByteArray &buffer)
{
    // A stray byte ahead of a reply (noise, the tail of one cut short) must
    // not hide it: every position is tried as the start of a frame.
    for (int start = 0; start + MinFrameLength <= buffer.size(); ++start) {
        const int length = expectedReplyLength(buffer, start);
        if (length <= 0 || start + length > buffer.size())
            continue;
        const QByteArray frame = buffer.mid(start, length);
        if (hasValidCrc(frame))
            return FoundFrame{start, frame};
    }
    return std::nullopt;
}

QByteArray buildRegisterReply(quint8 address, quint8 function, const QByteArray &registerBytes)
{
    QByteArray pdu(1, static_cast<char>(function));
    pdu.append(static_cast<char>(registerBytes.size()));
    pdu.append(registerBytes);
    return rtuFrame(address, pdu);
}

QByteArray buildExceptionReply(quint8 address, quint8 function, quint8 code)
{
    QByteArray pdu(1, static_cast<char>(function | ExceptionFlag));
    pdu.append(static_cast<char>(code));
    return rtuFrame(address, pdu);
}

} // namespace modbusframe
