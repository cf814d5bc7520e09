#include "alarms/limitsharness.h"
#include "common/pdftext.h"
#include "runverdict.h"
#include "simulatorprocess.h"

#include <QDirIterator>
#include <QTemporaryDir>

#include <memory>

namespace {

const QString SummaryHeader = QStringLiteral("设备地址,单位,总次数,失败次数,压力首值,压力末值,压力最小,压力最大,压力平均,"
                                             "温度最小,温度最大,温度平均,报警次数,报警时长(S),结论,\n");
const QString LogHeader = QStringLiteral("时间,设备地址,事件,量,值,限值,单位,\n");

int dataRows(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return file.readAll().count('\n') - 1;
}

QStringList pdfsIn(const QString &folder)
{
    QStringList found;
    QDirIterator files(folder, {QStringLiteral("*.pdf")}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext())
        found << files.next();
    return found;
}

} // namespace

class TestRunReport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void writtenAtTheEndOfARun_data();
    void writtenAtTheEndOfARun();
    void onDemandWhileRunning_data();
    void onDemandWhileRunning();

private:
    // Device 1 above its high limit of 90 KPa from its first poll, device 2
    // steady at 0.25 MPa without limits; recording until each has `rows` rows.
    void startRun(bool limits, int rows);

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<SimulatorProcess> sim;
};

