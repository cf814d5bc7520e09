#include "rtutransport.h"

#include "descriptorio.h"
#include "pdu.h"
#include "rtuframe.h"
#include "slaveaddress.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cerrno>
#include <termios.h>

namespace {

// Bytes that have stopped coming this long without making a frame are the
// remains of a broken one (the gap a serial master allows between the bytes
// of a reply).
constexpr int ByteTimeoutMs = 500;

bool isGoneDeviceError(int error)
{
    switch (error) {
    case EIO:        // the line hung up, or the adapter is failing
    case ENXIO:      // the device is gone
    case ENODEV:
    case EBADF:
    case EPIPE:
    case ECONNRESET: // end of file on the line
        return true;
    default:
        return false;
    }
}

} // namespace

RtuTransport::RtuTransport(int fd)
    : fd(fd)
{
    makeNonBlocking(fd);
}

TransactionOutcome RtuTransport::readRegisters(int address, const RegisterRequest &request, int timeoutMs,
                                              QVector<quint16> &values)
{
    // 0 is the broadcast address, answered by nobody; above 247 no address
    // can be put on a serial line.
    if (address < 0 || address > LastSlaveAddress)
        return TransactionOutcome::NotSent;
    // Whatever arrived after the previous request ended (the tail of a reply
    // cut short, a reply later than the time-out) must not be read as this
    // device's answer.
    ::tcflush(fd, TCIOFLUSH);
    const QByteArray frame = modbusframe::rtuFrame(
        quint8(address), modbusframe::readRegistersRequest(request.function, request.start, request.count));
    int error = 0;
    if (!writeAll(fd, frame, QDeadlineTimer(timeoutMs), false, &error))
        return isGoneDeviceError(error) ? TransactionOutcome::LineGone : TransactionOutcome::NoReply;

    const QDeadlineTimer deadline(timeoutMs);
    QByteArray received;
    QElapsedTimer sinceLastByte;
    while (!deadline.hasExpired()) {
        int waitMs = int(deadline.remainingTime());
        if (!received.isEmpty())
            waitMs = std::min(waitMs, std::max(0, ByteTimeoutMs - int(sinceLastByte.elapsed())));
        switch (readAvailable(fd, waitMs, received, &error)) {
        case ReadOutcome::Failed:
            return isGoneDeviceError(error) ? TransactionOutcome::LineGone : TransactionOutcome::NoReply;
        case ReadOutcome::TimedOut:
            if (!received.isEmpty() && sinceLastByte.elapsed() >= ByteTimeoutMs)
                received.clear();
            continue;
        case ReadOutcome::Bytes:
            sinceLastByte.start();
            // A line that chatters without end holds no more than one frame
            // can use.
            if (received.size() > 2 * modbusframe::MaxFrameLength)
                received.remove(0, received.size() - modbusframe::MaxFrameLength);
            break;
        }
        while (const auto found = modbusframe::findReplyFrame(received)) {
            received.remove(0, found->start + found->frame.size());
            if (quint8(found->frame[0]) != address)
                continue;
            // Address and CRC off, the PDU is left.
            return takeReply(found->frame.mid(1, found->frame.size() - 3), request, values);
        }
    }
    return TransactionOutcome::NoReply;
}
