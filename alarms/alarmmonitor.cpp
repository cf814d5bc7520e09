#include "alarmmonitor.h"

#include "pollcycle.h"
#include "reading.h"
#include "devicerecords.h"
#include "devicelimits.h"

#include <QStandardItemModel>

#include <algorithm>
#include <limits>

namespace {

constexpr int PressureAlarms = PressureHighAlarm | PressureLowAlarm;
constexpr int TemperatureAlarms = TemperatureHighAlarm | TemperatureLowAlarm;

std::optional<double> limitOf(const Limits &limits, int kind)
{
    switch (kind) {
    case PressureHighAlarm:
        return limits.pressureHigh;
    case PressureLowAlarm:
        return limits.pressureLow;
    case TemperatureHighAlarm:
        return limits.temperatureHigh;
    default:
        return limits.temperatureLow;
    }
}

// The changes from the alarms `shown` to `now`: the run's own event where it
// has one, else one made from the reading and the limit.
QVector<AlarmEvent> changes(int shown, int now, const AlarmEvaluation &result, const Limits &limits,
                            const Reading &reading)
{
    QVector<AlarmEvent> found;
    for (const int kind : {PressureHighAlarm, PressureLowAlarm, TemperatureHighAlarm, TemperatureLowAlarm}) {
        if (!((shown ^ now) & kind))
            continue;
        const bool raised = now & kind;
        const auto own = std::find_if(result.events.cbegin(), result.events.cend(), [kind, raised](const AlarmEvent &e) {
            return e.kind == kind && e.raised == raised;
        });
        if (own != result.events.cend()) {
            found.append(*own);
            continue;
        }
        const std::optional<double> limit = limitOf(limits, kind);
        found.append({kind, raised, isPressureAlarm(kind) ? reading.pressure : reading.temperature,
                      limit ? *limit : std::numeric_limits<double>::quiet_NaN()});
    }
    return found;
}

} // namespace

AlarmMonitor::AlarmMonitor(QStandardItemModel *devices, PollCycle *cycle, QObject *parent)
    : QObject(parent)
    , m_devices(devices)
{
    connect(cycle, &PollCycle::readingTaken, this, &AlarmMonitor::take);
}

void AlarmMonitor::beginRun()
{
    m_unjudged.clear();
    for (int row = 0; row < m_devices->rowCount(); ++row) {
        const int shown = m_devices->index(row, 0).data(AlarmRole).toInt();
        if (shown)
            m_unjudged.insert(readRecord(m_devices, row).address, shown);
    }
}

QModelIndex AlarmMonitor::deviceItem(int address)
{
    const QPersistentModelIndex known = m_items.value(address);
    if (known.isValid() && readRecord(m_devices, known.row()).address == address)
        return known;
    for (int row = 0; row < m_devices->rowCount(); ++row) {
        if (readRecord(m_devices, row).address == address) {
            const QModelIndex item = m_devices->index(row, 0);
            m_items.insert(address, item);
            return item;
        }
    }
    m_items.remove(address);
    return QModelIndex();
}

void AlarmMonitor::take(const Reading &reading)
{
    const QModelIndex device = deviceItem(reading.address);
    if (!device.isValid())
        return;

    const int shown = device.data(AlarmRole).toInt();
    const int unjudged = m_unjudged.value(reading.address);
    const int before = shown & ~unjudged;
    if (!reading.answered) {
        emit evaluated(reading, before);
        return;
    }
    const Limits limits = qvariant_cast<Limits>(device.data(LimitsRole));
    const AlarmEvaluation result = evaluateLimits(limits, before, reading.pressure, reading.temperature);
    emit evaluated(reading, result.active);
    for (const AlarmEvent &event : result.events)
        emit runEvent(reading, event);

    int stillUnjudged = unjudged;
    if (reading.hasPressure())
        stillUnjudged &= ~PressureAlarms;
    if (reading.hasTemperature())
        stillUnjudged &= ~TemperatureAlarms;
    if (stillUnjudged)
        m_unjudged.insert(reading.address, stillUnjudged);
    else if (unjudged)
        m_unjudged.remove(reading.address);
    const int now = result.active | (shown & stillUnjudged);
    if (now == shown)
        return;

    m_devices->setData(device, now, AlarmRole);
    int active = shown;
    for (const AlarmEvent &event : changes(shown, now, result, limits, reading)) {
        active = event.raised ? (active | event.kind) : (active & ~event.kind);
        emit alarmEvent(reading, event);
        emit alarmChanged(reading.address, alarmKeys(active), reading.time, event.value, event.limit);
    }
}
