#pragma once

#include <QGraphicsItem>
#include <QPointF>
#include <QVector>

namespace QtCharts {
class QChart;
class QLineSeries;
}

// Draws a series' decimated points in the chart's plot area, mapped through
// the series' axes, with the series' pen. A NaN y ends a line: a line series
// of Qt Charts drops such points and would join the two sides of a gap.
class TrendLinesItem : public QGraphicsItem
{
public:
    TrendLinesItem(QtCharts::QChart *chart, QtCharts::QLineSeries *series);

    // `columns`: the plot width in pixels the points were decimated for.
    void setPoints(const QVector<QPointF> &points, int columns);
    const QVector<QPointF> &points() const { return m_points; }
    int columns() const { return m_columns; }

    QRectF boundingRect() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

private:
    QtCharts::QChart *m_chart;
    QtCharts::QLineSeries *m_series;
    QVector<QPointF> m_points;
    int m_columns = 0;
};
