#pragma once

#include "soakline.h"

#include "devices/itemdata.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QSet>
#include <QString>

// What one soak run measured: the window's records, what the line did, and
// how the process fared.
struct SoakRun
{
    QString failure; // set when the run could not even start
    double wallSeconds = 0.0;
    double cpuSeconds = 0.0;
    int residentSampleSeconds = 0; // when the first sample was taken: a minute in, or half-way for short runs
    qint64 residentFirstKiB = -1;
    qint64 residentAtEndKiB = -1;
    qint64 longestStallMs = 0;
    qint64 ticks = 0;
    QJsonObject lineStats;
    QList<ItemData> records; // in the order of the devices
    // Every reading each address's record ever held: pressure, temperature.
    QHash<int, QSet<QPair<QString, QString>>> readings;
};

// Serves `devices` with velmora-sim, opens its line in a real window, adds the
// devices, starts recording into `directory` and stops after `runMs`; the
// simulator is stopped only once no request can be in flight.
SoakRun runSoak(const QList<SoakDevice> &devices, const QString &directory, quint32 seed, qint64 runMs);
