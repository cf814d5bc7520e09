// Redraw time and memory of a trend holding 7 days of history at a 0.5 s
// cycle, fed synthetic polls without waiting. Run it offscreen:
//   QT_QPA_PLATFORM=offscreen build/bench/velmora-trendbench
#include "trendchartview.h"
#include "trendrecorder.h"
#include "trendwindow.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr qint64 CycleMs = 500;
constexpr qint64 WeekMs = 7LL * 24 * 3600 * 1000;
constexpr int Repeats = 31;

double medianMs(const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < Repeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);

    // A slow wave with noise, a failed poll in every seven and a spike a day.
    DeviceTrend trend;
    trend.address = 1;
    trend.unit = QStringLiteral("KPa");
    trend.decimals = 3;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    trend.addedMs = now - WeekMs;
    const qint64 polls = WeekMs / CycleMs;
    QElapsedTimer feeding;
    feeding.start();
    for (qint64 i = 0; i < polls; ++i) {
        const qint64 ms = trend.addedMs + i * CycleMs;
        if (i % 7 == 6) {
            trend.history.appendGap(ms);
            continue;
        }
        const double phase = double(i) / 3600.0;
        const float pressure = float(250.0 + 5.0 * std::sin(phase) + (i % 172800 == 1000 ? 80.0 : 0.0)
                                     + 0.05 * double((i * 7919) % 13));
        trend.history.append({ms, pressure, float(20.0 + 2.0 * std::cos(phase))});
    }
    const double feedSeconds = double(feeding.nsecsElapsed()) / 1e9;

    TrendWindow window(trend);
    window.resize(1280, 720);
    window.show();
    QCoreApplication::processEvents();
    TrendChartView *view = window.chartView();
    QImage canvas(view->size(), QImage::Format_ARGB32_Premultiplied);

    const auto redraw = [&] {
        window.refresh();
        QPainter painter(&canvas);
        view->render(&painter);
    };
    const double wholeWeek = medianMs(redraw);
    const double decimateOnly = medianMs([&] { window.refresh(); });
    const int drawnPoints = view->drawnPoints(TrendQuantity::Pressure).size();

    // The last hour, zoomed in: full resolution.
    QWheelEvent zoom(QPointF(view->width() - 60, view->height() / 2), view->mapToGlobal(QPoint(view->width() - 60, 0)),
                     QPoint(), QPoint(0, 120 * 20), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &zoom);
    const double lastHours = medianMs(redraw);

    std::printf("polls fed: %lld over 7 days in %.2f s\n", polls, feedSeconds);
    std::printf("history memory per device: %.2f MB (%zu bytes)\n", double(trend.history.memoryBytes()) / 1e6,
                trend.history.memoryBytes());
    std::printf("plot width: %d px, pressure points drawn: %d\n", int(view->chart()->plotArea().width()), drawnPoints);
    std::printf("redraw, whole week (decimate + paint 1280x720), median of %d: %.2f ms\n", Repeats, wholeWeek);
    std::printf("decimation and axes only, whole week, median of %d: %.2f ms\n", Repeats, decimateOnly);
    std::printf("redraw, zoomed to the last %.1f h, median of %d: %.2f ms\n",
                double(view->viewToMs() - view->viewFromMs()) / 3.6e6, Repeats, lastHours);
    return 0;
}
