#include "pollcycle.h"
#include "alarmformat.h"
#include "alarmmonitor.h"
#include "runsummarywindow.h"
#include "runverdict.h"
#include "recordingsession.h"
#include "rowwriter.h"

#include "limitsharness.h"
#include "simulatorprocess.h"

#include <QDialog>
#include <QLabel>
#include <QTableWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>

namespace {

// A reading as the test saw it, with the device's raised alarms right after it.
struct Seen
{
    Reading reading;
    int active = 0;
};

double valueOf(const Reading &reading, bool pressure)
{
    return pressure ? reading.pressure : reading.temperature;
}

} // namespace

class TestAlarms : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void findsEveryCrossingWithoutChatter_data();
    void findsEveryCrossingWithoutChatter();
    void logsAndSumsUpTheRun_data();
    void logsAndSumsUpTheRun();

private:
    // Follows every reading of the window's poll cycle.
    void watchReadings();

    std::unique_ptr<MainWindow> window;
    QList<Seen> seen;
};

void TestAlarms::init()
{
    seen.clear();
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestAlarms::cleanup()
{
    window.reset();
}

void TestAlarms::watchReadings()
{
    // Connected after the alarm monitor: the row already holds the outcome.
    connect(widget<PollCycle>(*window, "pollCycle"), &PollCycle::readingTaken, this, [this](const Reading &reading) {
        const QStandardItemModel *devices = deviceModel(*window);
        for (int row = 0; row < devices->rowCount(); ++row) {
            if (recordAt(*window, row).address == reading.address)
                seen.append({reading, devices->index(row, 0).data(AlarmRole).toInt()});
        }
    });
}

void TestAlarms::findsEveryCrossingWithoutChatter_data()
{
    QTest::addColumn<QString>("slave");
    QTest::addColumn<QStringList>("limits");
    QTest::addColumn<bool>("pressure");
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<double>("deadband");

    // Waves of 6 s; a device is polled about four times a second, and every
    // fifth reply is corrupted: those polls fail.
    QTest::newRow("pressure, KPa")
        << "1,pressure=wave:100000:1000:6,temp=20,every=crc:5"
        << QStringList{"99.3", "100.4", "0.6", "", "", ""} << true << 99.3 << 100.4 << 0.6;
    QTest::newRow("temperature")
        << "1,pressure=100000,temp=wave:20:10:6,every=crc:5"
        << QStringList{"", "", "", "12.5", "26", "3.5"} << false << 12.5 << 26.0 << 3.5;
}

void TestAlarms::findsEveryCrossingWithoutChatter()
{
    QFETCH(QString, slave);
    QFETCH(QStringList, limits);
    QFETCH(bool, pressure);
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(double, deadband);

    SimulatorProcess sim(SimulatorProcess::slaveArguments({slave}));
    QVERIFY(sim.start());
    QVERIFY(openPort(*window, sim.devicePath()));
    addDevice(*window, 1, QStringLiteral("KPa"), 3, 1);
    QCOMPARE(setLimitsFromMenu(*window, 0, limits), QString());
    watchReadings();

    // Excursions beyond each limit that answered polls saw: a loaded machine
    // polls seldom enough to miss a short one, so the wait is for two of each.
    const auto excursionsSeen = [&] {
        int excursions[2] = {};
        int side = 0;
        for (const Seen &poll : qAsConst(seen)) {
            if (!poll.reading.answered)
                continue;
            // An excursion ends once the value is back inside by the dead band.
            const double value = valueOf(poll.reading, pressure);
            if (value > high && side != 1)
                ++excursions[0];
            else if (value < low && side != -1)
                ++excursions[1];
            if (value > high)
                side = 1;
            else if (value < low)
                side = -1;
            else if (value < high - deadband && value > low + deadband)
                side = 0;
        }
        return std::min(excursions[0], excursions[1]);
    };
    QVERIFY(clickStart(*window, QString()));
    // At least two and a half periods of the wave.
    QTRY_VERIFY_WITH_TIMEOUT(seen.size() > 1 && seen.first().reading.time.msecsTo(seen.last().reading.time) > 15000
                                 && excursionsSeen() >= 2,
                             90000);
    clickStop(*window);
    QVERIFY(waitForPollCycleEnd(*window));

    const int highKind = pressure ? PressureHighAlarm : TemperatureHighAlarm;
    const int lowKind = pressure ? PressureLowAlarm : TemperatureLowAlarm;
    int state = 0;
    int raises[2] = {};
    int failed = 0;
    int heldInsideDeadband = 0;
    for (const Seen &poll : qAsConst(seen)) {
        const double value = valueOf(poll.reading, pressure);
        const QString at = QStringLiteral("%1 at %2").arg(value).arg(poll.reading.time.toString(Qt::ISODateWithMs));
        if (!poll.reading.answered) {
            ++failed;
            QVERIFY2(poll.active == state, qPrintable(QStringLiteral("failed poll changed the alarms ") + at));
            continue;
        }
        for (const int kind : {highKind, lowKind}) {
            const bool isHigh = kind == highKind;
            const double limit = isHigh ? high : low;
            const bool beyond = isHigh ? value > limit : value < limit;
            const bool backInside = isHigh ? value < limit - deadband : value > limit + deadband;
            const bool was = state & kind;
            const bool now = poll.active & kind;
            if (!was)
                QVERIFY2(now == beyond, qPrintable(QStringLiteral("crossing missed or false alarm ") + at));
            else
                QVERIFY2(now == !backInside, qPrintable(QStringLiteral("chatter or stuck alarm ") + at));
            if (!was && now)
                ++raises[isHigh ? 0 : 1];
            if (was && now && !beyond)
                ++heldInsideDeadband;
        }
        state = poll.active;
    }
    QVERIFY(failed > 0);
    // Both limits were crossed in every period seen, and the dead band held
    // an alarm that a plain limit would have cleared.
    QVERIFY2(raises[0] >= 2 && raises[1] >= 2, qPrintable(QStringLiteral("%1 %2").arg(raises[0]).arg(raises[1])));
    QVERIFY(heldInsideDeadband > 0);

    // The notice lists the same events, the latest first.
    auto *notice = window->findChild<QDialog *>(QStringLiteral("alarmNotice"));
    QVERIFY(notice && notice->isVisible() && !notice->isModal());
    QVERIFY(QApplication::activeWindow() != notice);
    const auto *text = notice->findChild<QLabel *>(QStringLiteral("alarmLines"));
    QVERIFY(text);
    // Events close together are shown together, a moment later.
    QTRY_COMPARE(text->text().split(QLatin1Char('\n')).size(),
                 qMin(30, 2 * (raises[0] + raises[1]) - (state ? 1 : 0)));
    const QStringList lines = text->text().split(QLatin1Char('\n'));
    QVERIFY(lines.first() >= lines.last());
    // With limits, 停止 shows the summary, also of a run that kept no files.
    auto *shown = window->findChild<RunSummaryWindow *>(QStringLiteral("runSummaryWindow"));
    QVERIFY(shown && shown->isVisible());
    QCOMPARE(shown->table()->rowCount(), 1);
}

void TestAlarms::logsAndSumsUpTheRun_data()
{
    QTest::addColumn<QString>("endBy");

    QTest::newRow("停止") << "stop";
    QTest::newRow("closing the port") << "port";
    QTest::newRow("closing the window") << "window";
}

void TestAlarms::logsAndSumsUpTheRun()
{
    QFETCH(QString, endBy);

    SimulatorProcess sim(SimulatorProcess::slaveArguments(
        {"1,pressure=wave:100000:1000:6,temp=20", "2,pressure=250000,temp=wave:20:10:6", "3"}));
    QVERIFY(sim.start());
    QTemporaryDir folder;
    QVERIFY(folder.isValid());

    QVERIFY(openPort(*window, sim.devicePath()));
    addDevice(*window, 1, QStringLiteral("KPa"), 3, 1);
    addDevice(*window, 2, QStringLiteral("MPa"), 2, 1);
    QCOMPARE(setLimitsFromMenu(*window, 0, {"", "100.5", "", "", "", ""}), QString());
    watchReadings();
    QVERIFY(clickStart(*window, folder.path()));
    // Listed after Start: left out of the summary.
    addDevice(*window, 3, QStringLiteral("Pa"), 0, 1);

    QTRY_VERIFY_WITH_TIMEOUT(seen.size() > 1 && seen.first().reading.time.msecsTo(seen.last().reading.time) > 13000,
                             40000);
    const QList<Seen> run = seen;
    if (endBy == QLatin1String("window")) {
        // Closing the window waits for the recording's last rows.
        window->close();
        window.reset();
    } else {
        if (endBy == QLatin1String("stop"))
            clickStop(*window);
        else
            clickClose(*window);
        QVERIFY(waitForPollCycleEnd(*window));
        const RowWriter *writer = widget<RecordingSession>(*window, "recordingSession")->writer();
        QTRY_COMPARE(writer->waitingRows(), 0);
    }

    const QStringList folders = QDir(folder.path()).entryList({QStringLiteral("报警与汇总__*")}, QDir::Dirs);
    QCOMPARE(folders.size(), 1);
    const QString stamp = folders.first().mid(QStringLiteral("报警与汇总__").size());
    const QDir alarms(folder.filePath(folders.first()));
    // Beside them comes the run's report, written on a thread of its own.
    QCOMPARE(alarms.entryList({QStringLiteral("*.csv")}, QDir::Files, QDir::Name),
             (QStringList{QStringLiteral("报警记录__%1.csv").arg(stamp), QStringLiteral("汇总__%1.csv").arg(stamp)}));

    // Raised above 100.5 KPa and cleared below it, by turns, device 1 only.
    const QList<QStringList> log = csvRows(alarms.filePath(QStringLiteral("报警记录__%1.csv").arg(stamp)),
                                           QStringLiteral("时间,设备地址,事件,量,值,限值,单位,\n"));
    QVERIFY(log.size() >= 3);
    int raised = 0;
    for (int i = 0; i < log.size(); ++i) {
        const QStringList &row = log.at(i);
        QCOMPARE(row.size(), 7);
        QCOMPARE(row.at(1), QStringLiteral("1"));
        QCOMPARE(row.at(2), i % 2 == 0 ? QStringLiteral("超上限") : QStringLiteral("恢复"));
        QCOMPARE(row.mid(3, 1) + row.mid(5), (QStringList{"压力", "100.5", "KPa"}));
        // Logged with three decimals: a value just past the limit may read as the limit itself.
        if (i % 2 == 0)
            QVERIFY2(row.at(4).toDouble() >= 100.5, qPrintable(row.at(4)));
        else
            QVERIFY2(row.at(4).toDouble() <= 100.5, qPrintable(row.at(4)));
        QVERIFY(row.at(4).toDouble() > 99.0 && row.at(4).toDouble() <= 101.0);
        raised += i % 2 == 0;
    }

    const QList<QStringList> summary = csvRows(alarms.filePath(QStringLiteral("汇总__%1.csv").arg(stamp)),
        QStringLiteral("设备地址,单位,总次数,失败次数,压力首值,压力末值,压力最小,压力最大,压力平均,温度最小,温度最大,"
                       "温度平均,报警次数,报警时长(S),结论,\n"));
    QCOMPARE(summary.size(), 2);
    for (const QStringList &row : summary)
        QCOMPARE(row.size(), 15);
    int polls[2] = {};
    for (const Seen &poll : run) {
        if (poll.reading.address <= 2)
            ++polls[poll.reading.address - 1];
    }
    const QStringList &first = summary.at(0);
    const QStringList &second = summary.at(1);

    // Device 1: a wave of 99 to 101 KPa at 20 ℃, out of band at every peak.
    QCOMPARE(first.mid(0, 2), (QStringList{"1", "KPa"}));
    QVERIFY(qAbs(first.at(2).toInt() - polls[0]) <= 1);
    QCOMPARE(first.at(3), QStringLiteral("0"));
    QVERIFY2(first.at(6).toDouble() >= 99.0 && first.at(6).toDouble() < 99.05, qPrintable(first.at(6)));
    QVERIFY2(first.at(7).toDouble() > 100.95 && first.at(7).toDouble() <= 101.0, qPrintable(first.at(7)));
    QVERIFY2(qAbs(first.at(8).toDouble() - 100.0) < 0.25, qPrintable(first.at(8)));
    QCOMPARE(first.mid(9, 3), (QStringList{"20.0", "20.0", "20.0"}));
    QCOMPARE(first.at(12).toInt(), raised);
    // Above 100.5 for a third of each 6 s period; the last one may be cut short.
    const double alarmSeconds = first.at(13).toDouble();
    QVERIFY2(alarmSeconds > 2.0 * raised - 3.5 && alarmSeconds < 2.0 * raised + 1.5, qPrintable(first.at(13)));
    QCOMPARE(first.at(14), QStringLiteral("不合格"));

    // Device 2: 0.25 MPa steady, 10 to 30 ℃, no limits.
    QCOMPARE(second.mid(0, 2), (QStringList{"2", "MPa"}));
    QVERIFY(qAbs(second.at(2).toInt() - polls[1]) <= 1);
    QCOMPARE(second.mid(3, 6), (QStringList{"0", "0.25", "0.25", "0.25", "0.25", "0.25"}));
    QVERIFY2(second.at(9).toDouble() < 10.5 && second.at(10).toDouble() > 29.5, qPrintable(second.join(',')));
    QVERIFY2(qAbs(second.at(11).toDouble() - 20.0) < 1.5, qPrintable(second.at(11)));
    QCOMPARE(second.mid(12), (QStringList{"0", "0.0", "合格"}));

    // The summary shows itself when the operator ended the run.
    if (endBy == QLatin1String("window"))
        return;
    auto *shown = window->findChild<RunSummaryWindow *>(QStringLiteral("runSummaryWindow"));
    QVERIFY(shown && shown->isVisible());
    QTableWidget *table = shown->table();
    QCOMPARE(table->rowCount(), 2);
    table->sortByColumn(14, Qt::AscendingOrder);
    QCOMPARE(table->item(0, 14)->text(), QStringLiteral("不合格"));
    QVERIFY(table->item(0, 0)->background() != table->item(1, 0)->background());
    QCOMPARE(table->item(1, 0)->text(), QStringLiteral("2"));
}

QTEST_MAIN(TestAlarms)
#include "tst_alarms.moc"
