#pragma once

#include "result.h"

#include <QJsonObject>
#include <QMetaType>
#include <QString>

#include <optional>

// What a device is and how good it is meant to be, for its calibration:
// identity texts, its rated range in the device's unit and its accuracy
// class in % of span. Each optional; a device takes part in a calibration
// pass only with a range and a class.
struct CalibrationSettings
{
    QString serialNumber;
    QString model;
    QString tag;
    std::optional<double> rangeLow;
    std::optional<double> rangeHigh;
    // In % of span, for example 0.1, 0.25, 0.5, 1.0.
    std::optional<double> accuracy;

    bool isEmpty() const;
    // A range and a class: the device can be judged.
    bool isComplete() const;
    // rangeHigh − rangeLow; only for a complete set.
    double span() const;
    // accuracy × span ÷ 100, in the device's unit; only for a complete set.
    double permittedError() const;
};

bool operator==(const CalibrationSettings &a, const CalibrationSettings &b);
bool operator!=(const CalibrationSettings &a, const CalibrationSettings &b);

Q_DECLARE_METATYPE(CalibrationSettings)

// The first problem of a set of settings, empty when there is none: a range
// given by one end only, a low end not below the high one, a class given
// without a range or not above 0 and at most 100, a number not finite, or a
// text holding a comma or a line break (the calibration file's fields are
// written as they are).
QString calibrationProblem(const CalibrationSettings &settings);

// The calibration object of a device-list file: any subset of its six
// fields. A refusal names the problem and the field it is in.
Result<CalibrationSettings> calibrationFromJson(const QJsonObject &object);
QJsonObject calibrationToJson(const CalibrationSettings &settings);
