#pragma once

#include "devicelimits.h"
#include "trendhistory.h"

#include <QChartView>
#include <QPointF>
#include <QVector>

struct DeviceTrend;
class TrendLinesItem;
class QGraphicsSimpleTextItem;
class QGraphicsRectItem;

namespace QtCharts {
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;
}

// A device's pressure (left axis) and temperature (right axis) against wall
// clock time. It shows everything since the device was added and follows new
// polls until the operator zooms (wheel) or pans (drag); showEverything() or a
// double-click returns to that. Hovering names the nearest poll.
class TrendChartView : public QtCharts::QChartView
{
    Q_OBJECT

public:
    explicit TrendChartView(const DeviceTrend &trend, QWidget *parent = nullptr);

    void showEverything();
    // Redraws from the history, e.g. after a new poll.
    void refresh();
    // The device's limits, drawn as dashed lines the value axes include.
    void setLimits(const Limits &limits);
    // The y of each limit line drawn, in the order pressure low, high,
    // temperature low, high; NaN for a limit that is not set.
    QVector<double> limitLines() const;

    bool isFollowing() const { return m_following; }
    qint64 viewFromMs() const { return m_fromMs; }
    qint64 viewToMs() const { return m_toMs; }
    // The points drawn for a quantity; a NaN y separates two lines.
    QVector<QPointF> drawnPoints(TrendQuantity quantity) const;
    QString hoverText() const;
    QtCharts::QLineSeries *series(TrendQuantity quantity) const;

protected:
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    void setView(qint64 fromMs, qint64 toMs);
    void redraw();
    void showHover(const QPoint &position);
    void hideHover();
    qint64 timeAt(const QPoint &position) const;
    QString describe(const TrendSample &sample, bool aggregated) const;

    const DeviceTrend &m_trend;
    QtCharts::QDateTimeAxis *m_timeAxis;
    QtCharts::QValueAxis *m_pressureAxis;
    QtCharts::QValueAxis *m_temperatureAxis;
    QtCharts::QLineSeries *m_pressureSeries;
    QtCharts::QLineSeries *m_temperatureSeries;
    // Pressure low, high, temperature low, high.
    QtCharts::QLineSeries *m_limitSeries[4];
    Limits m_limits;
    TrendLinesItem *m_pressureLines;
    TrendLinesItem *m_temperatureLines;
    QGraphicsRectItem *m_hoverBox;
    QGraphicsSimpleTextItem *m_hoverLabel;

    bool m_following = true;
    qint64 m_fromMs = 0;
    qint64 m_toMs = 0;
    bool m_dragging = false;
    QPoint m_dragStart;
    qint64 m_dragFromMs = 0;
    qint64 m_dragToMs = 0;
};
