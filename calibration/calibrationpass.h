#pragma once

#include "calibrationmath.h"
#include "calibrationresult.h"
#include "reading.h"
#include "result.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QVector>

#include <deque>
#include <limits>
#include <optional>

class QStandardItemModel;

// How a pass is made, as the operator sets it in the calibration window.
struct CalibrationSetup
{
    // In % of span; the pass goes up through them and back down.
    QVector<double> nominalPercents{0, 25, 50, 75, 100};
    int averagingMs = 10000;
    // The reference is steady when its standard deviation over the averaging
    // time is at most this, in pascals; NaN: a tenth of the smallest
    // permitted error of the devices taking part.
    double steadyThresholdPa = std::numeric_limits<double>::quiet_NaN();
    ReferenceInstrument reference;
    QString operatorName;
    double ambientTemperature = std::numeric_limits<double>::quiet_NaN();
    double ambientHumidity = std::numeric_limits<double>::quiet_NaN();
};

// The reference device over the averaging time, as the window shows it live.
struct LiveReference
{
    bool known = false;
    double meanPa = std::numeric_limits<double>::quiet_NaN();
    double standardDeviationPa = std::numeric_limits<double>::quiet_NaN();
    int count = 0;
    bool steady = false;
};

// A calibration pass over the whole bench, on the window's thread: it keeps
// the readings of the last averaging time as they are announced, and a
// point is made from those taken before the click, never from tiles' texts.
// The devices taking part are those listed with a range and a class at
// begin(), the reference device excepted.
class CalibrationPass : public QObject
{
    Q_OBJECT

public:
    // The longest averaging time.
    static constexpr int MaxAveragingMs = 600000;

    explicit CalibrationPass(QStandardItemModel *devices, QObject *parent = nullptr);

    // Wired to every reading the poll cycle announces, during a pass or not.
    void take(const Reading &reading);

    // Starts a pass; refused with the reason when no device can be judged,
    // or the reference device is not listed.
    Result<bool> begin(const CalibrationSetup &setup, const QDateTime &start);
    bool isRunning() const { return m_running; }
    const CalibrationSetup &setup() const { return m_setup; }
    // For the points still to come, and what is kept from now on: a longer
    // time than before has its first points made of fewer readings.
    void setAveragingMs(int milliseconds);
    void setSteadyThresholdPa(double pascals);
    // The threshold in force, the default worked out.
    double steadyThresholdPa() const;
    // The addresses taking part, in list order.
    QVector<int> devices() const;
    // The decimals of each device taking part as they were at begin(), for
    // the values written of it.
    QHash<int, int> deviceDecimals() const;

    LiveReference liveReference(const QDateTime &now) const;

    // The next nominal point the operator is expected to set, in % of span,
    // and whether it is on the way up.
    double expectedPercent() const;
    bool expectedRising() const;

    // A point from the averaging time before `clicked`, one outcome per
    // device in list order; `typed` is the reference's value in its unit
    // when the operator types it. Refused with the reason when the
    // reference has no value.
    Result<QVector<PointOutcome>> takePoint(const QDateTime &clicked, std::optional<double> typed = {});
    // Takes the last point back and returns its outcomes; empty when none.
    QVector<PointOutcome> undoPoint();
    const QVector<PointOutcome> &outcomes() const { return m_outcomes; }
    int pointCount() const;

    // Ends the pass and sums up every device taking part.
    CalibrationResult finish(const QDateTime &end);

signals:
    void pointTaken(const QVector<PointOutcome> &outcomes);
    void pointUndone(const QVector<PointOutcome> &outcomes);

private:
    // A device taking part, as it was listed at begin().
    struct Participant
    {
        int address = 0;
        QString unit;
        int decimals = 0;
        QString mapName;
        CalibrationSettings settings;
    };

    // The readings of `address` in (end − averaging time, end].
    QVector<Reading> inWindow(int address, const QDateTime &end) const;
    // The reference device's values in pascals in the same window.
    QVector<double> referencePascals(const QDateTime &end) const;
    // The reference's accuracy in `unit`.
    double referenceAccuracyIn(const QString &unit) const;
    // One device's outcome against the reference's `reference`, given in `referenceUnit`.
    PointOutcome outcomeOf(const Participant &device, const QDateTime &clicked, const SampleStatistics &reference,
                           const QString &referenceUnit, bool referenceSteady) const;
    // The percents of the whole pass in order, up and back down.
    QVector<double> expectedSequence() const;

    QStandardItemModel *const m_devices;
    CalibrationSetup m_setup;
    QDateTime m_start;
    bool m_running = false;
    QVector<Participant> m_taking;
    // Per address, the readings of the last averaging time, oldest first:
    // a long unattended run keeps no more than a point needs.
    QHash<int, std::deque<Reading>> m_recent;
    QVector<PointOutcome> m_outcomes;
};
