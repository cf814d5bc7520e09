#include "mbapframe.h"

#include "crc16.h"

namespace sim {

namespace {

// Unit identifier and function code at least.
constexpr int MinFollowing = 2;
// A PDU is at most 253 bytes, after the unit identifier.
constexpr int MaxFollowing = 254;

quint16 wordAt(const QByteArray &bytes, int index)
{
    return static_cast<quint16>(static_cast<quint8>(bytes[index]) << 8 | static_cast<quint8>(bytes[index + 1]));
}

// The reply's header: the request's transaction and unit, the length of `body`
// (unit identifier and PDU).
QByteArray withHeader(const QByteArray &adu, const QByteArray &body)
{
    QByteArray reply = adu.left(4);
    reply.append(static_cast<char>(body.size() >> 8));
    reply.append(static_cast<char>(body.size() & 0xFF));
    return reply + body;
}

} // namespace

int mbapRequestLength(const QByteArray &buffer)
{
    if (buffer.size() < MbapHeaderLength)
        return 0;
    const int following = wordAt(buffer, 4);
    if (wordAt(buffer, 2) != 0 || following < MinFollowing || following > MaxFollowing)
        return -1;
    return 6 + following;
}

QByteArray rtuFromMbap(const QByteArray &adu)
{
    return withCrc(adu.mid(6));
}

std::optional<QByteArray> mbapFromRtu(const QByteArray &adu, const QByteArray &rtu)
{
    // Unit, function, one byte more and the CRC: the shortest good reply.
    if (rtu.size() < 5 || !hasValidCrc(rtu) || rtu[0] != adu[6])
        return std::nullopt;
    return withHeader(adu, rtu.left(rtu.size() - 2));
}

QByteArray mbapException(const QByteArray &adu, quint8 code)
{
    QByteArray body = adu.mid(6, 2);
    body[1] = static_cast<char>(static_cast<quint8>(body[1]) | 0x80);
    body.append(static_cast<char>(code));
    return withHeader(adu, body);
}

} // namespace sim
