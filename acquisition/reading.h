#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>

// One stored poll outcome, announced after the device's row was updated:
// what consumers (trends, publishing, limits) take instead of the tile's texts.
struct Reading
{
    int address = 0;
    // When the answer, or the time-out, came.
    QDateTime time;
    bool answered = false;
    // The numbers decoded from the registers, at full precision; meaningful
    // only when answered.
    double pressurePa = 0.0;
    double pressure = 0.0; // in `unit`
    double temperature = 0.0; // °C
    QString unit;
    int decimals = 0;
    // The device's status and counters after this poll.
    int status = 0;
    quint32 failCount = 0;
    quint32 totalCount = 0;
};
Q_DECLARE_METATYPE(Reading)
