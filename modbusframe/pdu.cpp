#include "pdu.h"

namespace modbusframe {

namespace {

quint8 byteAt(const QByteArray &bytes, int index)
{
    return static_cast<quint8>(bytes[index]);
}

void appendWord(QByteArray &bytes, int word)
{
    bytes.append(static_cast<char>((word >> 8) & 0xFF));
    bytes.append(static_cast<char>(word & 0xFF));
}

} // namespace

QByteArray readRegistersRequest(quint8 function, int start, int quantity)
{
    QByteArray pdu(1, static_cast<char>(function));
    appendWord(pdu, start);
    appendWord(pdu, quantity);
    return pdu;
}

RegisterReply parseRegisterReply(const QByteArray &pdu, quint8 function, int quantity)
{
    RegisterReply reply;
    if (pdu.size() == 2 && byteAt(pdu, 0) == (function | ExceptionFlag)) {
        reply.exceptionCode = byteAt(pdu, 1);
        const bool fromGateway
            = reply.exceptionCode == GatewayPathUnavailable || reply.exceptionCode == GatewayTargetFailed;
        reply.kind = fromGateway ? RegisterReply::Kind::GatewayException : RegisterReply::Kind::SlaveException;
        return reply;
    }
    const int byteCount = 2 * quantity;
    if (pdu.size() != 2 + byteCount || byteAt(pdu, 0) != function || byteAt(pdu, 1) != byteCount)
        return reply;
    reply.kind = RegisterReply::Kind::Registers;
    reply.registers.reserve(quantity);
    for (int i = 0; i < quantity; ++i)
        reply.registers.append(static_cast<quint16>(byteAt(pdu, 2 + 2 * i) << 8 | byteAt(pdu, 3 + 2 * i)));
    return reply;
}

} // namespace modbusframe
