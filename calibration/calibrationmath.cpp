#include "calibrationmath.h"

#include <QMap>

#include <cmath>
#include <utility>

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// The variance of a mean from `statistics`: s² ÷ n, nothing without values.
double varianceOfMean(const SampleStatistics &statistics)
{
    if (statistics.count <= 0 || !std::isfinite(statistics.standardDeviation))
        return 0.0;
    return statistics.standardDeviation * statistics.standardDeviation / statistics.count;
}

} // namespace

SampleStatistics sampleStatistics(const QVector<double> &values)
{
    SampleStatistics statistics;
    statistics.count = values.size();
    if (values.isEmpty())
        return statistics;
    double sum = 0.0;
    for (const double value : values)
        sum += value;
    statistics.mean = sum / values.size();
    if (values.size() < 2) {
        statistics.standardDeviation = 0.0;
        return statistics;
    }
    double squares = 0.0;
    for (const double value : values)
        squares += (value - statistics.mean) * (value - statistics.mean);
    statistics.standardDeviation = std::sqrt(squares / (values.size() - 1));
    return statistics;
}

double expandedUncertainty(double accuracy, const SampleStatistics &reference, const SampleStatistics &device)
{
    const double rectangular = accuracy / std::sqrt(3.0);
    return 2.0 * std::sqrt(rectangular * rectangular + varianceOfMean(reference) + varianceOfMean(device));
}

PointOutcome judgedPoint(PointOutcome point, const CalibrationSettings &settings, double referenceAccuracy,
                         const SampleStatistics &reference, const SampleStatistics &device)
{
    point.permittedError = settings.permittedError();
    if (!point.hasValue) {
        point.error = NaN;
        point.errorPercentFs = NaN;
        point.expandedUncertainty = NaN;
        point.passed = false;
        return point;
    }
    point.error = point.indication - point.reference;
    point.errorPercentFs = point.error / settings.span() * 100.0;
    point.expandedUncertainty = expandedUncertainty(referenceAccuracy, reference, device);
    point.passed = std::abs(point.error) <= point.permittedError;
    return point;
}

DeviceCalibration summedUp(DeviceCalibration device)
{
    device.maxError = NaN;
    device.maxErrorPercentFs = NaN;
    device.hysteresisPercentFs = NaN;
    device.meanTemperature = NaN;
    device.passed = !device.points.isEmpty();

    // Per nominal point, the last error taken on the way up and on the way down.
    QMap<double, std::pair<double, double>> bothWays;
    double temperatureSum = 0.0;
    int temperatures = 0;
    for (const PointOutcome &point : qAsConst(device.points)) {
        device.passed = device.passed && point.hasValue && point.passed;
        if (std::isfinite(point.temperature)) {
            temperatureSum += point.temperature;
            ++temperatures;
        }
        if (!point.hasValue)
            continue;
        if (!std::isfinite(device.maxError) || std::abs(point.error) > std::abs(device.maxError)) {
            device.maxError = point.error;
            device.maxErrorPercentFs = point.errorPercentFs;
        }
        auto found = bothWays.find(point.nominalPercent);
        if (found == bothWays.end())
            found = bothWays.insert(point.nominalPercent, {NaN, NaN});
        (point.rising ? found->first : found->second) = point.error;
    }
    if (temperatures > 0)
        device.meanTemperature = temperatureSum / temperatures;

    const double span = device.settings.isComplete() ? device.settings.span() : NaN;
    for (const auto &[rising, falling] : qAsConst(bothWays)) {
        if (!std::isfinite(rising) || !std::isfinite(falling))
            continue;
        const double hysteresis = std::abs(rising - falling) / span * 100.0;
        if (!std::isfinite(device.hysteresisPercentFs) || hysteresis > device.hysteresisPercentFs)
            device.hysteresisPercentFs = hysteresis;
    }

    if (device.settings.isComplete() && device.referenceAccuracy > 0.0)
        device.testUncertaintyRatio = device.settings.permittedError() / device.referenceAccuracy;
    else
        device.testUncertaintyRatio = NaN;
    return device;
}
