#include "calibrationcertificate.h"

#include "calibrationfiles.h"
#include "reportdocument.h"
#include "reportplot.h"
#include "timeformat.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

namespace {

// Rows of the points' table that leave room on the first page for the
// closing lines and a plot of a useful height.
constexpr int OnePageRows = 14;
// Rows on a first page the table fills, on each page it goes on over, and
// on the last of those when the closing lines and the plot follow them.
constexpr int FirstPageRows = 30;
constexpr int FurtherPageRows = 48;
constexpr int RowsBeforeClosing = 18;
constexpr qreal FormPoints = 7.5;
constexpr qreal TablePoints = 6.5;
constexpr qreal PlotMarginMm = 2;
// A plot alone on its page is kept to a readable shape.
constexpr qreal PlotMaxMm = 110;

QString tr(const char *text)
{
    return QCoreApplication::translate("CalibrationCertificate", text);
}

const QString Dash = QStringLiteral("—");

// How the pages share the points' table: rows on each page that holds some,
// and whether the closing lines and the plot need a page of their own.
struct PagePlan
{
    QVector<int> rows;
    bool closingAlone = false;

    int pageCount() const { return rows.size() + (closingAlone ? 1 : 0); }
};

PagePlan planPages(int points)
{
    PagePlan plan;
    if (points <= OnePageRows) {
        plan.rows = {points};
        return plan;
    }
    plan.rows.append(std::min(points, FirstPageRows));
    for (int rest = points - plan.rows.first(); rest > 0; rest -= plan.rows.last())
        plan.rows.append(std::min(rest, FurtherPageRows));
    plan.closingAlone = plan.rows.size() == 1 || plan.rows.last() > RowsBeforeClosing;
    return plan;
}

QString number(double value)
{
    return QString::number(value);
}

QString orDash(double value, const QString &text)
{
    return std::isfinite(value) ? text : Dash;
}

class CertificateDrawing
{
public:
    CertificateDrawing(ReportDocument &document, const CalibrationResult &pass, const DeviceCalibration &device)
        : m_document(document)
        , m_pass(pass)
        , m_device(device)
    {
    }

    void drawForms();
    // The points' rows from `first`, `count` of them.
    void drawPoints(int first, int count);
    void drawClosing();

private:
    // In the device's unit, two places finer than it reads.
    QString valueText(double x) const { return orDash(x, QString::number(x, 'f', m_device.decimals + 2)); }
    QString percentText(double x) const { return orDash(x, QString::number(x, 'f', 3)); }
    // A section of label and text pairs, two pairs to a row, under a grey bar with its name.
    void form(const QString &name, const QStringList &pairs);
    QStringList pointRow(const PointOutcome &point) const;
    ReportPlot errorPlot() const;

