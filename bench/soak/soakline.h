#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One simulated transmitter of the soak line and what the window must show
// for it: its readings in KPa with 3 decimals, and nobody else's.
struct SoakDevice
{
    int address = 0;
    int recordPeriod = 1;
    int pascals = 0;
    double celsius = 0.0;
    QString pressureText;
    QString temperatureText;
};

constexpr int SoakDecimals = 3;

// Addresses 1..count with record periods 1 to 5 s cycled, each with its own
// pressure and temperature.
QList<SoakDevice> soakDevices(int count);

// The fault mix every device suffers, as velmora-sim slave spec items.
QString soakFaultMix();

// velmora-sim arguments serving `devices` with the fault mix at 9600 baud
// behind the link `link`. A pulled line stays pulled until a second SIGUSR1.
QStringList simulatorArguments(const QList<SoakDevice> &devices, quint32 seed, const QString &link);
