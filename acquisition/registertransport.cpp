#include "registertransport.h"

#include "pdu.h"

#include <algorithm>

TransactionOutcome takeReply(const QByteArray &pdu, InputRegisters &registers)
{
    using Kind = modbusframe::RegisterReply::Kind;
    const modbusframe::RegisterReply reply
        = modbusframe::parseRegisterReply(pdu, modbusframe::ReadInputRegisters, InputRegisterCount);
    switch (reply.kind) {
    case Kind::Registers:
        std::copy(reply.registers.cbegin(), reply.registers.cend(), registers.begin());
        return TransactionOutcome::Answered;
    case Kind::SlaveException:
        return TransactionOutcome::SlaveException;
    case Kind::GatewayException:
        return TransactionOutcome::GatewayException;
    case Kind::Malformed:
        break;
    }
    return TransactionOutcome::NoReply;
}
