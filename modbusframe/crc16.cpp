#include "crc16.h"

namespace modbusframe {

quint16 crc16Modbus(const QByteArray &data)
{
    quint16 crc = 0xFFFF;
    for (const char c : data) {
        crc ^= static_cast<quint8>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ 0xA001) : static_cast<quint16>(crc >> 1);
    }
    return crc;
}

QByteArray withCrc(QByteArray frame)
{
    const quint16 crc = crc16Modbus(frame);
    frame.append(static_cast<char>(crc & 0xFF));
    frame.append(static_cast<char>(crc >> 8));
    return frame;
}

bool hasValidCrc(const QByteArray &frame)
{
    if (frame.size() < 3)
        return false;
    const int body = frame.size() - 2;
    const quint16 crc = crc16Modbus(frame.left(body));
    return static_cast<quint8>(frame[body]) == (crc & 0xFF)
        && static_cast<quint8>(frame[body + 1]) == (crc >> 8);
}

} // namespace modbusframe
