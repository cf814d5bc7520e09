#pragma once

#include "devicelimits.h"

#include <QString>
#include <QStringList>
#include <QVector>

// The four alarms of a device, as bits of its active set.
enum AlarmKind {
    PressureHighAlarm = 1,
    PressureLowAlarm = 2,
    TemperatureHighAlarm = 4,
    TemperatureLowAlarm = 8,
};

struct AlarmEvent
{
    int kind = 0;
    bool raised = false;
    double value = 0.0;
    // NaN when a limit that was removed clears its alarm.
    double limit = 0.0;
};

struct AlarmEvaluation
{
    int active = 0;
    QVector<AlarmEvent> events;
};

// One answered poll against the limits: a value strictly beyond a limit
// raises its alarm; a raised alarm clears once the value is back inside by
// more than the dead band, or when its limit is gone. A value that is not
// finite (no reading) is compared with nothing. `active` is the set raised
// before this poll.
AlarmEvaluation evaluateLimits(const Limits &limits, int active, double pressure, double temperature);

bool isPressureAlarm(int kind);
// "pressureHigh", … : the names of the active set, in the order of AlarmKind.
QStringList alarmKeys(int active);
