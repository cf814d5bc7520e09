#include "runreport.h"

#include "alarmformat.h"
#include "recordreadback.h"
#include "reportdocument.h"
#include "reportplot.h"
#include "timeformat.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

// Summary rows on the first page and on each page that continues it.
constexpr int FirstPageRows = 40;
constexpr int FurtherPageRows = 56;
// Alarm events listed on a device's page; the rest are counted.
constexpr int ShownEvents = 14;
// Columns the trends are thinned to: finer than the printed line.
constexpr int PlotColumns = 900;
constexpr qreal TablePoints = 6.5;

QString tr(const char *text)
{
    return QCoreApplication::translate("RunReport", text);
}

QString seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 1);
}

int summaryPages(int deviceCount)
{
    const int further = std::max(0, deviceCount - FirstPageRows);
    return 1 + (further + FurtherPageRows - 1) / FurtherPageRows;
}

QVector<qreal> summaryShares()
{
    return {10, 7, 9, 10, 12, 12, 12, 12, 12, 10, 10, 10, 10, 14, 8};
}

QString limitText(const std::optional<double> &limit)
{
    return limit ? limitNumber(*limit) : tr("无");
}

void drawFirstPage(ReportDocument &document, const RunReportData &data)
{
    document.heading(data.running ? tr("运行报告（运行中，截至生成时）") : tr("运行报告"), 16);
    document.skip(2);
    const RunOutcome &outcome = data.outcome;
    const double share = outcome.runMs > 0 ? 100.0 * double(outcome.lineLostMs) / double(outcome.runMs) : 0.0;
    document.table({tr("项目"), tr("内容")},
                   {{tr("站名"), data.station},
                    {tr("线路"), data.line},
                    {tr("开始"), secondsText(data.start)},
                    {data.running ? tr("截至") : tr("结束"), secondsText(data.end)},
                    {tr("运行时长"), tr("%1 秒").arg(seconds(outcome.runMs))},
                    {tr("线路中断"), tr("%1 秒，占运行时长的 %2 %").arg(seconds(outcome.lineLostMs),
                                                                  QString::number(share, 'f', 1))},
                    {tr("设备数"), QString::number(outcome.devices.size())}},
                   {1, 4}, 9);
    if (outcome.failedForLine)
        document.paragraph(tr("线路中断超过运行时长的 5 %，全部设备判为不合格。"), 9);
    int passed = 0;
    for (const DeviceRunSummary &summary : outcome.devices)
        passed += summary.passed() ? 1 : 0;
    document.paragraph(tr("合格 %1 台，不合格 %2 台。").arg(passed).arg(outcome.devices.size() - passed), 9);
    document.skip(2);
    document.heading(tr("汇总"), 12);
}

void drawSummaryRows(ReportDocument &document, const RunReportData &data, int first, int count)
{
    QVector<QStringList> rows;
    QVector<bool> marked;
    for (int i = first; i < first + count && i < data.outcome.devices.size(); ++i) {
        rows.append(data.outcome.devices.at(i).fields());
        marked.append(!data.outcome.devices.at(i).passed());
    }
    document.table(summaryColumns(), rows, summaryShares(), TablePoints, marked);
}

ReportPlot plotOf(const RunReportData &data, const QString &title, const QVector<QPointF> &points,
                  const std::optional<double> &low, const std::optional<double> &high)
{
    const qint64 fromMs = data.start.toMSecsSinceEpoch();
    ReportPlot plot = timePlot(title, fromMs, std::max(data.end.toMSecsSinceEpoch(), fromMs + 1000), points);
    if (high)
        plot.lines.append({*high, tr("上限 %1").arg(limitNumber(*high))});
    if (low)
        plot.lines.append({*low, tr("下限 %1").arg(limitNumber(*low))});
    return plot;
}

