#include "tcptransport.h"

#include "descriptorio.h"
#include "mbapframe.h"
#include "pdu.h"
#include "streamreply.h"

namespace {

constexpr int MaxUnit = 255;

} // namespace

TcpTransport::TcpTransport(int socket)
    : socket(socket)
{
    makeNonBlocking(socket);
}

TransactionOutcome TcpTransport::readRegisters(int address, const RegisterRequest &request, int timeoutMs,
                                              QVector<quint16> &values)
{
    if (address < 0 || address > MaxUnit)
        return TransactionOutcome::NotSent;
    const quint16 transaction = ++lastTransaction;
    const QByteArray frame = modbusframe::mbapFrame(
        transaction, quint8(address),
        modbusframe::readRegistersRequest(request.function, request.start, request.count));
    int error = 0;
    // A connection that will not take a request is broken, whatever the
    // reason: a reset, the kernel giving up on an unacknowledged peer.
    if (!writeAll(socket, frame, QDeadlineTimer(timeoutMs), true, &error))
        return TransactionOutcome::LineGone;
    silence.requestSent();

    return awaitStreamReply(socket, timeoutMs, received, silence,
                            [&] { return takeFrames(transaction, address, request, values); });
}

std::optional<TransactionOutcome> TcpTransport::takeFrames(quint16 transaction, int unit, const RegisterRequest &request,
                                                         QVector<quint16> &values)
{
    for (;;) {
        const int length = modbusframe::mbapFrameLength(received);
        // Out of step with the stream: no frame can be found in it again.
        if (length < 0)
            return TransactionOutcome::LineGone;
        if (length == 0 || received.size() < length)
            return std::nullopt;
        const QByteArray frame = received.left(length);
        received.remove(0, length);
        if (modbusframe::mbapTransaction(frame) != transaction || modbusframe::mbapUnit(frame) != unit)
            continue;
        silence.replyTaken();
        return takeReply(modbusframe::mbapPdu(frame), request, values);
    }
}
