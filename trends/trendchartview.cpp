#include "trendchartview.h"

#include "readingtext.h"
#include "timeformat.h"
#include "axisticks.h"
#include "trenddecimation.h"
#include "trendlinesitem.h"
#include "trendrecorder.h"

#include <QDateTime>
#include <QDateTimeAxis>
#include <QGraphicsRectItem>
#include <QGraphicsSimpleTextItem>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QValueAxis>
#include <QWheelEvent>

#include <cmath>

using namespace QtCharts;

namespace {

// Zooming in stops at ten seconds across; a fresh device shows its first minute.
constexpr qint64 MinimumSpanMs = 10 * 1000;
constexpr qint64 FirstSpanMs = 60 * 1000;
constexpr double ZoomInFactor = 0.8;
constexpr int HoverOffset = 12;

// The axis covers the values shown and the limits set, on round ticks.
void fitValueAxis(QValueAxis *axis, const ColumnDecimator &decimator, const std::optional<double> &lowLimit,
                  const std::optional<double> &highLimit)
{
    double low = 0;
    double high = 1;
    decimator.valueRange(&low, &high);
    for (const auto &limit : {lowLimit, highLimit}) {
        if (limit) {
            low = qMin(low, *limit);
            high = qMax(high, *limit);
        }
    }
    // A flat line sits in the middle instead of on the frame.
    const double margin = high > low ? (high - low) * 0.05 : qMax(std::abs(high) * 0.01, 0.5);
    const AxisTicks ticks = roundTicks(low - margin, high + margin);
    axis->setRange(ticks.low, ticks.high);
    axis->setTickCount(ticks.count);
    axis->setLabelFormat(QStringLiteral("%.%1f").arg(ticks.decimals));
}

void placeLimit(QLineSeries *series, const std::optional<double> &limit, qint64 fromMs, qint64 toMs)
{
    if (limit)
        series->replace(QVector<QPointF>{QPointF(double(fromMs), *limit), QPointF(double(toMs), *limit)});
    else
        series->clear();
}

} // namespace

TrendChartView::TrendChartView(const DeviceTrend &trend, QWidget *parent)
    : QChartView(new QChart, parent)
    , m_trend(trend)
    , m_timeAxis(new QDateTimeAxis)
    , m_pressureAxis(new QValueAxis)
    , m_temperatureAxis(new QValueAxis)
    , m_pressureSeries(new QLineSeries)
    , m_temperatureSeries(new QLineSeries)
{
    QChart *plot = chart();
    plot->legend()->setAlignment(Qt::AlignBottom);

    m_timeAxis->setFormat(axisTimeFormat());
    m_timeAxis->setTickCount(6);
    m_timeAxis->setTitleText(tr("时间"));
    m_pressureAxis->setTitleText(tr("压力 (%1)").arg(trend.unit));
    m_temperatureAxis->setTitleText(tr("温度 (℃)"));
    plot->addAxis(m_timeAxis, Qt::AlignBottom);
    plot->addAxis(m_pressureAxis, Qt::AlignLeft);
    plot->addAxis(m_temperatureAxis, Qt::AlignRight);

    // The series carry the names, colours and axes; the lines themselves are
    // drawn by TrendLinesItem so that gaps stay gaps.
    m_pressureSeries->setName(tr("压力 (%1)").arg(trend.unit));
    m_temperatureSeries->setName(tr("温度 (℃)"));
    const QList<QPair<QLineSeries *, QValueAxis *>> pairs = {{m_pressureSeries, m_pressureAxis},
                                                             {m_temperatureSeries, m_temperatureAxis}};
    for (const auto &pair : pairs) {
        plot->addSeries(pair.first);
        pair.first->attachAxis(m_timeAxis);
        pair.first->attachAxis(pair.second);
        pair.second->setLabelsColor(pair.first->color());
    }
    for (int i = 0; i < 4; ++i) {
        const bool pressure = i < 2;
        auto *limit = new QLineSeries;
        limit->setName(pressure ? tr("压力限值") : tr("温度限值"));
        plot->addSeries(limit);
        limit->attachAxis(m_timeAxis);
        limit->attachAxis(pressure ? m_pressureAxis : m_temperatureAxis);
        limit->setPen(QPen((pressure ? m_pressureSeries : m_temperatureSeries)->color(), 1.5, Qt::DashLine));
        for (QLegendMarker *marker : plot->legend()->markers(limit))
            marker->setVisible(false);
        m_limitSeries[i] = limit;
    }
    m_pressureLines = new TrendLinesItem(plot, m_pressureSeries);
    m_temperatureLines = new TrendLinesItem(plot, m_temperatureSeries);

    m_hoverBox = new QGraphicsRectItem(plot);
    m_hoverBox->setBrush(QColor(255, 255, 255, 230));
    m_hoverBox->setPen(QPen(Qt::gray));
    // Above the lines and the legend.
    m_hoverBox->setZValue(6);
    m_hoverLabel = new QGraphicsSimpleTextItem(m_hoverBox);
    m_hoverBox->hide();

    setRenderHint(QPainter::Antialiasing);
    setMouseTracking(true);
    connect(plot, &QChart::plotAreaChanged, this, [this](const QRectF &area) {
        if (int(area.width()) != m_pressureLines->columns())
            redraw();
    });
    showEverything();
}

