#pragma once

#include "calibrationresult.h"

#include <QVector>

#include <limits>

// The numbers of a calibration, free of readings and windows: what a point
// and a device's sums are worked out from.

// The mean and the sample standard deviation (n − 1) of a set of values.
struct SampleStatistics
{
    double mean = std::numeric_limits<double>::quiet_NaN();
    // 0 for fewer than two values.
    double standardDeviation = std::numeric_limits<double>::quiet_NaN();
    int count = 0;
};

SampleStatistics sampleStatistics(const QVector<double> &values);

// k = 2 from the reference's accuracy `accuracy` taken as a rectangular
// distribution and the standard deviations of the reference's and the
// device's means; a count of 0 adds nothing (a typed reference).
double expandedUncertainty(double accuracy, const SampleStatistics &reference, const SampleStatistics &device);

// Fills in the error, its share of span, the permitted error, the expanded
// uncertainty and the verdict of `point`, whose reference and, when it has a
// value, indication are set. `reference` and `referenceAccuracy` are in the
// device's unit.
PointOutcome judgedPoint(PointOutcome point, const CalibrationSettings &settings, double referenceAccuracy,
                         const SampleStatistics &reference, const SampleStatistics &device);

// The sums of `device` from its points, settings and reference accuracy:
// the largest error, the hysteresis, the test uncertainty ratio, the mean
// temperature and the verdict.
DeviceCalibration summedUp(DeviceCalibration device);
