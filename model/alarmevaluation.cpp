#include "alarmevaluation.h"

#include <cmath>
#include <limits>

namespace {

struct Check
{
    int kind;
    const std::optional<double> &limit;
    double deadband;
    double value;
    bool high;
};

void apply(const Check &check, AlarmEvaluation *result)
{
    const bool wasActive = result->active & check.kind;
    if (!check.limit) {
        if (wasActive) {
            result->active &= ~check.kind;
            result->events.append({check.kind, false, check.value, std::numeric_limits<double>::quiet_NaN()});
        }
        return;
    }
    // A value that is no reading is held against no limit: the alarm stays as it is.
    if (!std::isfinite(check.value))
        return;
    const double limit = *check.limit;
    const bool beyond = check.high ? check.value > limit : check.value < limit;
    const bool backInside
        = check.high ? check.value < limit - check.deadband : check.value > limit + check.deadband;
    if (!wasActive && beyond) {
        result->active |= check.kind;
        result->events.append({check.kind, true, check.value, limit});
    } else if (wasActive && backInside) {
        result->active &= ~check.kind;
        result->events.append({check.kind, false, check.value, limit});
    }
}

} // namespace

AlarmEvaluation evaluateLimits(const Limits &limits, int active, double pressure, double temperature)
{
    AlarmEvaluation result;
    result.active = active;
    apply({PressureHighAlarm, limits.pressureHigh, limits.pressureDeadband, pressure, true}, &result);
    apply({PressureLowAlarm, limits.pressureLow, limits.pressureDeadband, pressure, false}, &result);
    apply({TemperatureHighAlarm, limits.temperatureHigh, limits.temperatureDeadband, temperature, true}, &result);
    apply({TemperatureLowAlarm, limits.temperatureLow, limits.temperatureDeadband, temperature, false}, &result);
    return result;
}

bool isPressureAlarm(int kind)
{
    return kind == PressureHighAlarm || kind == PressureLowAlarm;
}

QStringList alarmKeys(int active)
{
    QStringList keys;
    if (active & PressureHighAlarm)
        keys << QStringLiteral("pressureHigh");
    if (active & PressureLowAlarm)
        keys << QStringLiteral("pressureLow");
    if (active & TemperatureHighAlarm)
        keys << QStringLiteral("temperatureHigh");
    if (active & TemperatureLowAlarm)
        keys << QStringLiteral("temperatureLow");
    return keys;
}