    ReportDocument &m_document;
    const CalibrationResult &m_pass;
    const DeviceCalibration &m_device;
};

void CertificateDrawing::form(const QString &name, const QStringList &pairs)
{
    QVector<QStringList> rows;
    for (int i = 0; i < pairs.size(); i += 4)
        rows.append(pairs.mid(i, 4));
    m_document.table({name, QString(), QString(), QString()}, rows, {3, 5, 3, 5}, FormPoints);
}

void CertificateDrawing::drawForms()
{
    const CalibrationSettings &settings = m_device.settings;
    const ReferenceInstrument &reference = m_pass.reference;

    m_document.heading(tr("校准证书"), 16);
    form(tr("证书信息"), {tr("证书编号"), certificateNumber(m_pass.station, m_pass.end, m_device.address),
                          tr("日期时间"), secondsText(m_pass.end),
                          tr("站名"), m_pass.station, tr("线路"), m_pass.line,
                          tr("操作员"), m_pass.operatorName});
    m_document.paragraph(tr("校准方法：%1")
                             .arg(tr("与参考表比较，%1 个名义点，上行与下行，每点平均 %2 秒")
                                      .arg(m_pass.nominalPercents.size())
                                      .arg(number(m_pass.averagingMs / 1000.0))),
                         FormPoints);
    m_document.skip(1);

    QString validUntil = reference.validUntil.isValid()
        ? reference.validUntil.toString(QStringLiteral("yyyy-MM-dd"))
        : Dash;
    if (reference.validUntil.isValid() && reference.validUntil < m_pass.end.date())
        validUntil += tr("（已过期）");
    form(tr("参考表"), {tr("名称"), reference.name, tr("序列号"), reference.serialNumber,
                        tr("证书编号"), reference.certificate, tr("有效期至"), validUntil,
                        tr("准确度"), tr("± %1 %2").arg(number(reference.accuracy), reference.accuracyUnit),
                        tr("来源"), reference.isTyped() ? tr("人工输入") : tr("地址 %1").arg(reference.address)});

    form(tr("环境"), {tr("环境温度"), orDash(m_pass.ambientTemperature, tr("%1 ℃").arg(number(m_pass.ambientTemperature))),
                      tr("环境湿度"), orDash(m_pass.ambientHumidity, tr("%1 %RH").arg(number(m_pass.ambientHumidity))),
                      tr("变送器平均温度"),
                      orDash(m_device.meanTemperature,
                             tr("%1 ℃").arg(QString::number(m_device.meanTemperature, 'f', 1)))});

    const QString range = settings.rangeLow && settings.rangeHigh
        ? tr("%1 – %2 %3").arg(number(*settings.rangeLow), number(*settings.rangeHigh), m_device.unit)
        : Dash;
    form(tr("被校设备"), {tr("序列号"), settings.serialNumber, tr("型号"), settings.model,
                          tr("位号"), settings.tag, tr("地址"), QString::number(m_device.address),
                          tr("寄存器表"), m_device.mapName, tr("量程"), range,
                          tr("准确度等级"), settings.accuracy ? tr("%1 %FS").arg(number(*settings.accuracy)) : Dash});
    m_document.heading(tr("校准结果（%1）").arg(m_device.unit), 10);
}

QStringList CertificateDrawing::pointRow(const PointOutcome &point) const
{
    return {QString::number(point.pointIndex),
            valueText(point.nominal),
            point.rising ? tr("上行") : tr("下行"),
            valueText(point.reference),
            point.hasValue ? valueText(point.indication) : tr("无读数"),
            point.hasValue ? valueText(point.error) : Dash,
            point.hasValue ? percentText(point.errorPercentFs) : Dash,
            valueText(point.permittedError),
            point.hasValue ? valueText(point.expandedUncertainty) : Dash,
            QString::number(point.count),
            point.steady ? tr("是") : tr("否"),
            point.passed ? tr("合格") : tr("不合格")};
}

void CertificateDrawing::drawPoints(int first, int count)
{
    QVector<QStringList> rows;
    QVector<bool> marked;
    for (int i = first; i < first + count && i < m_device.points.size(); ++i) {
        const PointOutcome &point = m_device.points.at(i);
        rows.append(pointRow(point));
        marked.append(!point.hasValue);
    }
    m_document.table({tr("点序号"), tr("名义值"), tr("方向"), tr("参考值"), tr("示值"), tr("误差"), tr("误差(%FS)"),
                      tr("允许误差"), tr("扩展不确定度 (k=2)"), tr("读数次数"), tr("稳定"), tr("结论")},
                     rows, {7, 13, 7, 14, 14, 13, 13, 12, 23, 10, 6, 9}, TablePoints, marked);
}

ReportPlot CertificateDrawing::errorPlot() const
{
    ReportPlot plot;
    plot.title = tr("误差（%FS）");
    plot.xAxis = ReportPlot::Value;
    plot.xTitle = tr("参考值（%1）").arg(m_device.unit);
    plot.emptyText = tr("无读数");
    plot.valueMargin = 0.1;
    PlotSeries rising{{}, PlotMark::FilledMarker, tr("上行")};
    PlotSeries falling{{}, PlotMark::OpenMarker, tr("下行")};
    double low = 0.0;
    double high = 0.0;
    for (int i = 0; i < m_device.points.size(); ++i) {
        const PointOutcome &point = m_device.points.at(i);
        low = i == 0 ? point.reference : std::min(low, point.reference);
        high = i == 0 ? point.reference : std::max(high, point.reference);
        if (point.hasValue)
            (point.rising ? rising : falling).points.append({point.reference, point.errorPercentFs});
    }
    const CalibrationSettings &settings = m_device.settings;
    plot.xFrom = settings.rangeLow.value_or(low);
    plot.xTo = settings.rangeHigh.value_or(high);
    plot.series = {rising, falling};
    if (settings.accuracy) {
        const double accuracy = *settings.accuracy;
        plot.lines.append({accuracy, tr("+%1 %FS").arg(number(accuracy)), PlotLine::Limit});
        plot.lines.append({-accuracy, tr("−%1 %FS").arg(number(accuracy)), PlotLine::Limit});
    }
    plot.lines.append({0.0, QString(), PlotLine::Reference});
    return plot;
}

void CertificateDrawing::drawClosing()
{
    const QString tur = std::isfinite(m_device.testUncertaintyRatio)
        ? QString::number(m_device.testUncertaintyRatio, 'f', 2)
        : Dash;
    m_document.paragraph(tr("最大误差：%1（%2）；回差：%3；测试不确定度比：%4")
                             .arg(orDash(m_device.maxError,
                                         tr("%1 %2").arg(valueText(m_device.maxError), m_device.unit)),
                                  orDash(m_device.maxErrorPercentFs,
                                         tr("%1 %FS").arg(percentText(m_device.maxErrorPercentFs))),
                                  orDash(m_device.hysteresisPercentFs,
                                         tr("%1 %FS").arg(percentText(m_device.hysteresisPercentFs))),
                                  tur),
                         8);
    if (std::isfinite(m_device.testUncertaintyRatio) && m_device.testUncertaintyRatio < 4.0)
        m_document.paragraph(tr("注意：测试不确定度比低于 4"), 8);
    m_document.paragraph(tr("判定规则：各点 |误差| ≤ 允许误差 时判为合格"), 8);
    m_document.heading(m_device.passed ? tr("结论：合格") : tr("结论：不合格"), 12);
    m_document.skip(PlotMarginMm);
    const qreal height = std::min(m_document.remaining() / m_document.mm(1) - PlotMarginMm, PlotMaxMm);
    drawPlot(m_document.painter(), m_document.take(height), errorPlot(), m_document.font(7));
}

} // namespace

int calibrationCertificatePageCount(int points)
{
    return planPages(points).pageCount();
}

bool writeCalibrationCertificate(const CalibrationResult &pass, int deviceIndex, QIODevice *device,
                                 const std::atomic<bool> &cancel)
{
    if (deviceIndex < 0 || deviceIndex >= pass.devices.size() || cancel.load())
        return false;
    const DeviceCalibration &calibration = pass.devices.at(deviceIndex);
    const PagePlan plan = planPages(calibration.points.size());
    ReportDocument document(device, tr("校准证书"),
                            tr("%1 · %2").arg(pass.station,
                                             certificateNumber(pass.station, pass.end, calibration.address)),
                            plan.pageCount());
    if (!document.isOpen())
        return false;

    CertificateDrawing drawing(document, pass, calibration);
    drawing.drawForms();
    int first = 0;
    for (int page = 0; page < plan.rows.size(); ++page) {
        if (page > 0) {
            document.nextPage();
            document.heading(tr("校准结果（续）"), 10);
        }
        drawing.drawPoints(first, plan.rows.at(page));
        first += plan.rows.at(page);
    }
    if (plan.closingAlone)
        document.nextPage();
    drawing.drawClosing();
    return !cancel.load() && document.end();
}
