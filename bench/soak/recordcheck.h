#pragma once

#include <QString>
#include <QStringList>

struct RecordFileCheck
{
    int rows = 0;
    int badRows = 0;
    QStringList problems; // the first few, for the report
};

// Reads a record file and checks its header and every data row: exactly five
// commas, sequence numbers 1, 2, 3, ... with none lost or merged, a time stamp
// that parses and never goes back, the unit, and readings that are empty
// (nothing read yet) or exactly the device's own.
RecordFileCheck checkRecordFile(const QString &path, const QString &unit, const QString &pressure,
                                const QString &temperature);
