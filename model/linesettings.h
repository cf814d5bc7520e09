#pragma once

#include <QByteArray>

// What opening the line takes, exactly as handed to libmodbus: a serial
// device with its framing, or a host and port reached over TCP, spoken to in
// Modbus TCP or in RTU frames (through a serial-to-Ethernet converter).
struct LineSettings
{
    enum class Transport { Serial, Tcp, RtuOverTcp };
    Transport transport = Transport::Serial;

    QByteArray device;
    int baud = 9600;
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1;

    // A name or an address, IPv6 without its brackets; the port as text.
    QByteArray host;
    QByteArray port;
};