void TestRunReport::init()
{
    folder = std::make_unique<QTemporaryDir>();
    QVERIFY(folder->isValid());
    sim = std::make_unique<SimulatorProcess>(
        SimulatorProcess::slaveArguments({"1,pressure=95000,temp=23.5", "2,pressure=250000,temp=20"}));
    QVERIFY(sim->start());
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestRunReport::cleanup()
{
    window.reset();
    sim.reset();
    folder.reset();
}

void TestRunReport::startRun(bool limits, int rows)
{
    QVERIFY(openPort(*window, sim->devicePath()));
    addDevice(*window, 1, QStringLiteral("KPa"), 3, 1);
    addDevice(*window, 2, QStringLiteral("MPa"), 4, 1);
    if (limits)
        QCOMPARE(setLimitsFromMenu(*window, 0, {"", "90", "", "", "", ""}), QString());
    QVERIFY(clickStart(*window, folder->path()));
    QTRY_VERIFY_WITH_TIMEOUT(recordAt(*window, 0).recordIndex >= quint32(rows)
                                 && recordAt(*window, 1).recordIndex >= quint32(rows),
                             30000);
}

void TestRunReport::writtenAtTheEndOfARun_data()
{
    QTest::addColumn<QString>("ending");
    QTest::addColumn<bool>("limits");
    QTest::newRow("停止") << "stop" << true;
    QTest::newRow("closing the port") << "port" << true;
    QTest::newRow("closing the window") << "window" << true;
    QTest::newRow("no limits, no folder, no report") << "stop" << false;
}

void TestRunReport::writtenAtTheEndOfARun()
{
    QFETCH(QString, ending);
    QFETCH(bool, limits);
    startRun(limits, 4);
    const RunVerdict *verdict = widget<RunVerdict>(*window, "runVerdict");
    QTRY_VERIFY(!limits || !verdict->reportPath().isEmpty());
    const QString report = verdict->reportPath();
    const QString summaryPath = verdict->summaryPath();
    const QString logPath = verdict->alarmLogPath();
    const QString start = verdict->start().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    const QStringList recordPaths{recordAt(*window, 0).filePath, recordAt(*window, 1).filePath};

    if (ending == QLatin1String("stop")) {
        clickStop(*window);
    } else if (ending == QLatin1String("port")) {
        clickClose(*window);
    } else {
        window->close();
        // Written within the window's closing, not after it.
        window.reset();
        QVERIFY(QFileInfo::exists(report));
    }
    if (window) {
        QVERIFY(waitForPollCycleEnd(*window));
        QVERIFY(waitForRecordWrites(*window));
    }
    if (!limits) {
        QTest::qWait(1500);
        QCOMPARE(pdfsIn(folder->path()), QStringList());
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(report), 30000);
    QCOMPARE(QFileInfo(report).fileName(), QStringLiteral("报告__%1.pdf").arg(QFileInfo(report).dir().dirName().mid(7)));

    const QStringList pages = pdfPages(report);
    QCOMPARE(pages.size(), 3);
    for (int page = 0; page < 3; ++page)
        QVERIFY2(pages.at(page).contains(extracted(QStringLiteral("第 %1 页，共 3 页").arg(page + 1))), qPrintable(pages.at(page).right(200)));
    const QString &first = pages.at(0);
    QVERIFY(first.contains(QSysInfo::machineHostName()));
    QVERIFY(first.contains(sim->devicePath()));
    QVERIFY(first.contains(QStringLiteral("9600")));
    QVERIFY(holdsRow(first, {"开始", start}));
    QVERIFY(holdsRow(first, {"线路中断", "0.0", "秒，占运"}));

    // The summary as the run's file has it, and as worked out by hand.
    const QList<QStringList> summary = csvRows(summaryPath, SummaryHeader);
    QCOMPARE(summary.size(), 2);
    QCOMPARE(summary.at(0).mid(3), (QStringList{"0", "95.000", "95.000", "95.000", "95.000", "95.000", "23.5", "23.5",
                                                "23.5", "1", summary.at(0).at(13), "不合格"}));
    QCOMPARE(summary.at(1).mid(3), (QStringList{"0", "0.2500", "0.2500", "0.2500", "0.2500", "0.2500", "20.0", "20.0",
                                                "20.0", "0", "0.0", "合格"}));
    for (int device = 0; device < 2; ++device) {
        QVERIFY2(holdsRow(first, summary.at(device)), qPrintable(first));
        QVERIFY(holdsRow(pages.at(device + 1), summary.at(device)));
        QVERIFY(pages.at(device + 1).contains(QStringLiteral("设备地址 %1").arg(device + 1)));
        // Its identity, and its trend read from the whole record file.
        QVERIFY(holdsRow(pages.at(device + 1),
                         {QString::number(device + 1), device ? "MPa" : "KPa", device ? "4" : "3", "1", "标准"}));
        const QRegularExpressionMatch rows
            = QRegularExpression(QStringLiteral("记录文件 (\\d+) 行")).match(pages.at(device + 1));
        QVERIFY(rows.hasMatch());
        QCOMPARE(rows.captured(1).toInt(), dataRows(recordPaths.at(device)));
        QVERIFY(dataRows(recordPaths.at(device)) >= 4);
    }

    // Device 1: its limit, its one raise; device 2 has neither.
    QVERIFY(pages.at(1).contains(QStringLiteral("上限 90")));
    const QList<QStringList> log = csvRows(logPath, LogHeader);
    QCOMPARE(log.size(), 1);
    QCOMPARE(log.at(0).mid(1), (QStringList{"1", "超上限", "压力", "95.000", "90", "KPa"}));
    QVERIFY(holdsRow(pages.at(1), {log.at(0).at(0), "超上限", "压力", "95.000", "90", "KPa"}));
    QVERIFY(pages.at(2).contains(QStringLiteral("无报警事件")));
    QVERIFY(pages.at(2).contains(extracted(QStringLiteral("限值：无"))));
}

void TestRunReport::onDemandWhileRunning_data()
{
    QTest::addColumn<bool>("shortcut");
    QTest::newRow("生成报告… in the tile area's menu") << false;
    QTest::newRow("Ctrl+P") << true;
}

void TestRunReport::onDemandWhileRunning()
{
    QFETCH(bool, shortcut);
    startRun(true, 3);
    const QString chosen = folder->filePath(QStringLiteral("bench-7"));
    const ModalAnswer<QFileDialog> answer([chosen](QFileDialog *dialog) {
        // Typed as the operator types it, over the name it suggests.
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(chosen);
        static_cast<QDialog *>(dialog)->accept();
    });
    if (shortcut) {
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(listView(*window), Qt::Key_P, Qt::ControlModifier);
    } else {
        QVERIFY(chooseFromTileMenu(*window, -1, "reportAction"));
    }
    QVERIFY(answer.answered());
    const QString report = chosen + QStringLiteral(".pdf");
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(report), 30000);

    // The run so far, while polling goes on.
    QVERIFY(widget<RunVerdict>(*window, "runVerdict")->isRunning());
    const QStringList pages = pdfPages(report);
    QCOMPARE(pages.size(), 3);
    QVERIFY(pages.at(0).contains(QStringLiteral("运行中")));
    QVERIFY(pages.at(2).contains(extracted(QStringLiteral("第 3 页，共 3 页"))));
    QVERIFY(holdsRow(pages.at(1), {"超上限", "压力", "95.000", "90", "KPa"}));
    QVERIFY(QRegularExpression(QStringLiteral("记录文件 ([3-9]|\\d\\d+) 行")).match(pages.at(2)).hasMatch());

    // The report of the whole run still comes at its end, in its own folder.
    clickStop(*window);
    QVERIFY(waitForPollCycleEnd(*window));
    QTRY_VERIFY_WITH_TIMEOUT(pdfsIn(folder->path()).size() == 2, 30000);
}

QTEST_MAIN(TestRunReport)
#include "tst_runreport.moc"
