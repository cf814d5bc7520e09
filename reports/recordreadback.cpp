#include "recordreadback.h"

#include "trenddecimation.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QTime>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The record files' time stamp, "yyyy-MM-dd hh:mm:ss" in local time, read
// without QDateTime's parser, which a day of rows per device would feel:
// local midnight is worked out once per day.
class RowTimes
{
public:
    // -1 for a field that is no such time.
    qint64 msOf(const QByteArray &text)
    {
        if (text.size() != 19 || text.at(4) != '-' || text.at(7) != '-' || text.at(10) != ' ')
            return -1;
        const QByteArray day = text.left(10);
        if (day != m_day) {
            const QDate date(text.mid(0, 4).toInt(), text.mid(5, 2).toInt(), text.mid(8, 2).toInt());
            if (!date.isValid())
                return -1;
            m_day = day;
            m_midnightMs = QDateTime(date, QTime(0, 0)).toMSecsSinceEpoch();
        }
        bool ok[3] = {false, false, false};
        const int hours = text.mid(11, 2).toInt(&ok[0]);
        const int minutes = text.mid(14, 2).toInt(&ok[1]);
        const int seconds = text.mid(17, 2).toInt(&ok[2]);
        if (!ok[0] || !ok[1] || !ok[2])
            return -1;
        return m_midnightMs + ((hours * 60 + minutes) * 60 + seconds) * 1000LL;
    }

private:
    QByteArray m_day;
    qint64 m_midnightMs = 0;
};

float numberOf(const QByteArray &field)
{
    bool ok = false;
    const double value = field.toDouble(&ok);
    return ok ? float(value) : std::numeric_limits<float>::quiet_NaN();
}

} // namespace

RecordedTrend readRecordedTrend(const QString &path, qint64 fromMs, qint64 toMs, int periodSeconds, int columns,
                                const std::atomic<bool> &cancel)
{
    RecordedTrend trend;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return trend;
    trend.readable = true;
    ColumnDecimator pressure(fromMs, toMs, columns);
    ColumnDecimator temperature(fromMs, toMs, columns);
    RowTimes times;
    // Rows further apart than two periods and a second have a stretch without rows between them.
    const qint64 longestStepMs = 2000LL * std::max(periodSeconds, 1) + 1000;
    qint64 lastMs = -1;
    file.readLine(); // the header
    while (!file.atEnd()) {
        if ((trend.rows & 0x3ff) == 0 && cancel.load())
            break;
        const QByteArray line = file.readLine();
        // 序号,时间,压力,单位,温度(℃), and nothing after the last comma.
        const QList<QByteArray> fields = line.split(',');
        if (fields.size() < 5)
            continue;
        const qint64 ms = times.msOf(fields.at(1));
        if (ms < fromMs || ms > toMs)
            continue;
        ++trend.rows;
        if (lastMs >= 0 && ms - lastMs > longestStepMs) {
            pressure.addGap();
            temperature.addGap();
        }
        lastMs = ms;
        pressure.add(ms, numberOf(fields.at(2)));
        temperature.add(ms, numberOf(fields.at(4)));
    }
    trend.pressure = pressure.finish();
    trend.temperature = temperature.finish();
    return trend;
}

QHash<int, AlarmEvents> readAlarmEvents(const QString &path, int keep)
{
    QHash<int, AlarmEvents> events;
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return events;
    file.readLine(); // the header
    while (!file.atEnd()) {
        // 时间,设备地址,事件,量,值,限值,单位,
        QStringList fields = QString::fromUtf8(file.readLine()).split(QLatin1Char(','));
        if (fields.size() < 7)
            continue;
        bool ok = false;
        const int address = fields.at(1).toInt(&ok);
        if (!ok)
            continue;
        AlarmEvents &device = events[address];
        ++device.total;
        if (device.shown.size() < keep) {
            fields.removeAt(1);
            device.shown.append(fields.mid(0, 6));
        }
    }
    return events;
}
