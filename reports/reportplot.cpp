#include "reportplot.h"

#include "axisticks.h"
#include "timeformat.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>

#include <algorithm>
#include <cmath>

namespace {

constexpr int TimeTicks = 5;
constexpr int ValueTicks = 9;
const QColor SeriesColor(0, 70, 170);
const QColor GridColor(215, 215, 215);

// The y range the plot must show: its points and its lines.
bool valueRange(const ReportPlot &plot, double *low, double *high)
{
    bool any = false;
    const auto take = [&](double value) {
        if (!std::isfinite(value))
            return;
        *low = any ? std::min(*low, value) : value;
        *high = any ? std::max(*high, value) : value;
        any = true;
    };
    for (const PlotSeries &series : plot.series) {
        for (const QPointF &point : series.points)
            take(point.y());
    }
    for (const PlotLine &line : plot.lines)
        take(line.value);
    const double margin = (*high - *low) * plot.valueMargin;
    *low -= margin;
    *high += margin;
    return any;
}

bool hasPoints(const ReportPlot &plot)
{
    return std::any_of(plot.series.cbegin(), plot.series.cend(),
                       [](const PlotSeries &series) { return !series.points.isEmpty(); });
}

// One tick of the x axis: where it is, in the axis's unit, and its label.
struct XTick
{
    double x;
    QString label;
};

struct XScale
{
    double from;
    double to;
    QVector<XTick> ticks;
};

XScale xScale(const ReportPlot &plot)
{
    XScale scale;
    if (plot.xAxis == ReportPlot::Time) {
        const qint64 fromMs = qint64(plot.xFrom);
        const qint64 duration = std::max<qint64>(qint64(plot.xTo) - fromMs, 1);
        scale.from = double(fromMs);
        scale.to = double(fromMs + duration);
        for (int i = 0; i <= TimeTicks; ++i) {
            const qint64 ms = fromMs + duration * i / TimeTicks;
            scale.ticks.append({double(ms), QDateTime::fromMSecsSinceEpoch(ms).toString(axisTimeFormat())});
        }
        return scale;
    }
    const AxisTicks ticks = roundTicks(plot.xFrom, plot.xTo, ValueTicks);
    scale.from = ticks.low;
    scale.to = std::max(ticks.high, ticks.low + 1e-12);
    for (int i = 0; i < ticks.count; ++i) {
        const double x = ticks.low + i * ticks.step;
        scale.ticks.append({x, ticks.label(x)});
    }
    return scale;
}

void drawMarker(QPainter &painter, const QPointF &at, PlotMark mark, qreal radius, qreal penWidth)
{
    painter.setPen(QPen(SeriesColor, penWidth));
    painter.setBrush(mark == PlotMark::FilledMarker ? QBrush(SeriesColor) : QBrush(Qt::white));
    painter.drawEllipse(at, radius, radius);
}

// The labelled series, right-aligned on the title's line.
void drawLegend(QPainter &painter, const QRectF &line, const ReportPlot &plot, qreal radius, qreal penWidth)
{
    const QFontMetricsF metrics = painter.fontMetrics();
    qreal right = line.right();
    for (int i = plot.series.size() - 1; i >= 0; --i) {
        const PlotSeries &series = plot.series.at(i);
        if (series.label.isEmpty())
            continue;
        const qreal width = metrics.horizontalAdvance(series.label);
        painter.setPen(Qt::black);
        painter.drawText(QRectF(right - width, line.top(), width, line.height()), Qt::AlignLeft | Qt::AlignVCenter,
                         series.label);
        const QPointF at(right - width - radius * 2, line.center().y());
        if (series.mark == PlotMark::Line) {
            painter.setPen(QPen(SeriesColor, penWidth));
            painter.drawLine(at - QPointF(radius * 2, 0), at + QPointF(radius, 0));
        } else {
            drawMarker(painter, at, series.mark, radius, penWidth);
        }
        right = at.x() - radius * 3 - metrics.horizontalAdvance(QLatin1Char(' ')) * 2;
    }
}

} // namespace

ReportPlot timePlot(const QString &title, qint64 fromMs, qint64 toMs, const QVector<QPointF> &points)
{
    ReportPlot plot;
    plot.title = title;
    plot.xAxis = ReportPlot::Time;
    plot.xFrom = double(fromMs);
    plot.xTo = double(toMs);
    plot.series.append({points, PlotMark::Line, QString()});
    plot.emptyText = QCoreApplication::translate("ReportPlot", "无记录数据");
    return plot;
}

