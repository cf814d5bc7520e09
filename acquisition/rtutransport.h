#pragma once

#include "registertransport.h"

#include <QByteArray>

// Requests on a serial line, in frames of our own on the descriptor of the
// open line. A reply is taken only from the address asked: frames for another
// address, and whatever was left on the line before the request went out, are
// dropped while the wait goes on.
class RtuTransport : public RegisterTransport
{
public:
    explicit RtuTransport(int fd);

    TransactionOutcome readRegisters(int address, const RegisterRequest &request, int timeoutMs,
                                     QVector<quint16> &values) override;

private:
    const int fd;
};
