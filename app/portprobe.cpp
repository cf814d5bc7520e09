#include "portprobe.h"

#include <QSerialPort>
#include <QSerialPortInfo>

QStringList openablePortNames()
{
    QStringList names;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports) {
        QSerialPort port;
        port.setPort(info);
        if (port.open(QIODevice::ReadWrite)) {
            names.append(port.portName());
            port.close();
        }
    }
    return names;
}
