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

// The reply of a slave that serves `function`; `serves(start, quantity)`
// tells whether it holds every register asked for, `valueAt` gives each.
template <typename Serves, typename ValueAt>
Answer answer(const QByteArray &request, quint8 served, Serves serves, ValueAt valueAt)
{
    const quint8 address = byteAt(request, 0);
    const quint8 function = byteAt(request, 1);
    if (function != served)
        return {buildExceptionReply(address, function, IllegalFunction), false};
    if (request.size() != 8)
        return {buildExceptionReply(address, function, IllegalDataValue), false};

    const int start = wordAt(request, 2);
    const int quantity = wordAt(request, 4);
    if (quantity < 1 || quantity > MaxReadQuantity)
        return {buildExceptionReply(address, function, IllegalDataValue), false};
    if (!serves(start, quantity))
        return {buildExceptionReply(address, function, IllegalDataAddress), false};

    QByteArray data;
    for (int r = start; r < start + quantity; ++r) {
        const quint16 value = valueAt(r);
        data.append(static_cast<char>(value >> 8));
        data.append(static_cast<char>(value & 0xFF));
    }
    return {buildRegisterReply(address, function, data), true};
}

} // namespace

Answer answerRequest(const QByteArray &request, const RegisterBlock &registers)
{
    return answer(
        request, ReadInputRegisters, [](int start, int quantity) { return start + quantity <= RegisterCount; },
        [&registers](int r) { return registers[r]; });
}

Answer answerRequest(const QByteArray &request, const RegisterTable &table)
{
    const auto serves = [&table](int start, int quantity) {
        for (int r = start; r < start + quantity; ++r) {
            if (!table.registers.contains(r))
                return false;
        }
        return true;
    };
    return answer(request, table.function, serves, [&table](int r) { return table.registers.value(r); });
}

} // namespace sim
