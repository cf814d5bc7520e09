#include "reading.h"
#include "alarmevaluation.h"
#include "alarmformat.h"
#include "limitsdialog.h"
#include "runsummary.h"
#include "axisticks.h"

#include <QtTest>

namespace {

const QDateTime start(QDate(2026, 12, 7), QTime(12, 0, 0));

Reading answered(int second, double pressure, double temperature)
{
    Reading reading;
    reading.address = 3;
    reading.time = start.addSecs(second);
    reading.answered = true;
    reading.pressure = pressure;
    reading.temperature = temperature;
    return reading;
}

Reading failed(int second)
{
    Reading reading;
    reading.address = 3;
    reading.time = start.addSecs(second);
    return reading;
}

// A poll made while the line was gone.
Reading lineLost(int second)
{
    Reading reading = failed(second);
    reading.lineLost = true;
    return reading;
}

} // namespace

class TestLimitsLogic : public QObject
{
    Q_OBJECT

private slots:
    void refusesBadLimitsWhole_data();
    void refusesBadLimitsWhole();
    void sumsUpADevice_data();
    void sumsUpADevice();
    void judgesAtTheLimit_data();
    void judgesAtTheLimit();
    void writesAlarmLogRows_data();
    void writesAlarmLogRows();
    void labelsAxesOnRoundTicks_data();
    void labelsAxesOnRoundTicks();
};

void TestLimitsLogic::refusesBadLimitsWhole_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("problem");

    QTest::newRow("empty: no limits") << QStringList{} << "";
    QTest::newRow("band with dead band") << QStringList{"95", "105", "0.5", "-10", "60", "0.2"} << "";
    QTest::newRow("high only, any dead band") << QStringList{"", "105", "50", "", "", ""} << "";
    QTest::newRow("low equal to high") << QStringList{"105", "105", "", "", "", ""}
                                       << "压力下限 (pressureLow) 105 应低于压力上限 (pressureHigh) 105";
    QTest::newRow("low above high") << QStringList{"", "", "", "61", "60", ""}
                                    << "温度下限 (temperatureLow) 61 应低于温度上限 (temperatureHigh) 60";
    QTest::newRow("not a number") << QStringList{"95", "1O5", "", "", "", ""} << "压力上限 (pressureHigh) 应为数";
    QTest::newRow("negative dead band") << QStringList{"", "", "", "", "60", "-0.1"}
                                        << "温度回差 (temperatureDeadband) -0.1 不能为负";
    QTest::newRow("dead band as wide as the band") << QStringList{"95", "105", "10", "", "", ""}
                                                   << "压力回差 (pressureDeadband) 10 应小于上下限之差 10";
}

void TestLimitsLogic::refusesBadLimitsWhole()
{
    QFETCH(QStringList, texts);
    QFETCH(QString, problem);

    const Result<Limits> result = limitsFromTexts(texts);
    QCOMPARE(result.error(), problem);
    QCOMPARE(result.ok(), problem.isEmpty());
    if (result.ok())
        QCOMPARE(result.value().isEmpty(), texts.join(QString()).isEmpty());
}