void drawPlot(QPainter &painter, const QRectF &area, const ReportPlot &plot, const QFont &font)
{
    painter.save();
    painter.setFont(font);
    const QFontMetricsF metrics = painter.fontMetrics();
    const qreal textHeight = metrics.height();
    const QRectF titleLine(area.left(), area.top(), area.width(), textHeight);

    painter.setPen(Qt::black);
    painter.drawText(titleLine, Qt::AlignLeft | Qt::AlignVCenter, plot.title);

    double low = 0.0;
    double high = 1.0;
    const bool hasValues = valueRange(plot, &low, &high);
    const AxisTicks ticks = roundTicks(low, high, 6);
    qreal labelWidth = 0;
    for (int i = 0; i < ticks.count; ++i)
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(ticks.label(ticks.low + i * ticks.step)));
    const qreal xTitleHeight = plot.xTitle.isEmpty() ? 0 : textHeight * 1.1;
    // The top value's label stands half a line above the frame: clear of the title's line.
    const QRectF frame(area.left() + labelWidth + textHeight * 0.5, area.top() + textHeight * 1.6,
                       area.width() - labelWidth - textHeight * 1.5, area.height() - textHeight * 3.1 - xTitleHeight);
    const qreal span = std::max(ticks.high - ticks.low, 1e-12);
    const XScale scale = xScale(plot);
    const auto xOf = [&](double x) {
        return frame.left() + frame.width() * (x - scale.from) / (scale.to - scale.from);
    };
    const auto yOf = [&](double value) { return frame.bottom() - frame.height() * (value - ticks.low) / span; };
    const qreal hair = frame.width() / 2000.0;
    const qreal radius = textHeight * 0.3;

    // Grid and labels.
    for (int i = 0; i < ticks.count; ++i) {
        const double value = ticks.low + i * ticks.step;
        const qreal y = yOf(value);
        painter.setPen(QPen(GridColor, hair));
        painter.drawLine(QPointF(frame.left(), y), QPointF(frame.right(), y));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(area.left(), y - textHeight / 2, labelWidth, textHeight),
                         Qt::AlignRight | Qt::AlignVCenter, ticks.label(value));
    }
    for (const XTick &tick : scale.ticks) {
        const qreal x = xOf(tick.x);
        painter.setPen(QPen(GridColor, hair));
        painter.drawLine(QPointF(x, frame.top()), QPointF(x, frame.bottom()));
        painter.setPen(Qt::black);
        const qreal width = metrics.horizontalAdvance(tick.label);
        const qreal left = std::clamp(x - width / 2, area.left(), area.right() - width);
        painter.drawText(QRectF(left, frame.bottom() + textHeight * 0.2, width, textHeight), Qt::AlignCenter,
                         tick.label);
    }
    if (!plot.xTitle.isEmpty())
        painter.drawText(QRectF(frame.left(), frame.bottom() + textHeight * 1.3, frame.width(), textHeight),
                         Qt::AlignRight | Qt::AlignVCenter, plot.xTitle);
    painter.setPen(QPen(Qt::black, hair * 2));
    painter.drawRect(frame);

    painter.setClipRect(frame);
    for (const PlotLine &line : plot.lines) {
        const bool limit = line.style == PlotLine::Limit;
        const QColor color = limit ? QColor(200, 0, 0) : QColor(110, 110, 110);
        painter.setPen(QPen(color, hair * 3, limit ? Qt::DashLine : Qt::SolidLine));
        const qreal y = yOf(line.value);
        painter.drawLine(QPointF(frame.left(), y), QPointF(frame.right(), y));
        painter.drawText(QRectF(frame.left() + textHeight * 0.3, y - textHeight, frame.width(), textHeight),
                         Qt::AlignLeft | Qt::AlignBottom, line.label);
    }
    for (const PlotSeries &series : plot.series) {
        if (series.mark != PlotMark::Line)
            continue;
        QPainterPath path;
        bool open = false;
        for (const QPointF &point : series.points) {
            if (!std::isfinite(point.y())) {
                open = false;
                continue;
            }
            const QPointF at(xOf(point.x()), yOf(point.y()));
            if (open)
                path.lineTo(at);
            else
                path.moveTo(at);
            open = true;
        }
        painter.setPen(QPen(SeriesColor, hair * 3));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
    }
    // Markers whole, even on the frame's edge at the range's ends.
    painter.setClipping(false);
    for (const PlotSeries &series : plot.series) {
        if (series.mark == PlotMark::Line)
            continue;
        for (const QPointF &point : series.points) {
            if (std::isfinite(point.x()) && std::isfinite(point.y()))
                drawMarker(painter, QPointF(xOf(point.x()), yOf(point.y())), series.mark, radius, hair * 3);
        }
    }
    drawLegend(painter, titleLine, plot, radius, hair * 3);
    if (!hasValues || !hasPoints(plot)) {
        painter.setPen(Qt::darkGray);
        painter.drawText(frame, Qt::AlignCenter, plot.emptyText);
    }
    painter.restore();
}
