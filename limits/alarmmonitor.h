#pragma once

#include "limits/alarmevaluation.h"

#include <QObject>

class PollCycle;
class QDateTime;
class QStandardItemModel;
struct Reading;

// Holds every answered poll against its device's limits. The raised alarms
// are kept in the device's row, so they go with it when it is removed; a
// failed poll leaves them as they are.
class AlarmMonitor : public QObject
{
    Q_OBJECT

public:
    AlarmMonitor(QStandardItemModel *devices, PollCycle *cycle, QObject *parent = nullptr);

    void take(const Reading &reading);

signals:
    // Every stored poll outcome with the device's alarm set after it.
    void evaluated(const Reading &reading, int active);
    // Each raise and clear, in the order found.
    void alarmEvent(const Reading &reading, const AlarmEvent &event);
    // The same for a publisher: the device's alarms raised after the event,
    // by name, and the value and limit of the event.
    void alarmChanged(int address, const QStringList &active, const QDateTime &time, double value, double limit);

private:
    QStandardItemModel *const m_devices;
};
