#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>

namespace sim {

// Modbus TCP application header: transaction, protocol (0), length of what
// follows it, unit identifier.
constexpr int MbapHeaderLength = 7;
constexpr int MaxMbapLength = 260;

constexpr quint8 GatewayTargetFailed = 0x0B;

// Length of the ADU at the start of `buffer`: 0 while the header is not all
// there, -1 when the header cannot start a Modbus TCP request (a client that
// sends one is not speaking Modbus TCP).
int mbapRequestLength(const QByteArray &buffer);

// The request as it goes out on the RTU side of a gateway: unit identifier,
// PDU and CRC.
QByteArray rtuFromMbap(const QByteArray &adu);

// The reply to the request `adu` carrying the RTU reply `rtu`; nothing when
// `rtu` is no good reply from the unit asked (silence, a bad CRC, cut short,
// from another address), as a gateway passes nothing of those on.
std::optional<QByteArray> mbapFromRtu(const QByteArray &adu, const QByteArray &rtu);

// The exception reply to `adu` with `code`.
QByteArray mbapException(const QByteArray &adu, quint8 code);

} // namespace sim
