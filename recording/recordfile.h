#pragma once

#include <QString>

class QDateTime;

// Creates a new record file for the device in `directory`, holding only the
// header, and returns its path; returns an empty string when no file could be
// created. A file that already exists is never opened: the next copy number
// of the name is tried instead.
QString createRecordFile(const QString &directory, int address, const QDateTime &named);
