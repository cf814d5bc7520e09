#include "modbusline.h"
#include "pollcycle.h"
#include "alarmformat.h"
#include "alarmmonitor.h"
#include "runsummarywindow.h"
#include "runverdict.h"
#include "payloads.h"
#include "tilelayout.h"

#include "limitsharness.h"
#include "simulatorprocess.h"
#include "notice.h"

#include <QElapsedTimer>
#include <QHeaderView>
#include <QJsonDocument>
#include <QMessageBox>
#include <QTableWidget>
#include <QTemporaryDir>

#include <csignal>
#include <memory>

namespace {

const QString SummaryHeader = QStringLiteral("设备地址,单位,总次数,失败次数,压力首值,压力末值,压力最小,压力最大,压力平均,"
                                             "温度最小,温度最大,温度平均,报警次数,报警时长(S),结论,\n");
const QString LogHeader = QStringLiteral("时间,设备地址,事件,量,值,限值,单位,\n");

// The readings of one device, each with whether the line was lost when it was stored.
struct Seen
{
    Reading reading;
    bool lineLost = false;
};

} // namespace

class TestRunVerdict : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void judgesEachRunAlone();
    void lineLostIsNotTheTransmitters();
    void invalidValuesPerQuantity_data();
    void invalidValuesPerQuantity();
    void limitsSetDuringTheRun_data();
    void limitsSetDuringTheRun();
    void folderRequiredWithoutLimits();

private:
    void watchReadings();
    int polls(int address, bool lineLostToo = true) const;
    bool waitForPolls(int address, int count) const;
    void stopAndSettle();
    RunVerdict *verdict() const { return widget<RunVerdict>(*window, "runVerdict"); }

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QTemporaryDir> folder;
    QList<Seen> seen;
};

