#include "trendchartview.h"
#include "trenddecimation.h"
#include "trendhistory.h"
#include "trendrecorder.h"

#include <QDateTime>
#include <QImage>
#include <QLineSeries>
#include <QValueAxis>
#include <QtTest>

#include <cmath>
#include <limits>

using namespace QtCharts;

namespace {

constexpr qint64 CycleMs = 500;
constexpr qint64 DayMs = 24 * 3600 * 1000;
constexpr std::size_t MemoryBound = 4 * 1000 * 1000;
constexpr float NotANumber = std::numeric_limits<float>::quiet_NaN();

int breaks(const QVector<QPointF> &points)
{
    return int(std::count_if(points.begin(), points.end(), [](const QPointF &p) { return std::isnan(p.y()); }));
}

double highest(const QVector<QPointF> &points)
{
    double high = -std::numeric_limits<double>::infinity();
    for (const QPointF &point : points) {
        if (!std::isnan(point.y()))
            high = std::max(high, point.y());
    }
    return high;
}

} // namespace

class TestTrendHistory : public QObject
{
    Q_OBJECT

private slots:
    void weekStaysUnderMemoryBound_data();
    void weekStaysUnderMemoryBound();
    void spikeIsDrawn_data();
    void spikeIsDrawn();
    void navigationZoomsPansAndReturns();
};

void TestTrendHistory::weekStaysUnderMemoryBound_data()
{
    QTest::addColumn<int>("failEvery"); // 0: no poll fails
    QTest::addColumn<int>("nonFiniteEvery");

    QTest::newRow("every poll answered") << 0 << 0;
    QTest::newRow("every 7th poll fails") << 7 << 0;
    QTest::newRow("every 50th reading is not finite") << 0 << 50;
}

void TestTrendHistory::weekStaysUnderMemoryBound()
{
    QFETCH(int, failEvery);
    QFETCH(int, nonFiniteEvery);

    // A week at a 0.5 s cycle, a slow wave with one spike on the first day.
    const qint64 start = QDateTime(QDate(2026, 3, 2), QTime(8, 0)).toMSecsSinceEpoch();
    const qint64 polls = 7 * DayMs / CycleMs;
    const qint64 spikePoll = 3600 * 2 + 7; // an hour into the first day
    TrendHistory history;
    for (qint64 i = 0; i < polls; ++i) {
        const qint64 ms = start + i * CycleMs;
        if (failEvery > 0 && i % failEvery == failEvery - 1) {
            history.appendGap(ms);
            continue;
        }
        float pressure = float(100.0 + 5.0 * std::sin(double(i) / 2000.0));
        if (i == spikePoll)
            pressure = 900.0f;
        else if (nonFiniteEvery > 0 && i % nonFiniteEvery == 1)
            pressure = std::numeric_limits<float>::infinity();
        history.append({ms, pressure, 21.5f});
    }

    QVERIFY2(history.memoryBytes() < MemoryBound, qPrintable(QString::number(history.memoryBytes())));

    // Still the whole session: the first minute and the spike of the first day.
    bool aggregated = false;
    const TrendSample first = history.nearest(start, &aggregated);
    QVERIFY(aggregated);
    QVERIFY(first.ms - start < 60000);
    ColumnDecimator week(start, start + 7 * DayMs, 1000);
    history.feed(TrendQuantity::Pressure, start, start + 7 * DayMs, week);
    const QVector<QPointF> points = week.finish();
    QCOMPARE(highest(points), 900.0);
    double low = 0;
    double high = 0;
    QVERIFY(week.valueRange(&low, &high));
    QVERIFY(low > 94 && low < 96);

    // Drop-outs and values that are not finite break the pressure line, in the
    // minutes as in the last day; temperature only breaks where a poll failed.
    const bool gaps = failEvery > 0 || nonFiniteEvery > 0;
    QCOMPARE(breaks(points) > 0, gaps);
    ColumnDecimator olderDays(start, start + 5 * DayMs, 1000);
    history.feed(TrendQuantity::Pressure, start, start + 5 * DayMs, olderDays);
    QCOMPARE(breaks(olderDays.finish()) > 0, gaps);
    ColumnDecimator temperature(start, start + 7 * DayMs, 1000);
    history.feed(TrendQuantity::Temperature, start, start + 7 * DayMs, temperature);
    QCOMPARE(breaks(temperature.finish()) > 0, failEvery > 0);
}

void TestTrendHistory::spikeIsDrawn_data()
{
    QTest::addColumn<int>("spikeIndex");
    QTest::addColumn<qint64>("cycleMs");

    // 100 000 polls at 0.5 s stay in full resolution; at 6 s most are minutes.
    QTest::newRow("first poll") << 0 << qint64(500);
    QTest::newRow("middle poll") << 50000 << qint64(500);
    QTest::newRow("last poll") << 99999 << qint64(500);
    QTest::newRow("middle poll, folded into a minute") << 50000 << qint64(6000);
}

