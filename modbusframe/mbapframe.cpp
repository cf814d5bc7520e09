#include "mbapframe.h"

#include "crc16.h"
#include "pdu.h"

namespace modbusframe {

namespace {

// Unit identifier and function code at least.
constexpr int MinFollowing = 2;
// A PDU is at most 253 bytes, after the unit identifier.
constexpr int MaxFollowing = 254;

quint16 wordAt(const QByteArray &bytes, int index)
{
    return static_cast<quint16>(static_cast<quint8>(bytes[index]) << 8 | static_cast<quint8>(bytes[index + 1]));
}

void appendWord(QByteArray &bytes, int word)
{
    bytes.append(static_cast<char>((word >> 8) & 0xFF));
    bytes.append(static_cast<char>(word & 0xFF));
}

} // namespace

int mbapFrameLength(const QByteArray &buffer)
{
    if (buffer.size() < MbapHeaderLength)
        return 0;
    const int following = wordAt(buffer, 4);
    if (wordAt(buffer, 2) != 0 || following < MinFollowing || following > MaxFollowing)
        return -1;
    return 6 + following;
}

QByteArray mbapFrame(quint16 transaction, quint8 unit, const QByteArray &pdu)
{
    QByteArray adu;
    adu.reserve(MbapHeaderLength + pdu.size());
    appendWord(adu, transaction);
    appendWord(adu, 0);
    appendWord(adu, 1 + pdu.size());
    adu.append(static_cast<char>(unit));
    return adu + pdu;
}

quint16 mbapTransaction(const QByteArray &adu)
{
    return wordAt(adu, 0);
}

quint8 mbapUnit(const QByteArray &adu)
{
    return static_cast<quint8>(adu[6]);
}

QByteArray mbapPdu(const QByteArray &adu)
{
    return adu.mid(MbapHeaderLength);
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
    return mbapFrame(mbapTransaction(adu), mbapUnit(adu), rtu.mid(1, rtu.size() - 3));
}

QByteArray mbapException(const QByteArray &adu, quint8 code)
{
    QByteArray pdu(1, static_cast<char>(static_cast<quint8>(adu[7]) | ExceptionFlag));
    pdu.append(static_cast<char>(code));
    return mbapFrame(mbapTransaction(adu), mbapUnit(adu), pdu);
}

} // namespace modbusframe
