#include "calibrationpass.h"

#include "devicerecords.h"
#include "units.h"

#include <QStandardItemModel>

#include <algorithm>
#include <cmath>

namespace {

const QString Pascal = QStringLiteral("Pa");
constexpr int KeptBeyondAveragingMs = 1000;

} // namespace

CalibrationPass::CalibrationPass(QStandardItemModel *devices, QObject *parent)
    : QObject(parent)
    , m_devices(devices)
{
    setObjectName(QStringLiteral("calibrationPass"));
}

void CalibrationPass::take(const Reading &reading)
{
    std::deque<Reading> &kept = m_recent[reading.address];
    kept.push_back(reading);
    // A point's averaging time ends at its click, which readings stamped a
    // little later may reach the window's thread before: a second to spare.
    const QDateTime outside = reading.time.addMSecs(-m_setup.averagingMs - KeptBeyondAveragingMs);
    while (!kept.empty() && kept.front().time <= outside)
        kept.pop_front();
}

Result<bool> CalibrationPass::begin(const CalibrationSetup &setup, const QDateTime &start)
{
    CalibrationSetup chosen = setup;
    chosen.averagingMs = std::clamp(setup.averagingMs, 1, MaxAveragingMs);
    bool referenceListed = false;
    QVector<Participant> taking;
    for (int row = 0; row < m_devices->rowCount(); ++row) {
        const ItemData record = readRecord(m_devices, row);
        if (!chosen.reference.isTyped() && record.address == chosen.reference.address) {
            referenceListed = true;
            chosen.reference.unit = record.unit;
            continue;
        }
        const auto settings = qvariant_cast<CalibrationSettings>(m_devices->index(row, 0).data(CalibrationRole));
        if (settings.isComplete())
            taking.append({record.address, record.unit, record.decimals, record.map.name, settings});
    }
    if (!chosen.reference.isTyped() && !referenceListed)
        return Failure{tr("参考表（地址 %1）不在设备列表中").arg(chosen.reference.address)};
    if (taking.isEmpty())
        return Failure{tr("没有可校准的设备：请为被校设备填写量程和准确度等级")};
    if (chosen.nominalPercents.isEmpty())
        return Failure{tr("请给出至少一个名义点")};

    m_setup = chosen;
    m_start = start;
    m_taking = taking;
    m_outcomes.clear();
    m_running = true;
    return true;
}

void CalibrationPass::setAveragingMs(int milliseconds)
{
    m_setup.averagingMs = std::clamp(milliseconds, 1, MaxAveragingMs);
}

void CalibrationPass::setSteadyThresholdPa(double pascals)
{
    m_setup.steadyThresholdPa = pascals;
}

double CalibrationPass::steadyThresholdPa() const
{
    if (std::isfinite(m_setup.steadyThresholdPa))
        return m_setup.steadyThresholdPa;
    double smallest = std::numeric_limits<double>::quiet_NaN();
    for (const Participant &device : m_taking) {
        const double permittedPa = convertPressure(device.settings.permittedError(), device.unit, Pascal);
        if (!std::isfinite(smallest) || permittedPa < smallest)
            smallest = permittedPa;
    }
    return smallest / 10.0;
}

QVector<int> CalibrationPass::devices() const
{
    QVector<int> addresses;
    for (const Participant &device : m_taking)
        addresses.append(device.address);
    return addresses;
}

QHash<int, int> CalibrationPass::deviceDecimals() const
{
    QHash<int, int> decimals;
    for (const Participant &device : m_taking)
        decimals.insert(device.address, device.decimals);
    return decimals;
}

QVector<Reading> CalibrationPass::inWindow(int address, const QDateTime &end) const
{
    QVector<Reading> readings;
    const auto kept = m_recent.constFind(address);
    if (kept == m_recent.constEnd())
        return readings;
    const QDateTime after = end.addMSecs(-m_setup.averagingMs);
    for (const Reading &reading : *kept) {
        if (reading.time > after && reading.time <= end)
            readings.append(reading);
    }
    return readings;
}

