#pragma once

#include <QString>

// The pascal value in `unit`, one of the texts of the unit list. "Pa" and any
// text that is not a known unit leave the value in pascals.
float convertPressure(float pascals, const QString &unit);
