#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>

#include <cmath>

// One stored poll outcome, announced after the device's row was updated:
// what consumers (trends, publishing, limits) take instead of the tile's texts.
struct Reading
{
    int address = 0;
    // When the answer, or the time-out, came.
    QDateTime time;
    bool answered = false;
    // The poll was made while the line was lost, or lost the line: no word
    // about the transmitter.
    bool lineLost = false;
    // The numbers decoded from the registers, at full precision; meaningful
    // only when answered. NaN for a value that is no reading (an invalid
    // pressure or temperature), quantity by quantity.
    double pressurePa = 0.0;
    double pressure = 0.0; // in `unit`
    double temperature = 0.0; // °C
    QString unit;
    int decimals = 0;
    // The device's status and counters after this poll.
    int status = 0;
    quint32 failCount = 0;
    quint32 totalCount = 0;

    bool hasPressure() const { return answered && std::isfinite(pressure); }
    bool hasTemperature() const { return answered && std::isfinite(temperature); }
};
Q_DECLARE_METATYPE(Reading)
