#pragma once

#include "inputregisters.h"

#include "pdu.h"
#include "registermap.h"

#include <QByteArray>
#include <QVector>

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

// What one request asks a device for: `count` registers of one kind from
// `start`; by default the seven input registers from 0.
struct RegisterRequest
{
    quint8 function = modbusframe::ReadInputRegisters;
    int start = 0;
    int count = InputRegisterCount;
};

// The requests a poll of a device read with `map` sends, in order.
QVector<RegisterRequest> requestsOf(const RegisterMap &map);

// Puts requests for registers on an open line and takes the reply that
// belongs to each, dropping whatever else arrives meanwhile. Blocks for up to
// the time-out: used on the line's thread only.
class RegisterTransport
{
public:
    virtual ~RegisterTransport() = default;
    // The registers asked for are put in `values`, when they come; for an
    // exception reply, its exception code alone.
    virtual TransactionOutcome readRegisters(int address, const RegisterRequest &request, int timeoutMs,
                                             QVector<quint16> &values) = 0;
    // The seven input registers from 0.
    TransactionOutcome readInputRegisters(int address, int timeoutMs, InputRegisters &registers);
};

// The outcome of `pdu`, the reply to `request`, with the registers it
// carries put in `values`, or the exception code alone for an exception reply.
TransactionOutcome takeReply(const QByteArray &pdu, const RegisterRequest &request, QVector<quint16> &values);
