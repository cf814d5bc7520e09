#include "units.h"

namespace {

struct UnitFactor {
    const char *unit;
    double perPascal;
};

const UnitFactor unitFactors[] = {
    {"KPa", 0.001},
    {"MPa", 0.000001},
    {"psi", 0.0001450377},
    {"Bar", 0.00001},
    {"mBar", 0.01},
    {"Kgf/cm2", 0.00001019716},
    {"mmH2O", 0.1021553},
};

} // namespace

float convertPressure(float pascals, const QString &unit)
{
    for (const UnitFactor &factor : unitFactors) {
        if (unit == QLatin1String(factor.unit))
            return float(pascals * factor.perPascal);
    }
    return pascals;
}

std::optional<double> unitsPerPascal(const QString &unit)
{
    if (unit == QLatin1String("Pa"))
        return 1.0;
    for (const UnitFactor &factor : unitFactors) {
        if (unit == QLatin1String(factor.unit))
            return factor.perPascal;
    }
    return std::nullopt;
}
