#pragma once

#include <QWidget>

struct DeviceTrend;
class TrendChartView;

// A device's trend in a window of its own: the chart, a button back to the
// whole session following live, and one to save the chart as a PNG picture.
class TrendWindow : public QWidget
{
    Q_OBJECT

public:
    explicit TrendWindow(const DeviceTrend &trend, QWidget *parent = nullptr);

    TrendChartView *chartView() const { return m_chart; }
    void refresh();
    bool savePicture(const QString &path) const;

private:
    void askAndSave();

    const DeviceTrend &m_trend;
    TrendChartView *m_chart;
};
