#pragma once

#include "peersilence.h"
#include "registertransport.h"

#include <QByteArray>

#include <optional>

// Requests in RTU frames (address, PDU, CRC) on a connected socket, as a
// transparent serial-to-Ethernet converter passes them to its RS-485 side.
//
// RTU carries no transaction identifier: a reply is taken when its address,
// function and checksum match the request. Whatever arrived before the
// request went out is discarded; a frame for another address or function (a
// reply later than its time-out) is dropped and the wait goes on; a frame
// with a bad checksum fails the request, and the rest of what came with it is
// left to be discarded before the next one.
//
// A peer silent for too long (see PeerSilence) is taken as gone, though its
// connection is still open: the line is then opened again.
class RtuOverTcpTransport : public RegisterTransport
{
public:
    explicit RtuOverTcpTransport(int socket);

    TransactionOutcome readRegisters(int address, const RegisterRequest &request, int timeoutMs,
                                     QVector<quint16> &values) override;

private:
    // The outcome once `received` starts with the reply, or with a frame
    // that cannot be read; frames ahead of it for another request are
    // dropped.
    std::optional<TransactionOutcome> takeFrames(QByteArray &received, int address, const RegisterRequest &request,
                                                 QVector<quint16> &values);

    const int socket;
    PeerSilence silence;
};
