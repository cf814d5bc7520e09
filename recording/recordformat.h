#pragma once

#include <QString>

class QDateTime;
struct ItemData;

// Name of a device's record file, to be appended to the chosen directory:
// "/设备地址<address>__<yyyy_MM_dd_hh_mm_ss>.csv". Copies 2, 3, ... of a name
// that is already taken carry "_<copy>" after the time stamp.
QString recordFileName(int address, const QDateTime &named, int copy = 1);

// Copy `copy` (2, 3, ...) of a file's path: "_<copy>" before its extension.
QString numberedCopy(const QString &path, int copy);

// The first line of every record file, line end included.
QString recordHeader();

// One data row for `record`, numbered by its recordIndex, line end included.
// Unless the readings are `current` (the device's latest poll answered), the
// pressure and temperature fields are empty: a row never claims a reading
// that was not read.
QString recordRow(const ItemData &record, const QDateTime &written, bool current);

// Whether a device with this record period (at least 1 s) writes a row at
// one of the record ticks first..last (first <= last).
bool recordIsDue(int first, int last, int period);
