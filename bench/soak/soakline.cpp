#include "soakline.h"

QList<SoakDevice> soakDevices(int count)
{
    QList<SoakDevice> devices;
    for (int i = 0; i < count; ++i) {
        SoakDevice device;
        device.address = i + 1;
        device.recordPeriod = 1 + i % 5;
        // Whole kilopascals and half degrees: exact in single precision, so
        // the window's text is known without rounding doubts.
        device.pascals = (100 + 5 * i) * 1000;
        device.celsius = 20.0 + 0.5 * i;
        device.pressureText = QString::number(device.pascals / 1000) + QStringLiteral(".000");
        device.temperatureText = QString::number(device.celsius, 'f', 1);
        devices << device;
    }
    return devices;
}

QString soakFaultMix()
{
    return QStringLiteral("fault=silent:0.10,fault=crc:0.02,fault=exception:0.02,fault=foreign:0.01,"
                          "fault=truncated:0.01");
}

QStringList simulatorArguments(const QList<SoakDevice> &devices, quint32 seed, const QString &link)
{
    QStringList arguments{"--baud", "9600", "--seed", QString::number(seed), "--link", link, "--replug-after", "3600000"};
    for (const SoakDevice &device : devices) {
        arguments << "--slave"
                  << QStringLiteral("%1,pressure=%2,temp=%3,%4")
                         .arg(device.address)
                         .arg(device.pascals)
                         .arg(device.celsius, 0, 'f', 1)
                         .arg(soakFaultMix());
    }
    return arguments;
}
