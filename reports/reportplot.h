#pragma once

#include <QPointF>
#include <QString>
#include <QVector>

class QFont;
class QPainter;
class QRectF;

// A line drawn across a plot at one value: a limit, a tolerance band's edge.
struct PlotLine
{
    double value = 0.0;
    QString label;
};

// One quantity over time as a printed page shows it: the points thinned to
// the plot's columns (x in milliseconds since the epoch, a NaN y where the
// line breaks), the time span, and the lines to draw across it.
struct TimePlot
{
    QString title;
    qint64 fromMs = 0;
    qint64 toMs = 0;
    QVector<QPointF> points;
    QVector<PlotLine> lines;
};

// Draws the plot into `area` with QPainter alone, so on any thread: the value
// axis on round ticks, the time axis with its start and end, the lines dashed.
void drawTimePlot(QPainter &painter, const QRectF &area, const TimePlot &plot, const QFont &font);
