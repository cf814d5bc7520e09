#pragma once

#include <QString>

#include <optional>

// The pascal value in `unit`, one of the texts of the unit list. "Pa" and any
// text that is not a known unit leave the value in pascals.
float convertPressure(float pascals, const QString &unit);

// How many of `unit` make one pascal, as convertPressure() applies it: 1 for
// "Pa", nothing for a text that is not a known unit.
std::optional<double> unitsPerPascal(const QString &unit);
