#include "slaveanswer.h"

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