QVector<double> CalibrationPass::referencePascals(const QDateTime &end) const
{
    QVector<double> pascals;
    for (const Reading &reading : inWindow(m_setup.reference.address, end)) {
        if (reading.answered && std::isfinite(reading.pressurePa))
            pascals.append(reading.pressurePa);
    }
    return pascals;
}

double CalibrationPass::referenceAccuracyIn(const QString &unit) const
{
    const ReferenceInstrument &reference = m_setup.reference;
    return convertPressure(reference.accuracy, reference.accuracyUnit.isEmpty() ? reference.unit : reference.accuracyUnit,
                           unit);
}

LiveReference CalibrationPass::liveReference(const QDateTime &now) const
{
    LiveReference live;
    if (m_setup.reference.isTyped())
        return live;
    const SampleStatistics statistics = sampleStatistics(referencePascals(now));
    live.known = statistics.count > 0;
    live.meanPa = statistics.mean;
    live.standardDeviationPa = statistics.standardDeviation;
    live.count = statistics.count;
    live.steady = live.known && statistics.standardDeviation <= steadyThresholdPa();
    return live;
}

QVector<double> CalibrationPass::expectedSequence() const
{
    QVector<double> up = m_setup.nominalPercents;
    std::sort(up.begin(), up.end());
    QVector<double> sequence = up;
    for (int i = up.size() - 2; i >= 0; --i)
        sequence.append(up.at(i));
    return sequence;
}

double CalibrationPass::expectedPercent() const
{
    const QVector<double> sequence = expectedSequence();
    if (sequence.isEmpty())
        return 0.0;
    return sequence.at(std::min(pointCount(), int(sequence.size()) - 1));
}

bool CalibrationPass::expectedRising() const
{
    // The top is the last point on the way up; past the end the pass is on its way down.
    return pointCount() < m_setup.nominalPercents.size();
}

int CalibrationPass::pointCount() const
{
    return m_outcomes.isEmpty() ? 0 : m_outcomes.constLast().pointIndex;
}

PointOutcome CalibrationPass::outcomeOf(const Participant &device, const QDateTime &clicked,
                                        const SampleStatistics &reference, const QString &referenceUnit,
                                        bool referenceSteady) const
{
    PointOutcome point;
    point.time = clicked;
    point.address = device.address;
    point.serialNumber = device.settings.serialNumber;
    point.unit = device.unit;

    SampleStatistics referenceHere = reference;
    referenceHere.mean = convertPressure(reference.mean, referenceUnit, device.unit);
    referenceHere.standardDeviation = convertPressure(reference.standardDeviation, referenceUnit, device.unit);
    point.reference = referenceHere.mean;

    const QVector<Reading> readings = inWindow(device.address, clicked);
    int answered = 0;
    QVector<double> pressures;
    QVector<double> temperatures;
    for (const Reading &reading : readings) {
        if (!reading.answered)
            continue;
        ++answered;
        if (reading.hasPressure())
            pressures.append(reading.unit.isEmpty() || reading.unit == device.unit
                                 ? reading.pressure
                                 : convertPressure(reading.pressure, reading.unit, device.unit));
        if (reading.hasTemperature())
            temperatures.append(reading.temperature);
    }
    const SampleStatistics indication = sampleStatistics(pressures);
    // A device silent for most of the averaging time says too little of the point.
    point.hasValue = !readings.isEmpty() && 2 * answered >= readings.size() && indication.count > 0;
    point.count = indication.count;
    if (point.hasValue) {
        point.indication = indication.mean;
        point.standardDeviation = indication.standardDeviation;
    }
    point.temperature = sampleStatistics(temperatures).mean;
    point.steady = referenceSteady && point.hasValue
                   && indication.standardDeviation <= convertPressure(steadyThresholdPa(), Pascal, device.unit);
    return judgedPoint(point, device.settings, referenceAccuracyIn(device.unit), referenceHere, indication);
}

