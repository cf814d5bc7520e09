#include "rtutcptransport.h"

#include "crc16.h"
#include "descriptorio.h"
#include "pdu.h"
#include "rtuframe.h"
#include "slaveaddress.h"
#include "streamreply.h"

RtuOverTcpTransport::RtuOverTcpTransport(int socket)
    : socket(socket)
{
    makeNonBlocking(socket);
}

TransactionOutcome RtuOverTcpTransport::readRegisters(int address, const RegisterRequest &request, int timeoutMs,
                                                     QVector<quint16> &values)
{
    // As on a serial line: 0 is answered by nobody, and no address above 247
    // can be put on the RS-485 side.
    if (address < 0 || address > LastSlaveAddress)
        return TransactionOutcome::NotSent;
    int error = 0;
    // Whatever is already there (a late reply, the rest of a bad frame) was
    // sent before this request and answers none of it.
    QByteArray stale;
    if (readAvailable(socket, 0, stale, &error) == ReadOutcome::Failed)
        return TransactionOutcome::LineGone;
    if (!stale.isEmpty())
        silence.bytesCame();

    const QByteArray frame = modbusframe::rtuFrame(
        quint8(address), modbusframe::readRegistersRequest(request.function, request.start, request.count));
    // A connection that will not take a request is broken, whatever the
    // reason: a reset, the kernel giving up on an unacknowledged peer.
    if (!writeAll(socket, frame, QDeadlineTimer(timeoutMs), true, &error))
        return TransactionOutcome::LineGone;
    silence.requestSent();

    QByteArray received;
    return awaitStreamReply(socket, timeoutMs, received, silence,
                            [&] { return takeFrames(received, address, request, values); });
}

std::optional<TransactionOutcome> RtuOverTcpTransport::takeFrames(QByteArray &received, int address,
                                                                 const RegisterRequest &request,
                                                                 QVector<quint16> &values)
{
    for (;;) {
        // The stream carries whole frames back to back: each one's length
        // follows from its function code and byte count.
        const int length = modbusframe::expectedReplyLength(received);
        if (length == 0 || (length > 0 && received.size() < length))
            return std::nullopt;
        // A function no reply has, or a checksum that fails: the frames are
        // out of step and nothing more can be read until the next request.
        if (length < 0 || !modbusframe::hasValidCrc(received.left(length)))
            return TransactionOutcome::NoReply;
        const QByteArray frame = received.left(length);
        received.remove(0, length);
        const quint8 function = quint8(frame[1]) & ~modbusframe::ExceptionFlag;
        if (quint8(frame[0]) != address || function != request.function)
            continue;
        silence.replyTaken();
        // Address and CRC off, the PDU is left.
        return takeReply(frame.mid(1, frame.size() - 3), request, values);
    }
}
