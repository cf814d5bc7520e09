#pragma once

#include <QHash>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>

// A device's record file read back for a printed trend: its pressure and
// temperature thinned to a plot's columns, as the file holds them. Empty
// fields (a poll that failed) break the line, and so does a stretch with no
// rows (the port closed).
struct RecordedTrend
{
    bool readable = false;
    int rows = 0;
    QVector<QPointF> pressure;
    QVector<QPointF> temperature;
};

// Reads `path` from its header on, keeping rows between fromMs and toMs;
// `periodSeconds` is the device's record period. Stops early, with what it
// has, once `cancel` is set.
RecordedTrend readRecordedTrend(const QString &path, qint64 fromMs, qint64 toMs, int periodSeconds, int columns,
                                const std::atomic<bool> &cancel);

// A run's alarm events, per device address, read back from its alarm log:
// the fields of the first `keep` rows after the time (事件, 量, 值, 限值,
// 单位, time first), and how many there are in all.
struct AlarmEvents
{
    QVector<QStringList> shown;
    int total = 0;
};
QHash<int, AlarmEvents> readAlarmEvents(const QString &path, int keep);