void TestLimitsLogic::sumsUpADevice_data()
{
    QTest::addColumn<int>("activeAtStart");
    QTest::addColumn<QList<Reading>>("readings");
    QTest::addColumn<QList<int>>("activeAfter");
    QTest::addColumn<QString>("row");

    QTest::newRow("raised, held, cleared, one poll failed")
        << 0
        << QList<Reading>{answered(0, 9.0, 20), answered(1, 10.5, 21), failed(2), answered(3, 9.5, 22),
                          answered(4, 8.6, 23)}
        << QList<int>{0, PressureHighAlarm, PressureHighAlarm, PressureHighAlarm, 0}
        << "3,KPa,5,1,9.00,8.60,8.60,10.50,9.40,20.0,23.0,21.5,1,3.0,不合格,\n";
    QTest::newRow("raised at Start, two alarms at once, still raised at the end")
        << int(TemperatureLowAlarm)
        << QList<Reading>{answered(2, 11, -5), answered(4, 12, -6)}
        << QList<int>{TemperatureLowAlarm, TemperatureLowAlarm | PressureHighAlarm | TemperatureHighAlarm}
        << "3,KPa,2,0,11.00,12.00,11.00,12.00,11.50,-6.0,-5.0,-5.5,3,10.0,不合格,\n";
    QList<Reading> oneIn20;
    QList<Reading> twoIn20;
    for (int i = 0; i < 20; ++i) {
        oneIn20 << (i == 7 ? failed(i) : answered(i, 1.0, 20.0));
        twoIn20 << (i == 7 || i == 8 ? failed(i) : answered(i, 1.0, 20.0));
    }
    QTest::newRow("5 % failed") << 0 << oneIn20 << QList<int>() << "3,KPa,20,1,1.00,1.00,1.00,1.00,1.00,20.0,20.0,20.0,0,0.0,合格,\n";
    // 1 of 19 is just above 5 %.
    QTest::newRow("1 in 19 failed") << 0 << oneIn20.mid(0, 19) << QList<int>()
                                    << "3,KPa,19,1,1.00,1.00,1.00,1.00,1.00,20.0,20.0,20.0,0,0.0,不合格,\n";
    QTest::newRow("10 % failed") << 0 << twoIn20 << QList<int>() << "3,KPa,20,2,1.00,1.00,1.00,1.00,1.00,20.0,20.0,20.0,0,0.0,不合格,\n";
    QTest::newRow("never answered") << 0 << QList<Reading>{failed(1), failed(2)} << QList<int>()
                                    << "3,KPa,2,2,,,,,,,,,0,0.0,不合格,\n";
    // Worked out by hand: pressures 2 and 4 (avg 3), temperatures 20 and 22 (avg 21).
    QTest::newRow("a NaN pressure fails its poll and is left out")
        << 0 << QList<Reading>{answered(1, 2.0, 20.0), answered(2, qQNaN(), 21.0), answered(3, 4.0, 22.0)}
        << QList<int>() << "3,KPa,3,1,2.00,4.00,2.00,4.00,3.00,20.0,22.0,21.0,0,0.0,不合格,\n";
    QTest::newRow("only NaN pressures") << 0 << QList<Reading>{answered(1, qInf(), 23.5), answered(2, qQNaN(), 23.5)}
                                        << QList<int>() << "3,KPa,2,2,,,,,,23.5,23.5,23.5,0,0.0,不合格,\n";
    QTest::newRow("a NaN temperature is no failed poll")
        << 0 << QList<Reading>{answered(1, 2.0, 20.0), answered(2, 4.0, qQNaN())}
        << QList<int>() << "3,KPa,2,0,2.00,4.00,2.00,4.00,3.00,20.0,20.0,20.0,0,0.0,合格,\n";
    // 20 polls of its own, one failed: 5 %; the 10 made while the line was lost count nowhere.
    QList<Reading> withLineLost = oneIn20;
    for (int i = 0; i < 10; ++i)
        withLineLost.insert(5, lineLost(30 + i));
    QTest::newRow("polls while the line was lost") << 0 << withLineLost << QList<int>()
                                                   << "3,KPa,20,1,1.00,1.00,1.00,1.00,1.00,20.0,20.0,20.0,0,0.0,合格,\n";
}

void TestLimitsLogic::sumsUpADevice()
{
    QFETCH(int, activeAtStart);
    QFETCH(QList<Reading>, readings);
    QFETCH(QList<int>, activeAfter);
    QFETCH(QString, row);

    DeviceRunSummary summary(3, QStringLiteral("KPa"), 2, activeAtStart, start.toMSecsSinceEpoch());
    for (int i = 0; i < readings.size(); ++i)
        summary.add(readings.at(i), activeAfter.value(i, 0));
    summary.finish(start.addSecs(10).toMSecsSinceEpoch());
    QCOMPARE(summary.row(), row);
}