void TestRunVerdict::init()
{
    seen.clear();
    folder = std::make_unique<QTemporaryDir>();
    QVERIFY(folder->isValid());
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestRunVerdict::cleanup()
{
    window.reset();
    folder.reset();
}

void TestRunVerdict::watchReadings()
{
    const ModbusLine *line = widget<ModbusLine>(*window, "modbusLine");
    connect(widget<PollCycle>(*window, "pollCycle"), &PollCycle::readingTaken, this, [this, line](const Reading &r) {
        seen.append({r, line->state() == LineState::Lost});
    });
}

int TestRunVerdict::polls(int address, bool lineLostToo) const
{
    return int(std::count_if(seen.cbegin(), seen.cend(), [address, lineLostToo](const Seen &poll) {
        return poll.reading.address == address && (lineLostToo || !poll.lineLost);
    }));
}

bool TestRunVerdict::waitForPolls(int address, int count) const
{
    return QTest::qWaitFor([this, address, count] { return polls(address) >= count; }, 20000);
}

void TestRunVerdict::stopAndSettle()
{
    clickStop(*window);
    QVERIFY(waitForPollCycleEnd(*window));
    QVERIFY(waitForRecordWrites(*window));
}

// Run 1 ends with both devices in alarm; for run 2 device 1's limit is raised
// above its reading, device 2 stays out of band.
void TestRunVerdict::judgesEachRunAlone()
{
    SimulatorProcess sim(SimulatorProcess::slaveArguments({"1,pressure=95000,temp=23.5", "2,pressure=120000,temp=23.5"}));
    QVERIFY(sim.start());
    QVERIFY(openPort(*window, sim.devicePath()));
    addDevice(*window, 1, QStringLiteral("KPa"), 3, 1);
    addDevice(*window, 2, QStringLiteral("KPa"), 3, 1);
    QCOMPARE(setLimitsFromMenu(*window, 0, {"", "90", "", "", "", ""}), QString());
    QCOMPARE(setLimitsFromMenu(*window, 1, {"", "100", "", "", "", ""}), QString());
    watchReadings();

    QVERIFY(clickStart(*window, folder->path()));
    QVERIFY(waitForPolls(1, 3) && waitForPolls(2, 3));
    stopAndSettle();
    const QString firstLog = verdict()->alarmLogPath();
    QCOMPARE(csvRows(firstLog, LogHeader).size(), 2);

    QCOMPARE(setLimitsFromMenu(*window, 0, {"", "100", "", "", "", ""}), QString());
    QSignalSpy published(widget<AlarmMonitor>(*window, "alarmMonitor"), &AlarmMonitor::alarmChanged);
    seen.clear();
    QVERIFY(clickStart(*window, folder->path()));
    QVERIFY(waitForPolls(1, 4) && waitForPolls(2, 4));
    stopAndSettle();

    // Its own folder, even when both Starts fell in one second.
    const QString log = verdict()->alarmLogPath();
    QVERIFY(QFileInfo(log).path() != QFileInfo(firstLog).path());
    // Device 2 raised in this run, once; nothing cleared that this run did not raise.
    const QList<QStringList> logRows = csvRows(log, LogHeader);
    QCOMPARE(logRows.size(), 1);
    QCOMPARE(logRows.at(0).mid(1), (QStringList{"2", "超上限", "压力", "120.000", "100", "KPa"}));

    const QList<QStringList> summary = csvRows(verdict()->summaryPath(), SummaryHeader);
    QCOMPARE(summary.size(), 2);
    QVERIFY(qAbs(summary.at(0).at(2).toInt() - polls(1)) <= 1);
    QCOMPARE(summary.at(0).mid(3),
             (QStringList{"0", "95.000", "95.000", "95.000", "95.000", "95.000", "23.5", "23.5", "23.5", "0", "0.0",
                          "合格"}));
    QCOMPARE(summary.at(1).mid(3, 10), (QStringList{"0", "120.000", "120.000", "120.000", "120.000", "120.000",
                                                   "23.5", "23.5", "23.5", "1"}));
    QCOMPARE(summary.at(1).at(14), QStringLiteral("不合格"));

    // Shown: device 1 cleared once, device 2 neither cleared nor raised again.
    QCOMPARE(published.size(), 1);
    QCOMPARE(published.at(0).at(0).toInt(), 1);
    QCOMPARE(published.at(0).at(1).toStringList(), QStringList());
    QCOMPARE(published.at(0).at(4).toDouble(), 100.0);
    QCOMPARE(deviceModel(*window)->index(0, 0).data(AlarmRole).toInt(), 0);
    QCOMPARE(deviceModel(*window)->index(1, 0).data(AlarmRole).toInt(), int(PressureHighAlarm));

    // The summary window opens with the verdict in sight.
    RunSummaryWindow *shown = nullptr;
    QTRY_VERIFY((shown = window->findChild<RunSummaryWindow *>(QStringLiteral("runSummaryWindow")))
                && shown->isVisible());
    QTableWidget *table = shown->table();
    const int verdictColumn = 14;
    QCOMPARE(table->horizontalHeaderItem(verdictColumn)->text(), QStringLiteral("结论"));
    QVERIFY(table->horizontalHeader()->sectionViewportPosition(verdictColumn) >= 0);
    QVERIFY(table->horizontalHeader()->sectionViewportPosition(verdictColumn)
                + table->horizontalHeader()->sectionSize(verdictColumn)
            <= table->viewport()->width());
    QCOMPARE(table->item(0, verdictColumn)->text(), QStringLiteral("合格"));
}

void TestRunVerdict::lineLostIsNotTheTransmitters()
{
    const QString link = folder->filePath(QStringLiteral("line"));
    SimulatorProcess sim(QStringList{"--link", link, "--replug-after", "3000"}
                         + SimulatorProcess::slaveArguments({"1,pressure=101325,temp=20", "2,pressure=101325,temp=20"}));
    QVERIFY(sim.start());
    QVERIFY(openPort(*window, link));
    addDevice(*window, 1, QStringLiteral("KPa"), 3, 1);
    addDevice(*window, 2, QStringLiteral("KPa"), 3, 1);
    // Never crossed: the limits only make the summary.
    QCOMPARE(setLimitsFromMenu(*window, 0, {"", "200", "", "", "", ""}), QString());
    watchReadings();
    QElapsedTimer lost;
    qint64 lostMs = 0;
    const ModbusLine *line = widget<ModbusLine>(*window, "modbusLine");
    connect(line, &ModbusLine::lineLost, this, [&lost] { lost.start(); });
    connect(line, &ModbusLine::lineRestored, this, [&lost, &lostMs] { lostMs = lost.elapsed(); });

    QVERIFY(clickStart(*window, folder->path()));
    QVERIFY(waitForPolls(1, 3));
    QVERIFY(::kill(pid_t(sim.processId()), SIGUSR1) == 0);
    QTRY_VERIFY_WITH_TIMEOUT(lostMs > 0, 20000);
    const int pollsAtReturn = polls(1);
    QVERIFY(waitForPolls(1, pollsAtReturn + 3));
    stopAndSettle();

    QVERIFY(polls(1) > polls(1, false));
    const QList<QStringList> summary = csvRows(verdict()->summaryPath(), SummaryHeader);
    QCOMPARE(summary.size(), 2);
    for (int address = 1; address <= 2; ++address) {
        const QStringList &row = summary.at(address - 1);
        QVERIFY2(qAbs(row.at(2).toInt() - polls(address, false)) <= 1,
                 qPrintable(QStringLiteral("%1 of %2").arg(row.at(2)).arg(polls(address, false))));
        QCOMPARE(row.at(3), QStringLiteral("0"));
        QCOMPARE(row.mid(12), (QStringList{"0", "0.0", "不合格"}));
    }
    // Lost for 3 s and more of a run of a few seconds: far above 5 %.
    QVERIFY(qAbs(verdict()->lineLostMs() - lostMs) < 500);
    RunSummaryWindow *shown = nullptr;
    QTRY_VERIFY((shown = window->findChild<RunSummaryWindow *>(QStringLiteral("runSummaryWindow")))
                && shown->isVisible());
    const QString told = shown->lineText()->text();
    QVERIFY2(told.contains(QStringLiteral("%1 秒").arg(double(verdict()->lineLostMs()) / 1000.0, 0, 'f', 1))
                 && told.contains(QStringLiteral("全部设备判为不合格")),
             qPrintable(told));
}

void TestRunVerdict::invalidValuesPerQuantity_data()
{
    QTest::addColumn<QString>("registers");
    QTest::addColumn<QStringList>("tile");
    QTest::addColumn<QStringList>("rowReadings");
    QTest::addColumn<QStringList>("payload");
    QTest::addColumn<QString>("summaryTail");

    // Limits: pressure 50..150 Pa, temperature from -300 ℃; device in Pa with no decimals.
    QTest::newRow("NaN pressure") << "0:0x7FC0:0:0:0:0:235" << QStringList{"压力: 无效 Pa", "温度: 23.5 ℃"}
                                  << QStringList{"", "Pa", "23.5"} << QStringList{"null", "null", "23.5"}
                                  << ",,,,,23.5,23.5,23.5,0,0.0,不合格";
    QTest::newRow("infinite pressure") << "0:0xFF80:0:0:0:0:235" << QStringList{"压力: 无效 Pa", "温度: 23.5 ℃"}
                                       << QStringList{"", "Pa", "23.5"} << QStringList{"null", "null", "23.5"}
                                       << ",,,,,23.5,23.5,23.5,0,0.0,不合格";
    QTest::newRow("temperature below absolute zero")
        << "0:0x42C8:0:0:0:0:0x8000" << QStringList{"压力: 100 Pa", "温度: 无效 ℃"} << QStringList{"100", "Pa", ""}
        << QStringList{"100", "100", "null"} << "100,100,100,100,100,,,,0,0.0,合格";
}

void TestRunVerdict::invalidValuesPerQuantity()
{
    QFETCH(QString, registers);
    QFETCH(QStringList, tile);
    QFETCH(QStringList, rowReadings);
    QFETCH(QStringList, payload);
    QFETCH(QString, summaryTail);

    SimulatorProcess sim(SimulatorProcess::slaveArguments({"1,regs=" + registers}));
    QVERIFY(sim.start());
    QVERIFY(openPort(*window, sim.devicePath()));
    addDevice(*window, 1, QStringLiteral("Pa"), 0, 1);
    QCOMPARE(setLimitsFromMenu(*window, 0, {"50", "150", "", "-300", "", ""}), QString());
    watchReadings();
    QVERIFY(clickStart(*window, folder->path()));
    const QString file = recordAt(*window, 0).filePath;
    QTRY_VERIFY_WITH_TIMEOUT(csvRows(file, QStringLiteral("序号,时间,压力,单位,温度(℃),\n")).size() >= 2, 10000);

    // Answered: the lamp is green; the value that is no reading is told as such.
    QCOMPARE(statusAt(*window, 0), int(Good));
    const ItemData record = recordAt(*window, 0);
    QCOMPARE((QStringList{pressureLineText(record), temperatureLineText(record)}), tile);
    for (const QStringList &row : csvRows(file, QStringLiteral("序号,时间,压力,单位,温度(℃),\n")))
        QCOMPARE(row.mid(2), rowReadings);
    const QJsonObject published
        = QJsonDocument::fromJson(Payloads::reading(seen.constLast().reading, 1, QStringLiteral("s"))).object();
    QStringList values;
    for (const char *key : {"pressure", "pressurePa", "temperature"}) {
        const QJsonValue value = published.value(QLatin1String(key));
        values << (value.isNull() ? QStringLiteral("null") : QString::number(value.toDouble()));
    }
    QCOMPARE(values, payload);
    // Compared with no limit.
    QCOMPARE(deviceModel(*window)->index(0, 0).data(AlarmRole).toInt(), 0);

    stopAndSettle();
    QVERIFY(csvRows(verdict()->alarmLogPath(), LogHeader).isEmpty());
    const QList<QStringList> summary = csvRows(verdict()->summaryPath(), SummaryHeader);
    QCOMPARE(summary.size(), 1);
    const int total = summary.at(0).at(2).toInt();
    QVERIFY(qAbs(total - polls(1)) <= 1);
    const QString failed = summaryTail.endsWith(QStringLiteral("不合格")) ? QString::number(total) : "0";
    QCOMPARE(summary.at(0).join(','), QStringLiteral("1,Pa,%1,%2,").arg(total).arg(failed) + summaryTail);
}

void TestRunVerdict::limitsSetDuringTheRun_data()
{
    QTest::addColumn<bool>("folderGone");

    QTest::newRow("the Start's folder name taken") << false;
    QTest::newRow("the record folder gone") << true;
}

void TestRunVerdict::limitsSetDuringTheRun()
{
    QFETCH(bool, folderGone);

    SimulatorProcess sim(SimulatorProcess::slaveArguments({"1,pressure=101325,temp=20", "2,pressure=101325,temp=20"}));
    QVERIFY(sim.start());
    QVERIFY(openPort(*window, sim.devicePath()));
    addDevice(*window, 1, QStringLiteral("KPa"), 3, 1);
    addDevice(*window, 2, QStringLiteral("KPa"), 3, 1);
    watchReadings();

    // Whatever second Start falls in, its name is taken.
    const QDir records(folder->filePath(QStringLiteral("records")));
    QVERIFY(QDir(folder->path()).mkdir(QStringLiteral("records")));
    const QDateTime now = QDateTime::currentDateTime();
    for (int second = 0; second < 5; ++second)
        QVERIFY(records.mkdir(alarmFolderName(now.addSecs(second))));
    const QStringList taken = records.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QVERIFY(clickStart(*window, records.path()));
    QVERIFY(waitForPolls(1, 3) && waitForPolls(2, 3));
    QCOMPARE(records.entryList(QDir::Dirs | QDir::NoDotAndDotDot), taken);

    if (folderGone)
        QVERIFY(QDir(records).removeRecursively());
    QCOMPARE(setLimitsFromMenu(*window, 0, {"", "100", "", "", "", ""}), QString());
    if (folderGone) {
        Notice *notice = nullptr;
        QTRY_VERIFY((notice = window->findChild<Notice *>(QStringLiteral("alarmFilesNotice")))
                    && notice->isVisible());
        QVERIFY(notice->text().contains(records.filePath(QStringLiteral("报警与汇总__"))));
        stopAndSettle();
        QVERIFY(verdict()->alarmLogPath().isEmpty());
        return;
    }
    // Both files come with the limits, in the next free name of the Start's,
    // known once the writer has made the folder.
    QTRY_VERIFY(!verdict()->alarmLogPath().isEmpty());
    const QString log = verdict()->alarmLogPath();
    QTRY_VERIFY(QFileInfo::exists(log) && QFileInfo::exists(verdict()->summaryPath()));
    const QString own = QFileInfo(log).dir().dirName();
    QVERIFY2(own.endsWith(QStringLiteral("_2")) && taken.contains(own.chopped(2)), qPrintable(own));

    // Device 2 removed: its row sums up the run up to here. Added again, it is left out.
    QVERIFY(waitForPolls(1, polls(1) + 2));
    listView(*window)->selectionModel()->select(proxyModel(*window)->mapFromSource(deviceModel(*window)->index(1, 0)),
                                                QItemSelectionModel::ClearAndSelect);
    QTest::mouseClick(widget<QPushButton>(*window, "btnDelreader"), Qt::LeftButton);
    QCOMPARE(deviceModel(*window)->rowCount(), 1);
    const int pollsOfRemoved = polls(2);
    addDevice(*window, 2, QStringLiteral("KPa"), 3, 1);
    QVERIFY(waitForPolls(2, pollsOfRemoved + 3));
    stopAndSettle();

    const QList<QStringList> logRows = csvRows(log, LogHeader);
    QCOMPARE(logRows.size(), 1);
    QCOMPARE(logRows.at(0).mid(1), (QStringList{"1", "超上限", "压力", "101.325", "100", "KPa"}));
    const QList<QStringList> summary = csvRows(verdict()->summaryPath(), SummaryHeader);
    QCOMPARE(summary.size(), 2);
    // Counted from Start, the limits' moment included.
    QVERIFY(qAbs(summary.at(0).at(2).toInt() - polls(1)) <= 1);
    QCOMPARE(summary.at(0).mid(12, 1) + summary.at(0).mid(14), (QStringList{"1", "不合格"}));
    QCOMPARE(summary.at(1).mid(0, 4), (QStringList{"2", "KPa", QString::number(pollsOfRemoved), "0"}));
    QCOMPARE(summary.at(1).mid(12), (QStringList{"0", "0.0", "合格"}));
}

// A calibration pass asks for the run's folder though no device has limits:
// it is made once, with the alarm log and the summary, and told.
void TestRunVerdict::folderRequiredWithoutLimits()
{
    SimulatorProcess sim(SimulatorProcess::slaveArguments({"1,pressure=101325,temp=20"}));
    QVERIFY(sim.start());
    QVERIFY(openPort(*window, sim.devicePath()));
    addDevice(*window, 1, QStringLiteral("KPa"), 3, 1);
    watchReadings();
    QSignalSpy ready(verdict(), &RunVerdict::folderReady);
    // Not recording: nothing to make.
    verdict()->requireFolder();

    QVERIFY(clickStart(*window, folder->path()));
    QVERIFY(waitForPolls(1, 2));
    QCOMPARE(ready.size(), 0);
    QVERIFY(verdict()->folderPath().isEmpty() && verdict()->alarmLogPath().isEmpty());
    verdict()->requireFolder();
    QTRY_COMPARE(ready.size(), 1);
    const QString made = ready.at(0).at(0).toString();
    QCOMPARE(verdict()->folderPath(), made);
    QVERIFY(QFileInfo(made).isDir());
    QCOMPARE(QFileInfo(made).fileName(), alarmFolderName(verdict()->start()));
    QCOMPARE(QFileInfo(verdict()->summaryPath()).path(), made);
    // Asked again: the same folder, told once.
    verdict()->requireFolder();
    QVERIFY(waitForPolls(1, polls(1) + 2));
    QCOMPARE(ready.size(), 1);
    stopAndSettle();

    const QList<QStringList> summary = csvRows(verdict()->summaryPath(), SummaryHeader);
    QCOMPARE(summary.size(), 1);
    QCOMPARE(summary.at(0).mid(0, 2), (QStringList{"1", "KPa"}));
    QVERIFY(csvRows(verdict()->alarmLogPath(), LogHeader).isEmpty() && QFileInfo::exists(verdict()->alarmLogPath()));
}

QTEST_MAIN(TestRunVerdict)
#include "tst_runverdict.moc"
