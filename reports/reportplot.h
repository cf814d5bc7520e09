#pragma once

#include <QPointF>
#include <QString>
#include <QVector>

class QFont;
class QPainter;
class QRectF;

// A line drawn across a plot at one value: a limit or a tolerance band's edge
// (dashed, red), or a reference such as zero (solid, grey).
struct PlotLine
{
    enum Style { Limit, Reference };

    double value = 0.0;
    QString label;
    Style style = Limit;
};

// How a series is drawn: joined by a line that breaks at a NaN y, or as
// separate markers, filled or open so that two series tell apart in black
// and white.
enum class PlotMark { Line, FilledMarker, OpenMarker };

struct PlotSeries
{
    QVector<QPointF> points;
    PlotMark mark = PlotMark::Line;
    // Shown in the legend; a plot whose series have no labels has none.
    QString label;
};

// One quantity against time or against another quantity, as a printed page
// shows it. On a time axis x is in milliseconds since the epoch and the axis
// is labelled with its start, its end and even steps between; on a value
// axis the ticks sit on round numbers covering xFrom..xTo.
struct ReportPlot
{
    enum XAxis { Time, Value };

    QString title;
    XAxis xAxis = Time;
    double xFrom = 0.0;
    double xTo = 1.0;
    // Under the x axis's labels, right-aligned; none when empty.
    QString xTitle;
    QVector<PlotSeries> series;
    QVector<PlotLine> lines;
    // The share of the value range left free above and below it, so that a
    // line at either end keeps its label inside the frame.
    double valueMargin = 0.0;
    // Shown in the frame when there is nothing to draw.
    QString emptyText;
};

// A trend over [fromMs, toMs]: the points thinned to the plot's columns, a
// NaN y where the line breaks; "无记录数据" when there are none.
ReportPlot timePlot(const QString &title, qint64 fromMs, qint64 toMs, const QVector<QPointF> &points);

// Draws the plot into `area` with QPainter alone, so on any thread: the value
// axis on round ticks, the x axis as its kind asks, the lines across it.
void drawPlot(QPainter &painter, const QRectF &area, const ReportPlot &plot, const QFont &font);
