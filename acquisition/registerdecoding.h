#pragma once

#include "registermap.h"

#include <QString>
#include <QVector>

#include <limits>

// The registers one poll read with a map: its ranges as registerRanges()
// gives them, and their values one range after another.
struct MapRegisters
{
    QVector<RegisterRange> ranges;
    QVector<quint16> values;

    // The value of `address`, or -1 when none of the ranges holds it.
    int at(int address) const;
};

// The numbers one answer carries, decoded once for everything downstream.
// NaN stands for a quantity that is no reading: a NaN or infinite float, a
// raw value the map marks as "no value", a pressure beyond single precision
// or a temperature below absolute zero.
struct DecodedValues
{
    // Why the answer as a whole is no reading, which makes it a failed poll:
    // a decimals register beyond 0–4, a unit code the map does not know.
    // Empty when it is a reading.
    QString failure;
    float pressurePa = std::numeric_limits<float>::quiet_NaN();
    // Whether the map has a temperature at all.
    bool hasTemperature = false;
    float temperature = std::numeric_limits<float>::quiet_NaN(); // °C

    bool failed() const { return !failure.isEmpty(); }
};

// In single precision, as the tiles, rows and payloads have always carried
// them; with the built-in map the very numbers its layout always gave.
DecodedValues decodeRegisters(const RegisterMap &map, const MapRegisters &registers);
