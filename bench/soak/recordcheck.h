#pragma once

#include "gaprows.h"

#include <QList>
#include <QString>
#include <QStringList>

struct RecordFileCheck
{
    int rows = 0;
    int badRows = 0;
    int emptyRows = 0;
    // Rows whose time stamp is not one record period (give or take the
    // second stamps are cut to) after the row above.
    int offPeriodRows = 0;
    QList<RowStamp> stamps; // of the well-formed rows
    QStringList problems; // the first few, for the report
};

// Reads a record file and checks its header and every data row: exactly five
// commas, sequence numbers 1, 2, 3, ... with none lost or merged, a time stamp
// that parses and never goes back, the unit, and readings that are empty
// (latest poll failed) or exactly the device's own; and that rows follow each
// other by `period` seconds.
RecordFileCheck checkRecordFile(const QString &path, const QString &unit, const QString &pressure,
                                const QString &temperature, int period);
