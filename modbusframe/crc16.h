#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace modbusframe {

// CRC-16/MODBUS: reflected polynomial 0xA001, initial value 0xFFFF.
quint16 crc16Modbus(const QByteArray &data);

// Appends the CRC of `frame` in wire order (low byte first).
QByteArray withCrc(QByteArray frame);

// True when the last two bytes are the CRC of everything before them.
bool hasValidCrc(const QByteArray &frame);

} // namespace modbusframe