void drawDevicePage(ReportDocument &document, const RunReportData &data, const ReportedDevice &device,
                    const DeviceRunSummary &summary, const AlarmEvents &events, const std::atomic<bool> &cancel)
{
    document.heading(tr("设备地址 %1").arg(device.address));
    document.table({tr("设备地址"), tr("单位"), tr("小数位数"), tr("记录周期(S)"), tr("寄存器表")},
                   {{QString::number(device.address), device.unit, QString::number(device.decimals),
                     QString::number(device.recordPeriod), device.mapName}},
                   {2, 2, 2, 2, 6}, 8);
    document.table(summaryColumns(), {summary.fields()}, summaryShares(), TablePoints, {!summary.passed()});

    const Limits &limits = device.limits;
    document.paragraph(limits.isEmpty()
                           ? tr("限值：无")
                           : tr("限值：压力 下限 %1，上限 %2，回差 %3 %4；温度 下限 %5，上限 %6，回差 %7 ℃")
                                 .arg(limitText(limits.pressureLow), limitText(limits.pressureHigh),
                                      limitNumber(limits.pressureDeadband), device.unit,
                                      limitText(limits.temperatureLow), limitText(limits.temperatureHigh),
                                      limitNumber(limits.temperatureDeadband)),
                       8);

    document.heading(tr("报警事件"), 10);
    if (events.total == 0) {
        document.paragraph(tr("无报警事件。"), 8);
    } else {
        document.table({tr("时间"), tr("事件"), tr("量"), tr("值"), tr("限值"), tr("单位")}, events.shown,
                       {5, 2, 2, 2, 2, 2}, TablePoints);
        if (events.total > events.shown.size())
            document.paragraph(tr("另有 %1 条事件，见报警记录文件。").arg(events.total - events.shown.size()), 8);
    }

    document.heading(tr("趋势"), 10);
    RecordedTrend trend;
    if (!device.recordPath.isEmpty())
        trend = readRecordedTrend(device.recordPath, data.start.toMSecsSinceEpoch(), data.end.toMSecsSinceEpoch(),
                                  device.recordPeriod, PlotColumns, cancel);
    if (!trend.readable)
        document.paragraph(tr("本次运行没有该设备的记录文件。"), 8);
    else
        document.paragraph(tr("记录文件 %1 行：%2").arg(trend.rows).arg(device.recordPath), 7);
    const qreal height = document.remaining() / document.mm(1) / 2 - 1;
    drawPlot(document.painter(), document.take(height),
                 plotOf(data, tr("压力（%1）").arg(device.unit), trend.pressure, limits.pressureLow,
                        limits.pressureHigh),
                 document.font(7));
    document.skip(2);
    drawPlot(document.painter(), document.take(height),
                 plotOf(data, tr("温度（℃）"), trend.temperature, limits.temperatureLow, limits.temperatureHigh),
                 document.font(7));
}

} // namespace

int runReportPageCount(int deviceCount)
{
    return summaryPages(deviceCount) + deviceCount;
}

bool writeRunReport(const RunReportData &data, QIODevice *device, const std::atomic<bool> &cancel)
{
    const int deviceCount = data.outcome.devices.size();
    ReportDocument document(device, tr("运行报告"),
                            tr("%1 · %2 · %3").arg(data.station, data.line, secondsText(data.start)),
                            runReportPageCount(deviceCount));
    if (!document.isOpen())
        return false;

    drawFirstPage(document, data);
    drawSummaryRows(document, data, 0, FirstPageRows);
    for (int first = FirstPageRows; first < deviceCount; first += FurtherPageRows) {
        document.nextPage();
        document.heading(tr("汇总（续）"), 12);
        drawSummaryRows(document, data, first, FurtherPageRows);
    }

    const QHash<int, AlarmEvents> events = readAlarmEvents(data.alarmLogPath, ShownEvents);
    for (int i = 0; i < deviceCount; ++i) {
        if (cancel.load())
            return false;
        document.nextPage();
        const DeviceRunSummary &summary = data.outcome.devices.at(i);
        drawDevicePage(document, data, data.devices.value(i), summary, events.value(summary.address()), cancel);
    }
    return !cancel.load() && document.end();
}
