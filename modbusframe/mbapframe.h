#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>

// Frames over TCP: the MBAP header (transaction, protocol 0, length of what
// follows it, unit identifier), then the PDU.
namespace modbusframe {

constexpr int MbapHeaderLength = 7;

// Length of the frame at the start of `buffer`: 0 while the header is not all
// there, -1 when the header cannot start a Modbus TCP frame (the peer is not
// speaking Modbus TCP, or the stream is out of step).
int mbapFrameLength(const QByteArray &buffer);

QByteArray mbapFrame(quint16 transaction, quint8 unit, const QByteArray &pdu);

quint16 mbapTransaction(const QByteArray &adu);
quint8 mbapUnit(const QByteArray &adu);
QByteArray mbapPdu(const QByteArray &adu);

// The request as it goes out on the serial side of a gateway: unit
// identifier, PDU and CRC.
QByteArray rtuFromMbap(const QByteArray &adu);

// The reply to the request `adu` carrying the serial reply `rtu`; nothing
// when `rtu` is no good reply from the unit asked (silence, a bad CRC, cut
// short, from another address), as a gateway passes nothing of those on.
std::optional<QByteArray> mbapFromRtu(const QByteArray &adu, const QByteArray &rtu);

// The exception reply to `adu` with `code`.
QByteArray mbapException(const QByteArray &adu, quint8 code);

} // namespace modbusframe
