#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <array>

namespace sim {

constexpr int RegisterCount = 7;
using RegisterBlock = std::array<quint16, RegisterCount>;

constexpr quint8 ReadInputRegisters = 0x04;
constexpr int MaxReadQuantity = 125;

constexpr quint8 IllegalFunction = 0x01;
constexpr quint8 IllegalDataAddress = 0x02;
constexpr quint8 IllegalDataValue = 0x03;
constexpr quint8 SlaveDeviceFailure = 0x04;

// Address, function code and CRC: nothing shorter is a frame.
constexpr int MinFrameLength = 4;
constexpr int MaxFrameLength = 256;

// Length of the request at the start of `buffer` as fixed by its function
// code: 0 while too few bytes have arrived to tell, -1 when the function's
// request length is not known (such frames end at a silence on the line).
int expectedRequestLength(const QByteArray &buffer);

QByteArray buildRegisterReply(quint8 address, quint8 function, const QByteArray &registerBytes);
QByteArray buildExceptionReply(quint8 address, quint8 function, quint8 code);

struct Answer {
    QByteArray frame;
    bool hasData = false; // false for exception replies
};

// What a transmitter holding `registers` replies to `request`, a frame whose
// CRC has already been checked.
Answer answerRequest(const QByteArray &request, const RegisterBlock &registers);

} // namespace sim