Result<QVector<PointOutcome>> CalibrationPass::takePoint(const QDateTime &clicked, std::optional<double> typed)
{
    if (!m_running)
        return Failure{tr("校准尚未开始")};
    SampleStatistics reference;
    QString referenceUnit;
    bool referenceSteady = true;
    if (m_setup.reference.isTyped()) {
        if (!typed || !std::isfinite(*typed))
            return Failure{tr("请输入参考值")};
        if (!findPressureUnit(m_setup.reference.unit))
            return Failure{tr("参考值的单位 \"%1\" 不是压力单位").arg(m_setup.reference.unit)};
        // Typed: a value with no scatter of its own.
        reference.mean = *typed;
        reference.standardDeviation = 0.0;
        reference.count = 0;
        referenceUnit = m_setup.reference.unit;
    } else {
        reference = sampleStatistics(referencePascals(clicked));
        if (reference.count == 0)
            return Failure{tr("参考表在平均时间内没有读数")};
        referenceUnit = Pascal;
        referenceSteady = reference.standardDeviation <= steadyThresholdPa();
    }

    QVector<PointOutcome> point;
    double percentSum = 0.0;
    for (const Participant &device : m_taking) {
        point.append(outcomeOf(device, clicked, reference, referenceUnit, referenceSteady));
        percentSum += (point.constLast().reference - *device.settings.rangeLow) / device.settings.span() * 100.0;
    }
    // The listed point nearest to where the reference stands on the devices' ranges.
    const double percent = percentSum / m_taking.size();
    const double nominalPercent = *std::min_element(
        m_setup.nominalPercents.cbegin(), m_setup.nominalPercents.cend(),
        [percent](double a, double b) { return std::abs(a - percent) < std::abs(b - percent); });
    bool rising = true;
    if (!m_outcomes.isEmpty()) {
        const PointOutcome &previous = m_outcomes.constLast();
        rising = nominalPercent > previous.nominalPercent
                 || (nominalPercent == previous.nominalPercent && previous.rising);
    }
    const int pointIndex = pointCount() + 1;
    for (int i = 0; i < point.size(); ++i) {
        const CalibrationSettings &settings = m_taking.at(i).settings;
        point[i].pointIndex = pointIndex;
        point[i].nominalPercent = nominalPercent;
        point[i].nominal = *settings.rangeLow + nominalPercent * settings.span() / 100.0;
        point[i].rising = rising;
    }
    m_outcomes += point;
    emit pointTaken(point);
    return point;
}

QVector<PointOutcome> CalibrationPass::undoPoint()
{
    const int last = pointCount();
    if (last == 0)
        return {};
    const auto first = std::find_if(m_outcomes.cbegin(), m_outcomes.cend(),
                                    [last](const PointOutcome &outcome) { return outcome.pointIndex == last; });
    const int from = int(first - m_outcomes.cbegin());
    const QVector<PointOutcome> undone = m_outcomes.mid(from);
    m_outcomes.resize(from);
    emit pointUndone(undone);
    return undone;
}

CalibrationResult CalibrationPass::finish(const QDateTime &end)
{
    m_running = false;
    CalibrationResult result;
    result.operatorName = m_setup.operatorName;
    result.ambientTemperature = m_setup.ambientTemperature;
    result.ambientHumidity = m_setup.ambientHumidity;
    result.start = m_start;
    result.end = end;
    result.averagingMs = m_setup.averagingMs;
    result.nominalPercents = m_setup.nominalPercents;
    result.reference = m_setup.reference;
    for (const Participant &participant : qAsConst(m_taking)) {
        DeviceCalibration device;
        device.address = participant.address;
        device.unit = participant.unit;
        device.decimals = participant.decimals;
        device.mapName = participant.mapName;
        device.settings = participant.settings;
        for (const PointOutcome &point : qAsConst(m_outcomes)) {
            if (point.address == participant.address)
                device.points.append(point);
        }
        device.referenceAccuracy = referenceAccuracyIn(participant.unit);
        result.devices.append(summedUp(device));
    }
    return result;
}
