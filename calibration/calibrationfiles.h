#pragma once

#include <QString>

class QDateTime;

// The names and first lines of what a calibration pass leaves behind.

// "校准__<yyyy_MM_dd_hh_mm_ss>.csv", for a pass started at `start`.
QString calibrationFileName(const QDateTime &start);

// The calibration file's first line, line end included.
QString calibrationHeader();

// "校准证书__<address>__<yyyy_MM_dd_hh_mm_ss>.pdf", for a certificate issued at `issued`.
QString certificateFileName(int address, const QDateTime &issued);

// "<station>-<yyyyMMddhhmmss>-<address>".
QString certificateNumber(const QString &station, const QDateTime &issued, int address);
