#pragma once

#include "calibrationsettings.h"

#include <QDate>
#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QVector>

#include <limits>

// What a calibration pass is compared with: a listed device marked 参考表,
// or values the operator types at each point (a dead-weight tester, a
// calibrator with no output), and what its own certificate says of it.
struct ReferenceInstrument
{
    // The listed device read as the reference; 0 when the operator types it.
    int address = 0;
    // The unit a typed reference is given in; a reference device's own unit.
    QString unit;
    QString name;
    QString serialNumber;
    QString certificate;
    QDate validUntil;
    // ± accuracy in accuracyUnit.
    double accuracy = 0.0;
    QString accuracyUnit;

    bool isTyped() const { return address == 0; }
};

// One device at one point of a pass, as the table, the calibration file and
// the certificate show it. Values are in the device's unit unless named.
struct PointOutcome
{
    QDateTime time;
    int address = 0;
    QString serialNumber;
    // 1 for the pass's first point.
    int pointIndex = 0;
    double nominalPercent = 0.0;
    // rangeLow + nominalPercent × span ÷ 100.
    double nominal = 0.0;
    bool rising = true;
    // The reference's mean over the averaging time.
    double reference = 0.0;
    // The device had at least half its expected readings: the numbers below
    // mean something, and a point without a value fails.
    bool hasValue = false;
    // The mean of the device's answered readings over the averaging time.
    double indication = std::numeric_limits<double>::quiet_NaN();
    QString unit;
    // indication − reference.
    double error = std::numeric_limits<double>::quiet_NaN();
    // error ÷ span × 100.
    double errorPercentFs = std::numeric_limits<double>::quiet_NaN();
    // accuracy × span ÷ 100.
    double permittedError = 0.0;
    // k = 2: the reference's accuracy as a rectangular distribution and the
    // standard deviations of both means.
    double expandedUncertainty = std::numeric_limits<double>::quiet_NaN();
    // Of the device's readings over the averaging time.
    double standardDeviation = std::numeric_limits<double>::quiet_NaN();
    int count = 0;
    // The reference and the device were both steady.
    bool steady = false;
    bool passed = false;
    // The mean of the device's temperature readings, °C; NaN when none.
    double temperature = std::numeric_limits<double>::quiet_NaN();
};

// One device's calibration as its certificate shows it.
struct DeviceCalibration
{
    int address = 0;
    QString unit;
    int decimals = 0;
    QString mapName;
    CalibrationSettings settings;
    QVector<PointOutcome> points;
    // The largest |error| and its share of span; NaN without any value.
    double maxError = std::numeric_limits<double>::quiet_NaN();
    double maxErrorPercentFs = std::numeric_limits<double>::quiet_NaN();
    // The largest |rising − falling| error at one nominal point, % of span;
    // NaN when no nominal point was taken both ways.
    double hysteresisPercentFs = std::numeric_limits<double>::quiet_NaN();
    // The reference's accuracy in the device's unit.
    double referenceAccuracy = 0.0;
    // permitted error ÷ reference accuracy; a warning below 4.
    double testUncertaintyRatio = std::numeric_limits<double>::quiet_NaN();
    // The mean of the device's temperature readings over the pass; NaN when none.
    double meanTemperature = std::numeric_limits<double>::quiet_NaN();
    // Every point has a value and every |error| ≤ permitted error.
    bool passed = false;
};

// A finished pass: what every certificate of it shares, and its devices.
struct CalibrationResult
{
    QString station;
    QString line;
    QString operatorName;
    // NaN when not typed.
    double ambientTemperature = std::numeric_limits<double>::quiet_NaN();
    double ambientHumidity = std::numeric_limits<double>::quiet_NaN();
    QDateTime start;
    QDateTime end;
    int averagingMs = 0;
    // In % of span, as the operator listed them.
    QVector<double> nominalPercents;
    ReferenceInstrument reference;
    // In list order; the reference device never among them.
    QVector<DeviceCalibration> devices;
};

Q_DECLARE_METATYPE(PointOutcome)
Q_DECLARE_METATYPE(CalibrationResult)
