#pragma once

#include <QByteArray>

// What opening the line takes: the device as the file system names it and
// the framing, exactly as handed to libmodbus.
struct LineSettings
{
    QByteArray device;
    int baud = 9600;
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1;
};
