#pragma once

#include <QString>

class QDateTime;

// The time stamps the program writes, each format in one place.

// To the second, as rows, logs and notices show it: "2024-03-05 08:09:10".
QString secondsText(const QDateTime &time);

// To the millisecond: "2024-03-05 08:09:10.250".
QString millisecondsText(const QDateTime &time);

// Inside file and folder names: "2024_03_05_08_09_10".
QString fileNameStamp(const QDateTime &time);

// ISO 8601 with milliseconds and the UTC offset, for other programs to read:
// "2024-03-05T08:09:10.250+01:00".
QString isoTimeText(const QDateTime &time);

// The format of the trend's time axis, which formats its ticks itself.
QString axisTimeFormat();
