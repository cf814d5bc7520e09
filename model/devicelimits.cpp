#include "devicelimits.h"

#include <QCoreApplication>
#include <QJsonValue>
#include <QLocale>

#include <cmath>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Limits", text);
}

struct Field
{
    const char *key;
    const char *label;
};

constexpr Field PressureLow{"pressureLow", "压力下限"};
constexpr Field PressureHigh{"pressureHigh", "压力上限"};
constexpr Field PressureDeadband{"pressureDeadband", "压力回差"};
constexpr Field TemperatureLow{"temperatureLow", "温度下限"};
constexpr Field TemperatureHigh{"temperatureHigh", "温度上限"};
constexpr Field TemperatureDeadband{"temperatureDeadband", "温度回差"};

QString number(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString named(const Field &field)
{
    return QStringLiteral("%1 (%2)").arg(tr(field.label), QLatin1String(field.key));
}

QString bandProblem(const std::optional<double> &low, const std::optional<double> &high, double deadband,
                    const Field &lowField, const Field &highField, const Field &deadbandField)
{
    const auto finite = [](const std::optional<double> &value) { return !value || std::isfinite(*value); };
    if (!finite(low))
        return tr("%1 应为数").arg(named(lowField));
    if (!finite(high))
        return tr("%1 应为数").arg(named(highField));
    if (!std::isfinite(deadband))
        return tr("%1 应为数").arg(named(deadbandField));
    if (low && high && !(*low < *high))
        return tr("%1 %2 应低于%3 %4").arg(named(lowField), number(*low), named(highField), number(*high));
    if (deadband < 0)
        return tr("%1 %2 不能为负").arg(named(deadbandField), number(deadband));
    if (low && high && !(deadband < *high - *low))
        return tr("%1 %2 应小于上下限之差 %3").arg(named(deadbandField), number(deadband), number(*high - *low));
    return QString();
}

// Reads one optional number; a present value that is no number is the error.
std::optional<double> read(const QJsonObject &object, const Field &field, QString *error)
{
    const QJsonValue value = object.value(QLatin1String(field.key));
    if (value.isUndefined())
        return std::nullopt;
    if (!value.isDouble()) {
        if (error->isEmpty())
            *error = tr("%1 应为数").arg(named(field));
        return std::nullopt;
    }
    return value.toDouble();
}

void put(QJsonObject *object, const Field &field, const std::optional<double> &value)
{
    if (value)
        object->insert(QLatin1String(field.key), *value);
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
    put(&object, PressureLow, limits.pressureLow);
    put(&object, PressureHigh, limits.pressureHigh);
    if (limits.pressureDeadband != 0.0)
        object.insert(QLatin1String(PressureDeadband.key), limits.pressureDeadband);
    put(&object, TemperatureLow, limits.temperatureLow);
    put(&object, TemperatureHigh, limits.temperatureHigh);
    if (limits.temperatureDeadband != 0.0)
        object.insert(QLatin1String(TemperatureDeadband.key), limits.temperatureDeadband);
    return object;
}
