#include "trendlinesitem.h"

#include <QChart>
#include <QLineSeries>
#include <QPainter>
#include <QPolygonF>

#include <cmath>

using namespace QtCharts;

TrendLinesItem::TrendLinesItem(QChart *chart, QLineSeries *series)
    : QGraphicsItem(chart)
    , m_chart(chart)
    , m_series(series)
{
    // Where Qt Charts puts its own series: above the grid and the axes.
    setZValue(4);
}

void TrendLinesItem::setPoints(const QVector<QPointF> &points, int columns)
{
    prepareGeometryChange();
    m_points = points;
    m_columns = columns;
    update();
}

QRectF TrendLinesItem::boundingRect() const
{
    const qreal half = m_series->pen().widthF() / 2;
    return m_chart->plotArea().adjusted(-half, -half, half, half);
}

void TrendLinesItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    if (!m_series->isVisible())
        return;
    // A sample on the frame is drawn whole, not cut in half.
    const QPen pen = m_series->pen();
    const qreal half = pen.widthF() / 2;
    painter->setClipRect(m_chart->plotArea().adjusted(-half, -half, half, half));
    painter->setPen(pen);

    // Polylines rather than one path: the raster engine draws them far faster.
    QPolygonF line;
    const auto drawLine = [painter, &line] {
        // A lone sample still shows as a dot of the pen's width.
        if (line.size() == 1)
            painter->drawPoint(line.constFirst());
        else if (line.size() > 1)
            painter->drawPolyline(line);
        line.clear();
    };
    for (const QPointF &point : qAsConst(m_points)) {
        if (std::isnan(point.y()))
            drawLine();
        else
            line.append(m_chart->mapToPosition(point, m_series));
    }
    drawLine();
}
