#include "alarmformat.h"

#include "alarmevaluation.h"
#include "csvline.h"
#include "timeformat.h"

#include <QCoreApplication>
#include <QLocale>

#include <cmath>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("AlarmFormat", text);
}

QString stamp(const QDateTime &start, int copy)
{
    QString text = fileNameStamp(start);
    if (copy > 1)
        text += QLatin1Char('_') + QString::number(copy);
    return text;
}

} // namespace

QString alarmFolderName(const QDateTime &start, int copy)
{
    return tr("报警与汇总__%1").arg(stamp(start, copy));
}

QString alarmLogFileName(const QDateTime &start, int copy)
{
    return tr("报警记录__%1.csv").arg(stamp(start, copy));
}

QString summaryFileName(const QDateTime &start, int copy)
{
    return tr("汇总__%1.csv").arg(stamp(start, copy));
}

QString reportFileName(const QDateTime &start, int copy)
{
    return tr("报告__%1.pdf").arg(stamp(start, copy));
}

QString alarmLogHeader()
{
    return csvLine({tr("时间"), tr("设备地址"), tr("事件"), tr("量"), tr("值"), tr("限值"), tr("单位")});
}

QStringList summaryColumns()
{
    return {tr("设备地址"), tr("单位"),     tr("总次数"),   tr("失败次数"), tr("压力首值"),
            tr("压力末值"), tr("压力最小"), tr("压力最大"), tr("压力平均"), tr("温度最小"),
            tr("温度最大"), tr("温度平均"), tr("报警次数"), tr("报警时长(S)"), tr("结论")};
}

QString summaryHeader()
{
    return csvLine(summaryColumns());
}

QString alarmEventText(const AlarmEvent &event)
{
    if (!event.raised)
        return tr("恢复");
    return event.kind == PressureHighAlarm || event.kind == TemperatureHighAlarm ? tr("超上限") : tr("超下限");
}

QString alarmQuantityText(int kind)
{
    return isPressureAlarm(kind) ? tr("压力") : tr("温度");
}

QString alarmLogRow(const QDateTime &time, int address, const AlarmEvent &event, const QString &unit,
                    int decimals)
{
    const bool pressure = isPressureAlarm(event.kind);
    return csvLine({secondsText(time), QString::number(address), alarmEventText(event),
                    alarmQuantityText(event.kind), fixedNumber(event.value, pressure ? decimals : 1),
                    limitNumber(event.limit), pressure ? unit : QStringLiteral("℃")});
}

QString fixedNumber(double value, int decimals)
{
    return std::isnan(value) ? QString() : QString::number(value, 'f', decimals);
}

QString limitNumber(double limit)
{
    return std::isnan(limit) ? QString() : QString::number(limit, 'g', QLocale::FloatingPointShortest);
}
