#pragma once

#include "registertransport.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <optional>

// Modbus TCP requests on a connected socket, each under a transaction
// identifier of its own. Replies are read until the one with that identifier
// comes; others (a reply later than its time-out) are dropped. The stream is
// read whole across requests, so a late reply never leaves its bytes in the
// way of the next one.
//
// A peer that has sent nothing for 10 s while a request waits is taken as
// gone, though its connection is still open (a pulled cable on the far side
// of a gateway, a peer that hangs): the line is then opened again.
class TcpTransport : public RegisterTransport
{
public:
    explicit TcpTransport(int socket);

    TransactionOutcome readRegisters(int address, const RegisterRequest &request, int timeoutMs,
                                     QVector<quint16> &values) override;

private:
    // Takes the frames received whole; the outcome once the reply to
    // `transaction` is among them.
    std::optional<TransactionOutcome> takeFrames(quint16 transaction, int unit, const RegisterRequest &request,
                                                 QVector<quint16> &values);
    bool peerSilentTooLong() const;

    const int socket;
    quint16 lastTransaction = 0;
    QByteArray received;
    // Since the last byte from the peer, or since a request began to wait
    // while nothing was waiting before, whichever is later.
    QElapsedTimer silence;
    bool waiting = false;
};
