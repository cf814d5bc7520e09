#pragma once

#include "inputregisters.h"

#include <QByteArray>

// How one request for the input registers went.
enum class TransactionOutcome {
    Answered,
    // The device answered with an exception: it is there.
    SlaveException,
    // A gateway said that nothing answers behind it.
    GatewayException,
    // Nothing that belongs to the request came within the time-out.
    NoReply,
    // The address cannot be put on this line: nothing was sent.
    NotSent,
    // The device or the connection is gone; the line must be opened again.
    LineGone,
};

// Puts requests for input registers on an open line and takes the reply that
// belongs to each, dropping whatever else arrives meanwhile. Blocks for up to
// the time-out: used on the line's thread only.
class RegisterTransport
{
public:
    virtual ~RegisterTransport() = default;
    virtual TransactionOutcome readInputRegisters(int address, int timeoutMs, InputRegisters &registers) = 0;
};

// The outcome of `pdu`, the reply to a request for the input registers, with
// the registers it carries put in `registers`.
TransactionOutcome takeReply(const QByteArray &pdu, InputRegisters &registers);
