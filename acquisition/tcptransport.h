#pragma once

#include "peersilence.h"
#include "registertransport.h"

#include <QByteArray>

#include <optional>

// Modbus TCP requests on a connected socket, each under a transaction
// identifier of its own. Replies are read until the one with that identifier
// comes; others (a reply later than its time-out) are dropped. The stream is
// read whole across requests, so a late reply never leaves its bytes in the
// way of the next one.
//
// A peer silent for too long (see PeerSilence) is taken as gone, though its
// connection is still open: the line is then opened again.
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

    const int socket;
    quint16 lastTransaction = 0;
    QByteArray received;
    PeerSilence silence;
};
