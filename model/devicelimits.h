#pragma once

#include "result.h"

#include <QJsonObject>
#include <QMetaType>
#include <QString>

#include <optional>

// A device's band: each limit optional, pressure in the device's unit and
// temperature in °C. A dead band keeps an alarm raised until the value is
// that far back inside its limit.
struct Limits
{
    std::optional<double> pressureLow;
    std::optional<double> pressureHigh;
    double pressureDeadband = 0.0;
    std::optional<double> temperatureLow;
    std::optional<double> temperatureHigh;
    double temperatureDeadband = 0.0;

    bool isEmpty() const;
};

bool operator==(const Limits &a, const Limits &b);
bool operator!=(const Limits &a, const Limits &b);

Q_DECLARE_METATYPE(Limits)

// The first problem of a set of limits, empty when there is none: a low
// limit not below its high one, a negative dead band, or one not smaller than
// the band when both limits are given.
QString limitsProblem(const Limits &limits);

// The limits object of a device-list file: any subset of its six numbers. A
// refusal names the problem and the field it is in.
Result<Limits> limitsFromJson(const QJsonObject &object);
QJsonObject limitsToJson(const Limits &limits);