QLineSeries *TrendChartView::series(TrendQuantity quantity) const
{
    return quantity == TrendQuantity::Pressure ? m_pressureSeries : m_temperatureSeries;
}

QVector<QPointF> TrendChartView::drawnPoints(TrendQuantity quantity) const
{
    return (quantity == TrendQuantity::Pressure ? m_pressureLines : m_temperatureLines)->points();
}

QString TrendChartView::hoverText() const
{
    return m_hoverBox->isVisible() ? m_hoverLabel->text() : QString();
}

void TrendChartView::showEverything()
{
    m_following = true;
    refresh();
}

void TrendChartView::refresh()
{
    if (m_following) {
        const qint64 latest = qMax(QDateTime::currentMSecsSinceEpoch(), m_trend.history.lastMs());
        m_fromMs = m_trend.addedMs;
        m_toMs = qMax(latest, m_trend.addedMs + FirstSpanMs);
    }
    redraw();
}

void TrendChartView::setView(qint64 fromMs, qint64 toMs)
{
    m_following = false;
    m_fromMs = fromMs;
    m_toMs = toMs;
    redraw();
}

void TrendChartView::redraw()
{
    const int columns = qMax(1, int(chart()->plotArea().width()));
    m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(m_fromMs), QDateTime::fromMSecsSinceEpoch(m_toMs));

    const QList<QPair<TrendLinesItem *, QValueAxis *>> pairs = {{m_pressureLines, m_pressureAxis},
                                                                {m_temperatureLines, m_temperatureAxis}};
    for (const auto &pair : pairs) {
        const TrendQuantity quantity
            = pair.first == m_pressureLines ? TrendQuantity::Pressure : TrendQuantity::Temperature;
        ColumnDecimator decimator(m_fromMs, m_toMs, columns);
        m_trend.history.feed(quantity, m_fromMs, m_toMs, decimator);
        if (quantity == TrendQuantity::Pressure)
            fitValueAxis(pair.second, decimator, m_limits.pressureLow, m_limits.pressureHigh);
        else
            fitValueAxis(pair.second, decimator, m_limits.temperatureLow, m_limits.temperatureHigh);
        pair.first->setPoints(decimator.finish(), columns);
    }
    placeLimit(m_limitSeries[0], m_limits.pressureLow, m_fromMs, m_toMs);
    placeLimit(m_limitSeries[1], m_limits.pressureHigh, m_fromMs, m_toMs);
    placeLimit(m_limitSeries[2], m_limits.temperatureLow, m_fromMs, m_toMs);
    placeLimit(m_limitSeries[3], m_limits.temperatureHigh, m_fromMs, m_toMs);
}

void TrendChartView::setLimits(const Limits &limits)
{
    if (limits == m_limits)
        return;
    m_limits = limits;
    redraw();
}

