#pragma once

#include <QString>
#include <QStringList>

// A pressure unit: its name as tiles, files and the window write it, and how
// many of it make one pascal.
struct PressureUnit
{
    const char *name;
    double perPascal;
    // The window offers it, and a device-list file may name it.
    bool offered;
};

// The unit named `name` exactly; nullptr for a name that is no unit.
const PressureUnit *findPressureUnit(const QString &name);

// The units the window offers, in the order it lists them.
QStringList offeredPressureUnits();

// Every unit of the table: those the window offers, then those only register
// maps name.
QStringList pressureUnitNames();

// The pascal value in `unit`. A name that is no unit gives NaN, no reading:
// never a number in pascals shown under another unit's name.
float convertPressure(float pascals, const QString &unit);

// `value` given in `from`, in `to`, through pascals at full precision. A name
// that is no unit gives NaN.
double convertPressure(double value, const QString &from, const QString &to);
