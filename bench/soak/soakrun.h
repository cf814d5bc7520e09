#pragma once

#include "gaprows.h"
#include "linepuller.h"
#include "soakline.h"
#include "windowtimeline.h"

#include "itemdata.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>

// The event loop is watched every 10 ms; a tick more than 100 ms late is a
// hold the operator would notice.
constexpr int HoldWatchIntervalMs = 10;
constexpr qint64 HoldLimitMs = 100;

// What one soak run measured: the window's records and timeline, what the
// line did, and how the process fared.
struct SoakRun
{
    QString failure; // set when the run could not even start
    double wallSeconds = 0.0;
    double recordingSeconds = 0.0; // from Start to Stop
    double cpuSeconds = 0.0;
    int firstSampleSeconds = 0; // a minute in, or half-way for short runs
    qint64 residentFirstKiB = -1;
    qint64 residentAtEndKiB = -1;
    int descriptorsFirst = -1;
    int descriptorsAtEnd = -1;
    QList<int> descriptorsAtRestores; // as each lost line came back
    qint64 longestHoldMs = 0;
    int holdsOverLimit = 0;
    qint64 ticks = 0;
    QJsonObject lineStats;
    QList<ItemData> records; // in the order of the devices
    // Every reading each address's record ever held: pressure, temperature.
    QHash<int, QSet<QPair<QString, QString>>> readings;
    QList<LinePull> pulls;
    QString pullFailure;
    QList<LineGap> gaps;
    QHash<int, QList<StatusChange>> statuses;
    QHash<int, GapPolls> gapPolls;
    QList<qint64> cycleLengthsMs;
    QStringList strayBoxes;
    QStringList newFiles; // names of the files the recording added to the directory
};

// Serves `devices` with velmora-sim, opens its line in a real window, adds the
// devices, starts recording into `directory`, pulls the line every
// `pullEveryMs` (never when 0) and stops after `runMs`; the simulator is
// stopped only once no request can be in flight.
SoakRun runSoak(const QList<SoakDevice> &devices, const QString &directory, quint32 seed, qint64 runMs,
                qint64 pullEveryMs);
