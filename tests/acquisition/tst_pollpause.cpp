#include "acquisition/pollpause.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <sys/resource.h>

namespace {

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &time) { return double(time.tv_sec) + double(time.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

class TestPollPause : public QObject
{
    Q_OBJECT

private slots:
    void handlesEventsAsTheyArrive_data();
    void handlesEventsAsTheyArrive();
    void sleepsWhileNothingIsPending();
};

void TestPollPause::handlesEventsAsTheyArrive_data()
{
    QTest::addColumn<int>("firstAfterMs");
    QTest::addColumn<int>("secondAfterMs");

    QTest::newRow("at once") << 0 << 0;
    QTest::newRow("early and late") << 5 << 35;
    QTest::newRow("both mid-pause") << 20 << 25;
}

void TestPollPause::handlesEventsAsTheyArrive()
{
    QFETCH(int, firstAfterMs);
    QFETCH(int, secondAfterMs);

    QPushButton button;
    int clicks = 0;
    connect(&button, &QPushButton::clicked, [&] { ++clicks; });
    QElapsedTimer clock;
    qint64 firstAt = -1;
    qint64 secondAt = -1;
    QTimer::singleShot(firstAfterMs, Qt::PreciseTimer, &button, [&] {
        firstAt = clock.elapsed();
        button.click();
    });
    QTimer::singleShot(secondAfterMs, Qt::PreciseTimer, &button, [&] { secondAt = clock.elapsed(); });

    clock.start();
    pauseWithEvents(50);
    const qint64 pausedMs = clock.elapsed();

    // Both were handled inside the pause, and the pause still ran its time.
    QVERIFY(firstAt >= firstAfterMs);
    QVERIFY(secondAt >= secondAfterMs);
    QCOMPARE(clicks, 1);
    QVERIFY2(pausedMs >= 50, qPrintable(QString::number(pausedMs)));
}

void TestPollPause::sleepsWhileNothingIsPending()
{
    // A pause that keeps polling for events uses about as much processor
    // time as it lasts; one that sleeps uses next to none.
    QElapsedTimer clock;
    const double cpuBefore = processCpuSeconds();
    clock.start();
    for (int pause = 0; pause < 20; ++pause)
        pauseWithEvents(50);
    const double wallSeconds = double(clock.nsecsElapsed()) / 1e9;
    const double cpuSeconds = processCpuSeconds() - cpuBefore;

    QVERIFY2(cpuSeconds < 0.25 * wallSeconds,
             qPrintable(QStringLiteral("%1 s of processor time in %2 s").arg(cpuSeconds).arg(wallSeconds)));
    QVERIFY(wallSeconds >= 1.0);
}

QTEST_MAIN(TestPollPause)
#include "tst_pollpause.moc"
