#include "devicelimits.h"

#include "namedfield.h"

#include <QCoreApplication>

#include <cmath>

namespace {

constexpr char Context[] = "Limits";

QString tr(const char *text)
{
    return QCoreApplication::translate(Context, text);
}

constexpr NamedField PressureLow{"pressureLow", "压力下限"};
constexpr NamedField PressureHigh{"pressureHigh", "压力上限"};
constexpr NamedField PressureDeadband{"pressureDeadband", "压力回差"};
constexpr NamedField TemperatureLow{"temperatureLow", "温度下限"};
constexpr NamedField TemperatureHigh{"temperatureHigh", "温度上限"};
constexpr NamedField TemperatureDeadband{"temperatureDeadband", "温度回差"};

QString named(const NamedField &field)
{
    return fieldName(Context, field);
}

QString bandProblem(const std::optional<double> &low, const std::optional<double> &high, double deadband,
                    const NamedField &lowField, const NamedField &highField, const NamedField &deadbandField)
{
    const auto finite = [](const std::optional<double> &value) { return !value || std::isfinite(*value); };
    if (!finite(low))
        return tr("%1 应为数").arg(named(lowField));
    if (!finite(high))
        return tr("%1 应为数").arg(named(highField));
    if (!std::isfinite(deadband))
        return tr("%1 应为数").arg(named(deadbandField));
    if (low && high && !(*low < *high))
        return tr("%1 %2 应低于%3 %4").arg(named(lowField), shortestNumber(*low), named(highField), shortestNumber(*high));
    if (deadband < 0)
        return tr("%1 %2 不能为负").arg(named(deadbandField), shortestNumber(deadband));
    if (low && high && !(deadband < *high - *low))
        return tr("%1 %2 应小于上下限之差 %3")
            .arg(named(deadbandField), shortestNumber(deadband), shortestNumber(*high - *low));
    return QString();
}

std::optional<double> read(const QJsonObject &object, const NamedField &field, QString *error)
{
    return optionalNumber(object, Context, field, error);
}

} // namespace

bool Limits::isEmpty() const
{
    return !pressureLow && !pressureHigh && !temperatureLow && !temperatureHigh;
}

bool operator==(const Limits &a, const Limits &b)
{
    return a.pressureLow == b.pressureLow && a.pressureHigh == b.pressureHigh
           && a.pressureDeadband == b.pressureDeadband && a.temperatureLow == b.temperatureLow
           && a.temperatureHigh == b.temperatureHigh && a.temperatureDeadband == b.temperatureDeadband;
}

bool operator!=(const Limits &a, const Limits &b)
{
    return !(a == b);
}

QString limitsProblem(const Limits &limits)
{
    QString pressure = bandProblem(limits.pressureLow, limits.pressureHigh, limits.pressureDeadband,
                                         PressureLow, PressureHigh, PressureDeadband);
    if (!pressure.isEmpty())
        return pressure;
    return bandProblem(limits.temperatureLow, limits.temperatureHigh, limits.temperatureDeadband,
                       TemperatureLow, TemperatureHigh, TemperatureDeadband);
}

Result<Limits> limitsFromJson(const QJsonObject &object)
{
    QString error;
    Limits limits;
    limits.pressureLow = read(object, PressureLow, &error);
    limits.pressureHigh = read(object, PressureHigh, &error);
    limits.pressureDeadband = read(object, PressureDeadband, &error).value_or(0.0);
    limits.temperatureLow = read(object, TemperatureLow, &error);
    limits.temperatureHigh = read(object, TemperatureHigh, &error);
    limits.temperatureDeadband = read(object, TemperatureDeadband, &error).value_or(0.0);
    if (error.isEmpty())
        error = limitsProblem(limits);
    if (!error.isEmpty())
        return Failure{error};
    return limits;
}

QJsonObject limitsToJson(const Limits &limits)
{
    QJsonObject object;
    putNumber(&object, PressureLow, limits.pressureLow);
    putNumber(&object, PressureHigh, limits.pressureHigh);
    if (limits.pressureDeadband != 0.0)
        object.insert(QLatin1String(PressureDeadband.key), limits.pressureDeadband);
    putNumber(&object, TemperatureLow, limits.temperatureLow);
    putNumber(&object, TemperatureHigh, limits.temperatureHigh);
    if (limits.temperatureDeadband != 0.0)
        object.insert(QLatin1String(TemperatureDeadband.key), limits.temperatureDeadband);
    return object;
}
