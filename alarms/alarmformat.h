#pragma once

#include <QString>
#include <QStringList>

class QDateTime;
struct AlarmEvent;

// The alarm log and the summary of a recording, both named by the Start's
// time and kept in a folder of their own beside the record files, written as
// the record files are: UTF-8, a comma after every field, whole rows.

// Copies 2, 3, ... of a folder name that is already taken carry "_<copy>"
// after the time stamp, and so do the files in it.
QString alarmFolderName(const QDateTime &start, int copy = 1);
QString alarmLogFileName(const QDateTime &start, int copy = 1);
QString summaryFileName(const QDateTime &start, int copy = 1);
QString reportFileName(const QDateTime &start, int copy = 1);

// First lines, line end included.
QString alarmLogHeader();
QString summaryHeader();
// The summary header's fields, for a table showing the same columns.
QStringList summaryColumns();

// One raise or clear, line end included; the pressure in `unit` with the
// device's decimals, the temperature in ℃ with one.
QString alarmLogRow(const QDateTime &time, int address, const AlarmEvent &event, const QString &unit,
                    int decimals);

QString alarmEventText(const AlarmEvent &event);
QString alarmQuantityText(int kind);

// `value` with `decimals` decimals; empty for no value.
QString fixedNumber(double value, int decimals);
// A limit as it was given: no trailing zeros; empty for none (NaN).
QString limitNumber(double limit);