QVector<double> TrendChartView::limitLines() const
{
    QVector<double> lines;
    for (const QLineSeries *series : m_limitSeries)
        lines << (series->count() ? series->at(0).y() : qQNaN());
    return lines;
}

qint64 TrendChartView::timeAt(const QPoint &position) const
{
    const QPointF inChart = chart()->mapFromScene(mapToScene(position));
    return qint64(std::llround(chart()->mapToValue(inChart, m_pressureSeries).x()));
}

void TrendChartView::wheelEvent(QWheelEvent *event)
{
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0 || m_toMs <= m_fromMs) {
        event->ignore();
        return;
    }
    const qint64 anchor = qBound(m_fromMs, timeAt(event->position().toPoint()), m_toMs);
    const double share = double(anchor - m_fromMs) / double(m_toMs - m_fromMs);
    const double span = double(m_toMs - m_fromMs) * std::pow(ZoomInFactor, steps);
    const qint64 newSpan = qMax(MinimumSpanMs, qint64(span));
    const qint64 from = anchor - qint64(share * double(newSpan));
    setView(from, from + newSpan);
    event->accept();
}

void TrendChartView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QChartView::mousePressEvent(event);
        return;
    }
    m_dragging = true;
    m_dragStart = event->pos();
    m_dragFromMs = m_fromMs;
    m_dragToMs = m_toMs;
    hideHover();
    event->accept();
}

void TrendChartView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragging) {
        showHover(event->pos());
        return;
    }
    const double width = chart()->plotArea().width();
    if (width < 1 || event->pos().x() == m_dragStart.x())
        return;
    const qint64 shift
        = qint64(double(m_dragStart.x() - event->pos().x()) * double(m_dragToMs - m_dragFromMs) / width);
    setView(m_dragFromMs + shift, m_dragToMs + shift);
}

void TrendChartView::mouseReleaseEvent(QMouseEvent *event)
{
    m_dragging = false;
    QChartView::mouseReleaseEvent(event);
}

void TrendChartView::mouseDoubleClickEvent(QMouseEvent *event)
{
    m_dragging = false;
    showEverything();
    event->accept();
}

void TrendChartView::leaveEvent(QEvent *event)
{
    hideHover();
    QChartView::leaveEvent(event);
}

void TrendChartView::showHover(const QPoint &position)
{
    const QPointF inChart = chart()->mapFromScene(mapToScene(position));
    const QRectF area = chart()->plotArea();
    if (m_trend.history.isEmpty() || !area.contains(inChart)) {
        hideHover();
        return;
    }
    bool aggregated = false;
    const TrendSample sample = m_trend.history.nearest(timeAt(position), &aggregated);
    m_hoverLabel->setText(describe(sample, aggregated));
    m_hoverLabel->setPos(4, 4);
    const QRectF box = m_hoverLabel->boundingRect().adjusted(0, 0, 8, 8);
    m_hoverBox->setRect(box);

    // Beside the cursor, on whichever side keeps it inside the plot.
    QPointF at = inChart + QPointF(HoverOffset, HoverOffset);
    if (at.x() + box.width() > area.right())
        at.setX(inChart.x() - HoverOffset - box.width());
    if (at.y() + box.height() > area.bottom())
        at.setY(inChart.y() - HoverOffset - box.height());
    m_hoverBox->setPos(at);
    m_hoverBox->show();
}

void TrendChartView::hideHover()
{
    m_hoverBox->hide();
}

QString TrendChartView::describe(const TrendSample &sample, bool aggregated) const
{
    // Formatted as the tile formats its texts, truncation at 0 decimals included.
    const auto value = [](float number, const QString &text, const QString &unit) {
        return std::isnan(number) ? tr("无读数") : QStringLiteral("%1 %2").arg(text, unit);
    };
    QString time = millisecondsText(QDateTime::fromMSecsSinceEpoch(sample.ms));
    if (aggregated)
        time += tr("（该分钟最后一次）");
    return tr("%1\n压力：%2\n温度：%3")
        .arg(time, value(sample.pressure, formatPressure(sample.pressure, m_trend.decimals), m_trend.unit),
             value(sample.temperature, formatTemperature(sample.temperature), QStringLiteral("℃")));
}
