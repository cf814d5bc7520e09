#include "reportplot.h"

#include "axisticks.h"
#include "timeformat.h"

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

// The value range the plot must show: its points and its lines.
bool valueRange(const TimePlot &plot, double *low, double *high)
{
    bool any = false;
    const auto take = [&](double value) {
        if (!std::isfinite(value))
            return;
        *low = any ? std::min(*low, value) : value;
        *high = any ? std::max(*high, value) : value;
        any = true;
    };
    for (const QPointF &point : plot.points)
        take(point.y());
    for (const PlotLine &line : plot.lines)
        take(line.value);
    return any;
}

} // namespace

void drawTimePlot(QPainter &painter, const QRectF &area, const TimePlot &plot, const QFont &font)
{
    painter.save();
    painter.setFont(font);
    const QFontMetricsF metrics = painter.fontMetrics();
    const qreal textHeight = metrics.height();

    painter.setPen(Qt::black);
    painter.drawText(QRectF(area.left(), area.top(), area.width(), textHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     plot.title);

    double low = 0.0;
    double high = 1.0;
    const bool hasValues = valueRange(plot, &low, &high);
    const AxisTicks ticks = roundTicks(low, high, 6);
    qreal labelWidth = 0;
    for (int i = 0; i < ticks.count; ++i)
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(ticks.label(ticks.low + i * ticks.step)));
    const QRectF frame(area.left() + labelWidth + textHeight * 0.5, area.top() + textHeight * 1.3,
                       area.width() - labelWidth - textHeight * 1.5, area.height() - textHeight * 2.8);
    const qreal span = std::max(ticks.high - ticks.low, 1e-12);
    const qint64 duration = std::max<qint64>(plot.toMs - plot.fromMs, 1);
    const auto xOf = [&](double ms) { return frame.left() + frame.width() * (ms - double(plot.fromMs)) / duration; };
    const auto yOf = [&](double value) { return frame.bottom() - frame.height() * (value - ticks.low) / span; };
    const qreal hair = frame.width() / 2000.0;

    // Grid and labels.
    for (int i = 0; i < ticks.count; ++i) {
        const double value = ticks.low + i * ticks.step;
        const qreal y = yOf(value);
        painter.setPen(QPen(QColor(215, 215, 215), hair));
        painter.drawLine(QPointF(frame.left(), y), QPointF(frame.right(), y));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(area.left(), y - textHeight / 2, labelWidth, textHeight),
                         Qt::AlignRight | Qt::AlignVCenter, ticks.label(value));
    }
    for (int i = 0; i <= TimeTicks; ++i) {
        const qint64 ms = plot.fromMs + duration * i / TimeTicks;
        const qreal x = xOf(double(ms));
        painter.setPen(QPen(QColor(215, 215, 215), hair));
        painter.drawLine(QPointF(x, frame.top()), QPointF(x, frame.bottom()));
        painter.setPen(Qt::black);
        const QString label = QDateTime::fromMSecsSinceEpoch(ms).toString(axisTimeFormat());
        const qreal width = metrics.horizontalAdvance(label);
        const qreal left = std::clamp(x - width / 2, area.left(), area.right() - width);
        painter.drawText(QRectF(left, frame.bottom() + textHeight * 0.2, width, textHeight), Qt::AlignCenter, label);
    }
    painter.setPen(QPen(Qt::black, hair * 2));
    painter.drawRect(frame);

    painter.setClipRect(frame);
    for (const PlotLine &line : plot.lines) {
        QPen pen(QColor(200, 0, 0), hair * 3, Qt::DashLine);
        painter.setPen(pen);
        const qreal y = yOf(line.value);
        painter.drawLine(QPointF(frame.left(), y), QPointF(frame.right(), y));
        painter.drawText(QRectF(frame.left() + textHeight * 0.3, y - textHeight, frame.width(), textHeight),
                         Qt::AlignLeft | Qt::AlignBottom, line.label);
    }
    QPainterPath path;
    bool open = false;
    for (const QPointF &point : plot.points) {
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
    painter.setPen(QPen(QColor(0, 70, 170), hair * 3));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    painter.setClipping(false);
    if (!hasValues || plot.points.isEmpty()) {
        painter.setPen(Qt::darkGray);
        painter.drawText(frame, Qt::AlignCenter, QStringLiteral("无记录数据"));
    }
    painter.restore();
}
