#include "limits/alarmmonitor.h"

#include "acquisition/pollcycle.h"
#include "acquisition/reading.h"
#include "devices/devicerecords.h"
#include "limits/limits.h"

#include <QStandardItemModel>

AlarmMonitor::AlarmMonitor(QStandardItemModel *devices, PollCycle *cycle, QObject *parent)
    : QObject(parent)
    , m_devices(devices)
{
    connect(cycle, &PollCycle::readingTaken, this, &AlarmMonitor::take);
}

void AlarmMonitor::take(const Reading &reading)
{
    QModelIndex device;
    for (int row = 0; row < m_devices->rowCount() && !device.isValid(); ++row) {
        if (readRecord(m_devices, row).address == reading.address)
            device = m_devices->index(row, 0);
    }
    if (!device.isValid())
        return;

    const int before = device.data(AlarmRole).toInt();
    if (!reading.answered) {
        emit evaluated(reading, before);
        return;
    }
    const Limits limits = qvariant_cast<Limits>(device.data(LimitsRole));
    const AlarmEvaluation result = evaluateLimits(limits, before, reading.pressure, reading.temperature);
    if (result.active != before)
        m_devices->setData(device, result.active, AlarmRole);
    emit evaluated(reading, result.active);

    int active = before;
    for (const AlarmEvent &event : result.events) {
        active = event.raised ? (active | event.kind) : (active & ~event.kind);
        emit alarmEvent(reading, event);
        emit alarmChanged(reading.address, alarmKeys(active), reading.time, event.value, event.limit);
    }
}
