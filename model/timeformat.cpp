#include "timeformat.h"

#include <QDateTime>

QString secondsText(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QString millisecondsText(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
}

QString fileNameStamp(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyy_MM_dd_hh_mm_ss"));
}

QString isoTimeText(const QDateTime &time)
{
    // A local time would be written without its offset.
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QString axisTimeFormat()
{
    return QStringLiteral("MM-dd hh:mm:ss");
}
