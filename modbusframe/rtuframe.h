#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>

// Frames on a serial line: slave address, PDU, CRC.
namespace modbusframe {

// Address, function code and CRC: nothing shorter is a frame.
constexpr int MinFrameLength = 4;
constexpr int MaxFrameLength = 256;

// The frame carrying `pdu` to or from `address`.
QByteArray rtuFrame(quint8 address, const QByteArray &pdu);

// Length of the request at the start of `buffer` as fixed by its function
// code: 0 while too few bytes have arrived to tell, -1 when the function's
// request length is not known (such frames end at a silence on the line).
int expectedRequestLength(const QByteArray &buffer);

// The same for a reply at `offset` in `buffer`.
int expectedReplyLength(const QByteArray &buffer, int offset = 0);

// The first whole reply with a valid CRC in `buffer`, at `start`; bytes before
// it belong to no frame. Nothing while no reply is complete.
struct FoundFrame
{
    int start = 0;
    QByteArray frame;
};
std::optional<FoundFrame> findReplyFrame(const QByteArray &buffer);

QByteArray buildRegisterReply(quint8 address, quint8 function, const QByteArray &registerBytes);
QByteArray buildExceptionReply(quint8 address, quint8 function, quint8 code);

} // namespace modbusframe
