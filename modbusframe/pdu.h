#pragma once

#include <QByteArray>
#include <QVector>
#include <QtGlobal>

// The protocol data unit: function code and data, the same on a serial line
// and over TCP.
namespace modbusframe {

constexpr quint8 ReadHoldingRegisters = 0x03;
constexpr quint8 ReadInputRegisters = 0x04;
constexpr quint8 ExceptionFlag = 0x80;
constexpr int MaxReadQuantity = 125;

constexpr quint8 IllegalFunction = 0x01;
constexpr quint8 IllegalDataAddress = 0x02;
constexpr quint8 IllegalDataValue = 0x03;
constexpr quint8 SlaveDeviceFailure = 0x04;
// A gateway's own: it has no path to the unit, or the unit did not answer it.
constexpr quint8 GatewayPathUnavailable = 0x0A;
constexpr quint8 GatewayTargetFailed = 0x0B;

// The request for `quantity` registers from `start` with `function`.
QByteArray readRegistersRequest(quint8 function, int start, int quantity);

// What a reply to such a request says.
struct RegisterReply
{
    enum class Kind {
        Registers,
        // From the slave itself: a device is there.
        SlaveException,
        // 0x0A or 0x0B from a gateway: nothing answered behind it.
        GatewayException,
        // Not a reply to that request: another function, a wrong byte count.
        Malformed,
    };
    Kind kind = Kind::Malformed;
    quint8 exceptionCode = 0;
    QVector<quint16> registers;
};

RegisterReply parseRegisterReply(const QByteArray &pdu, quint8 function, int quantity);

} // namespace modbusframe