void TestTrendHistory::spikeIsDrawn()
{
    QFETCH(int, spikeIndex);
    QFETCH(qint64, cycleMs);

    constexpr int Samples = 100000;
    DeviceTrend trend;
    trend.address = 9;
    trend.unit = QStringLiteral("KPa");
    trend.decimals = 2;
    const qint64 start = QDateTime::currentMSecsSinceEpoch() - Samples * cycleMs;
    trend.addedMs = start;
    for (int i = 0; i < Samples; ++i) {
        const float pressure = i == spikeIndex ? 150.0f : float(100.0 + std::sin(i / 500.0));
        trend.history.append({start + i * cycleMs, pressure, 20.0f});
    }

    TrendChartView view(trend);
    view.resize(1000, 500);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.refresh();

    const QVector<QPointF> points = view.drawnPoints(TrendQuantity::Pressure);
    QVERIFY(points.size() < 4 * 1000 + 8);
    QCOMPARE(highest(points), 150.0);

    // The spike's pixel carries the pressure line's colour.
    QPointF spike;
    for (const QPointF &point : points) {
        if (point.y() == 150.0)
            spike = point;
    }
    const QPoint pixel = view.mapFromScene(view.chart()->mapToScene(
        view.chart()->mapToPosition(spike, view.series(TrendQuantity::Pressure))));
    const QImage image = view.grab().toImage();
    const QColor lineColour = view.series(TrendQuantity::Pressure)->pen().color();
    bool found = false;
    for (int dx = -2; dx <= 2 && !found; ++dx) {
        for (int dy = -2; dy <= 2 && !found; ++dy) {
            const QColor colour = image.pixelColor(pixel + QPoint(dx, dy));
            found = std::abs(colour.red() - lineColour.red()) < 40 && std::abs(colour.green() - lineColour.green()) < 40
                && std::abs(colour.blue() - lineColour.blue()) < 40;
        }
    }
    QVERIFY2(found, qPrintable(QStringLiteral("no line colour near (%1, %2)").arg(pixel.x()).arg(pixel.y())));
}

void TestTrendHistory::navigationZoomsPansAndReturns()
{
    // An hour of a step: 10 for the first half, 50 for the second.
    DeviceTrend trend;
    trend.unit = QStringLiteral("Bar");
    trend.decimals = 1;
    const qint64 start = QDateTime::currentMSecsSinceEpoch() - 3600 * 1000;
    trend.addedMs = start;
    for (qint64 ms = 0; ms < 3600 * 1000; ms += 1000)
        trend.history.append({start + ms, ms < 1800 * 1000 ? 10.0f : 50.0f, ms < 1800 * 1000 ? NotANumber : 30.0f});

    TrendChartView view(trend);
    view.resize(1000, 500);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.refresh();
    QVERIFY(view.isFollowing());
    auto *pressureAxis = qobject_cast<QValueAxis *>(view.chart()->axes(Qt::Vertical).value(0));
    QVERIFY(pressureAxis);
    QVERIFY(pressureAxis->min() < 10 && pressureAxis->max() > 50);

    // Zoom in around a point in the first quarter: the time under the cursor
    // stays, and the axes fit the data in view.
    const QRectF area = view.chart()->plotArea();
    const QPoint cursor = view.mapFromScene(view.chart()->mapToScene(
        QPointF(area.left() + area.width() / 4, area.center().y())));
    const qint64 spanBefore = view.viewToMs() - view.viewFromMs();
    for (int i = 0; i < 6; ++i) {
        QWheelEvent wheel(cursor, view.mapToGlobal(cursor), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(view.viewport(), &wheel);
    }
    QVERIFY(!view.isFollowing());
    const qint64 span = view.viewToMs() - view.viewFromMs();
    QVERIFY(span < spanBefore / 3);
    const double anchorShare = double(start + 900 * 1000 - view.viewFromMs()) / double(span);
    QVERIFY2(std::abs(anchorShare - 0.25) < 0.1, qPrintable(QString::number(anchorShare)));
    QVERIFY(pressureAxis->min() < 10 && pressureAxis->max() < 20);
    QCOMPARE(breaks(view.drawnPoints(TrendQuantity::Temperature)), 0);

    // Dragging to the left moves the view later in time.
    const qint64 fromBeforeDrag = view.viewFromMs();
    QTest::mousePress(view.viewport(), Qt::LeftButton, Qt::NoModifier, cursor);
    QMouseEvent move(QEvent::MouseMove, cursor - QPoint(200, 0), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &move);
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, Qt::NoModifier, cursor - QPoint(200, 0));
    QVERIFY(view.viewFromMs() > fromBeforeDrag);
    QCOMPARE(view.viewToMs() - view.viewFromMs(), span);

    // A double-click returns to everything, following live.
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, Qt::NoModifier, cursor);
    QVERIFY(view.isFollowing());
    QCOMPARE(view.viewFromMs(), start);
    QVERIFY(view.viewToMs() >= start + 3599 * 1000);
}

QTEST_MAIN(TestTrendHistory)
#include "tst_trendhistory.moc"
