#include "limits/alarms.h"

#include "limits/alarmmonitor.h"
#include "limits/alarmnotice.h"
#include "limits/limitsactions.h"
#include "limits/recordingwatch.h"
#include "limits/runverdict.h"
#include "publishing/payloads.h"
#include "publishing/publisher.h"

#include <QWidget>

void installAlarms(QWidget *window, const AlarmParts &parts)
{
    auto *monitor = new AlarmMonitor(parts.devices, parts.cycle, window);
    monitor->setObjectName(QStringLiteral("alarmMonitor"));
    auto *notice = new AlarmNotice(window);
    QObject::connect(monitor, &AlarmMonitor::alarmEvent, notice, &AlarmNotice::tell);
    Publisher *const publisher = parts.publisher;
    QObject::connect(monitor, &AlarmMonitor::alarmChanged, publisher,
                     [publisher](int address, const QStringList &active, const QDateTime &time, double value,
                                 double limit) {
                         publisher->setDeviceRetained(address, QByteArrayLiteral("alarm"),
                                                      Payloads::alarm(active, time, value, limit));
                     });

    auto *verdict = new RunVerdict(parts.devices, monitor, parts.line, window);
    auto *watch = new RecordingWatch(window, parts.polling, parts.recording);
    // Before the run's first poll: the alarms shown so far are not the run's.
    QObject::connect(watch, &RecordingWatch::started, monitor, &AlarmMonitor::beginRun);
    QObject::connect(watch, &RecordingWatch::started, verdict, &RunVerdict::begin);
    QObject::connect(watch, &RecordingWatch::ended, verdict, &RunVerdict::end);

    new LimitsActions(parts.menu, parts.view, parts.devices, verdict);
}