void TestLimitsLogic::judgesAtTheLimit_data()
{
    QTest::addColumn<double>("pressure");
    QTest::addColumn<double>("temperature");
    QTest::addColumn<int>("activeBefore");
    QTest::addColumn<int>("activeAfter");

    // Pressure 95..105 with a dead band of 1, temperature -10..60 with none.
    const int high = PressureHighAlarm;
    QTest::newRow("exactly at the high limit") << 105.0 << 20.0 << 0 << 0;
    QTest::newRow("exactly at the low limit") << 95.0 << 20.0 << 0 << 0;
    QTest::newRow("exactly at the temperature limits") << 100.0 << 60.0 << 0 << 0;
    QTest::newRow("exactly at the low temperature limit") << 100.0 << -10.0 << 0 << 0;
    QTest::newRow("just beyond") << 105.001 << -10.01 << 0 << int(PressureHighAlarm | TemperatureLowAlarm);
    QTest::newRow("exactly at the dead band's edge: held") << 104.0 << 20.0 << high << high;
    QTest::newRow("inside the dead band's edge: cleared") << 103.999 << 20.0 << high << 0;
    QTest::newRow("NaN pressure: compared with nothing") << qQNaN() << 20.0 << high << high;
    QTest::newRow("infinite pressure raises nothing") << qInf() << 20.0 << 0 << 0;
    QTest::newRow("NaN temperature, pressure judged") << 106.0 << qQNaN() << 0 << high;
}

void TestLimitsLogic::judgesAtTheLimit()
{
    QFETCH(double, pressure);
    QFETCH(double, temperature);
    QFETCH(int, activeBefore);
    QFETCH(int, activeAfter);

    const Limits limits = limitsFromTexts({"95", "105", "1", "-10", "60", ""}).value();
    QCOMPARE(evaluateLimits(limits, activeBefore, pressure, temperature).active, activeAfter);
}

void TestLimitsLogic::writesAlarmLogRows_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("raised");
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("limit");
    QTest::addColumn<QString>("row");

    QTest::newRow("pressure above") << int(PressureHighAlarm) << true << 105.41234 << 105.0
                                    << "2026-12-07 12:01:31,3,超上限,压力,105.412,105,KPa,\n";
    QTest::newRow("pressure back") << int(PressureHighAlarm) << false << 104.4996 << 105.0
                                   << "2026-12-07 12:01:31,3,恢复,压力,104.500,105,KPa,\n";
    QTest::newRow("temperature below") << int(TemperatureLowAlarm) << true << -10.26 << -10.25
                                       << "2026-12-07 12:01:31,3,超下限,温度,-10.3,-10.25,℃,\n";
    QTest::newRow("limit removed") << int(TemperatureHighAlarm) << false << 70.0 << qQNaN()
                                   << "2026-12-07 12:01:31,3,恢复,温度,70.0,,℃,\n";
}

void TestLimitsLogic::writesAlarmLogRows()
{
    QFETCH(int, kind);
    QFETCH(bool, raised);
    QFETCH(double, value);
    QFETCH(double, limit);
    QFETCH(QString, row);

    QCOMPARE(alarmLogRow(start.addSecs(91), 3, {kind, raised, value, limit}, QStringLiteral("KPa"), 3), row);
}

void TestLimitsLogic::labelsAxesOnRoundTicks_data()
{
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<QString>("labels");

    QTest::newRow("a KPa device around 98") << 97.18 << 98.88 << "97.0 97.5 98.0 98.5 99.0";
    QTest::newRow("tenths") << 0.03 << 0.61 << "0.0 0.1 0.2 0.3 0.4 0.5 0.6 0.7";
    QTest::newRow("quarter steps") << 0.1 << 1.4 << "0.00 0.25 0.50 0.75 1.00 1.25 1.50";
    QTest::newRow("across zero") << -12.0 << 27.0 << "-20 -10 0 10 20 30";
    QTest::newRow("large") << 101000.0 << 101600.0 << "101000 101100 101200 101300 101400 101500 101600";
    QTest::newRow("flat") << 5.0 << 5.0 << "4.4 4.6 4.8 5.0 5.2 5.4 5.6";
}

void TestLimitsLogic::labelsAxesOnRoundTicks()
{
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(QString, labels);

    const AxisTicks ticks = roundTicks(low, high);
    QStringList shown;
    for (int i = 0; i < ticks.count; ++i)
        shown << ticks.label(ticks.low + i * ticks.step);
    QCOMPARE(shown.join(QLatin1Char(' ')), labels);
    QVERIFY(ticks.low <= low && ticks.high >= high);
}

QTEST_GUILESS_MAIN(TestLimitsLogic)
#include "tst_limitslogic.moc"
