#pragma once

#include "devicelimits.h"
#include "runverdict.h"

#include <QDateTime>
#include <QString>
#include <QVector>

#include <atomic>

class QIODevice;

// What a device's page of a run's report names of it, as it was listed.
struct ReportedDevice
{
    int address = 0;
    QString unit;
    int decimals = 0;
    int recordPeriod = 1;
    QString mapName;
    Limits limits;
    // Its record file; empty when the run kept none.
    QString recordPath;
};

// A run as its report shows it, taken on the window's thread at one moment
// and drawn from then on without it: the outcome's summaries are copies.
struct RunReportData
{
    QString station;
    QString line;
    QDateTime start;
    QDateTime end;
    // The report of a run still going: `end` is when it was asked for.
    bool running = false;
    RunOutcome outcome;
    // In the order of the outcome's devices.
    QVector<ReportedDevice> devices;
    // The run's alarm log; empty when it keeps none.
    QString alarmLogPath;
};

// The pages of the report: a first page with the station, the line, the
// run's times, how long the line was lost and the summary with its verdicts
// (continued on further pages for a long list), then a page per device with
// its identity, summary row, limits, alarm events and the trend of its
// record file with the limit lines. Reads the record files and the alarm log
// as it goes and stops, returning false, once `cancel` is set.
bool writeRunReport(const RunReportData &data, QIODevice *device, const std::atomic<bool> &cancel);

// Pages the report of `deviceCount` devices takes.
int runReportPageCount(int deviceCount);
