#include "units.h"

#include <limits>

namespace {

const PressureUnit pressureUnits[] = {
    {"KPa", 0.001, true},
    {"MPa", 0.000001, true},
    {"psi", 0.0001450377, true},
    {"Bar", 0.00001, true},
    {"mBar", 0.01, true},
    {"Kgf/cm2", 0.00001019716, true},
    {"mmH2O", 0.1021553, true},
    {"Pa", 1.0, true},
    // Units some transmitters report in; register maps may name them.
    {"hPa", 0.01, false},
    {"mH2O", 0.0001021553, false},
};

} // namespace

const PressureUnit *findPressureUnit(const QString &name)
{
    for (const PressureUnit &unit : pressureUnits) {
        if (name == QLatin1String(unit.name))
            return &unit;
    }
    return nullptr;
}

QStringList pressureUnitNames()
{
    QStringList names = offeredPressureUnits();
    for (const PressureUnit &unit : pressureUnits) {
        if (!unit.offered)
            names << QLatin1String(unit.name);
    }
    return names;
}

QStringList offeredPressureUnits()
{
    QStringList names;
    for (const PressureUnit &unit : pressureUnits) {
        if (unit.offered)
            names << QLatin1String(unit.name);
    }
    return names;
}

float convertPressure(float pascals, const QString &unit)
{
    const PressureUnit *const found = findPressureUnit(unit);
    if (!found)
        return std::numeric_limits<float>::quiet_NaN();
    return float(pascals * found->perPascal);
}

double convertPressure(double value, const QString &from, const QString &to)
{
    const PressureUnit *const source = findPressureUnit(from);
    const PressureUnit *const target = findPressureUnit(to);
    if (!source || !target)
        return std::numeric_limits<double>::quiet_NaN();
    return value * target->perPascal / source->perPascal;
}
