#pragma once

#include "alarmevaluation.h"

#include <QHash>
#include <QObject>
#include <QPersistentModelIndex>

class PollCycle;
class QDateTime;
class QStandardItemModel;
struct Limits;
struct Reading;

// Holds every answered poll against its device's limits. The alarms shown
// (tile, broker) are kept in the device's row, so they go with it when it is
// removed; a failed poll leaves them as they are.
//
// A run judges its own readings: at its start no alarm is raised in it, and
// each device's first valid value of a quantity is judged afresh. What is
// shown changes only where the fresh judgement differs from it, so a device
// still out of band is neither cleared nor raised again.
class AlarmMonitor : public QObject
{
    Q_OBJECT

public:
    AlarmMonitor(QStandardItemModel *devices, PollCycle *cycle, QObject *parent = nullptr);

    // A run starts: the alarms shown from before are not the run's.
    void beginRun();
    void take(const Reading &reading);

signals:
    // Every stored poll outcome with the device's alarm set in this run after it.
    void evaluated(const Reading &reading, int active);
    // Each raise and clear of the run, in the order found.
    void runEvent(const Reading &reading, const AlarmEvent &event);
    // Each change of the alarms shown, in the order of AlarmKind.
    void alarmEvent(const Reading &reading, const AlarmEvent &event);
    // The same for a publisher: the device's alarms shown after the change,
    // by name, and the value and limit of the change.
    void alarmChanged(int address, const QStringList &active, const QDateTime &time, double value, double limit);

private:
    // The item of the device at `address`, invalid when it is not listed.
    QModelIndex deviceItem(int address);

    QStandardItemModel *const m_devices;
    // Per address, the alarms shown from before the run whose quantity has
    // not yet been judged in it.
    QHash<int, int> m_unjudged;
    // Where each device was last found: a reading comes for every device
    // of every cycle, and searching the list for each costs a whole list
    // of record copies on a bench of 247 devices.
    QHash<int, QPersistentModelIndex> m_items;
};
