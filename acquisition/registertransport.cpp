#include "registertransport.h"

#include <algorithm>

QVector<RegisterRequest> requestsOf(const RegisterMap &map)
{
    const quint8 function
        = map.kind == RegisterKind::Holding ? modbusframe::ReadHoldingRegisters : modbusframe::ReadInputRegisters;
    QVector<RegisterRequest> requests;
    for (const RegisterRange &range : registerRanges(map))
        requests.append({function, range.start, range.count});
    return requests;
}

TransactionOutcome RegisterTransport::readInputRegisters(int address, int timeoutMs, InputRegisters &registers)
{
    QVector<quint16> values;
    const TransactionOutcome outcome = readRegisters(address, RegisterRequest(), timeoutMs, values);
    if (outcome == TransactionOutcome::Answered)
        std::copy(values.cbegin(), values.cend(), registers.begin());
    return outcome;
}

TransactionOutcome takeReply(const QByteArray &pdu, const RegisterRequest &request, QVector<quint16> &values)
{
    using Kind = modbusframe::RegisterReply::Kind;
    modbusframe::RegisterReply reply = modbusframe::parseRegisterReply(pdu, request.function, request.count);
    switch (reply.kind) {
    case Kind::Registers:
        values = std::move(reply.registers);
        return TransactionOutcome::Answered;
    case Kind::SlaveException:
        values = {reply.exceptionCode};
        return TransactionOutcome::SlaveException;
    case Kind::GatewayException:
        values = {reply.exceptionCode};
        return TransactionOutcome::GatewayException;
    case Kind::Malformed:
        break;
    }
    return TransactionOutcome::NoReply;
}
