#include "recordrows.h"
#include "windowdriver.h"

#include "simulatorprocess.h"
#include "notice.h"

#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {

constexpr int SettleMs = 10000;
// A pulled line comes back after the simulator's delay and the next attempt
// to open it: 1, 2, 4, then every 8 and 10 s.
constexpr int ReplugMs = 20000;

// The readings fields of a row: as served, or empty.
QStringList served()
{
    return {"101.325", "KPa", "20.5", ""};
}

QStringList unread()
{
    return {"", "KPa", "", ""};
}

int openFileDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::System).size());
}

QString noticeText(const MainWindow &window)
{
    const auto *notice = window.findChild<Notice *>(QStringLiteral("lineNotice"));
    return notice && notice->isVisible() ? notice->text() : QString();
}

} // namespace

class TestLineRecovery : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pulledLineComesBack_data();
    void pulledLineComesBack();
    void silentSlaveIsNoLostLine();
    void closingStopsTheRetries();

private:
    void startRecording(const QStringList &simArguments, int devices);
    bool allDevices(int status) const;
    bool allDevicesAnswering() const;
    void pull();

    std::unique_ptr<QTemporaryDir> directory;
    std::unique_ptr<SimulatorProcess> sim;
    std::unique_ptr<MainWindow> window;
};

void TestLineRecovery::init()
{
    directory = std::make_unique<QTemporaryDir>();
    QVERIFY(directory->isValid());
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestLineRecovery::cleanup()
{
    if (portIsOpen(*window))
        clickButton(*window, "btnOpen");
    window.reset();
    sim.reset();
    directory.reset();
}

void TestLineRecovery::startRecording(const QStringList &simArguments, int devices)
{
    const QString link = directory->filePath(QStringLiteral("line"));
    sim = std::make_unique<SimulatorProcess>(QStringList{"--link", link} + simArguments);
    QVERIFY(sim->start());
    QVERIFY(openPort(*window, link));
    for (int address = 1; address <= devices; ++address)
        addDevice(*window, address, QStringLiteral("KPa"), 3, 1);
    QVERIFY(clickStart(*window, directory->path()));
    QTRY_VERIFY_WITH_TIMEOUT(allDevicesAnswering(), SettleMs);
}

bool TestLineRecovery::allDevices(int status) const
{
    for (int row = 0; row < deviceModel(*window)->rowCount(); ++row) {
        if (statusAt(*window, row) != status)
            return false;
    }
    return true;
}

bool TestLineRecovery::allDevicesAnswering() const
{
    for (int row = 0; row < deviceModel(*window)->rowCount(); ++row) {
        if (statusAt(*window, row) == Offline)
            return false;
    }
    return true;
}

void TestLineRecovery::pull()
{
    QVERIFY(::kill(pid_t(sim->processId()), SIGUSR1) == 0);
}

void TestLineRecovery::pulledLineComesBack_data()
{
    QTest::addColumn<int>("replugAfterMs");
    QTest::addColumn<int>("pulls");

    QTest::newRow("pulled for 5 s") << 5000 << 1;
    QTest::newRow("five pulls in a row") << 300 << 5;
}

void TestLineRecovery::pulledLineComesBack()
{
    QFETCH(int, replugAfterMs);
    QFETCH(int, pulls);

    const QString slaves = QStringLiteral("pressure=101325,temp=20.5");
    startRecording({"--replug-after", QString::number(replugAfterMs), "--slave", "1," + slaves, "--slave",
                    "2," + slaves, "--slave", "3," + slaves},
                   3);
    QStringList files;
    for (int row = 0; row < 3; ++row)
        files << recordAt(*window, row).filePath;
    const int descriptors = openFileDescriptors();

    for (int i = 0; i < pulls; ++i) {
        pull();
        QTRY_VERIFY_WITH_TIMEOUT(allDevices(Offline), SettleMs);
        QTRY_VERIFY_WITH_TIMEOUT(noticeText(*window).endsWith(QStringLiteral("串口连接中断，正在自动重新连接")),
                                 SettleMs);
        // The operator still wants the line open.
        QVERIFY(portIsOpen(*window));
        // Back without a click.
        QTRY_VERIFY_WITH_TIMEOUT(allDevicesAnswering(), ReplugMs);
        QTRY_VERIFY_WITH_TIMEOUT(noticeText(*window).endsWith(QStringLiteral("串口连接已恢复")), SettleMs);
    }
    QCOMPARE(openFileDescriptors(), descriptors);

    // Two more rows after the line came back, in the same files.
    int rowsAtReturn = INT_MAX;
    for (const QString &file : qAsConst(files))
        rowsAtReturn = qMin(rowsAtReturn, int(dataRows(file).size()));
    QTRY_VERIFY_WITH_TIMEOUT(int(dataRows(files.at(0)).size()) >= rowsAtReturn + 2
                                 && int(dataRows(files.at(2)).size()) >= rowsAtReturn + 2,
                             SettleMs);
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(recordAt(*window, row).filePath, files.at(row));
        const QList<QStringList> rows = dataRows(files.at(row));
        int unreadRows = 0;
        for (int i = 0; i < rows.size(); ++i) {
            QCOMPARE(rows.at(i).value(0), QString::number(i + 1));
            const QStringList readings = rows.at(i).mid(2);
            QVERIFY2(readings == served() || readings == unread(), qPrintable(rows.at(i).join(',')));
            unreadRows += readings == unread();
        }
        // The gap shows as empty readings, and fresh readings follow it.
        QVERIFY2(unreadRows >= (replugAfterMs >= 1000 ? 4 : 1), qPrintable(QString::number(unreadRows)));
        QCOMPARE(rows.constLast().mid(2), served());
    }
}

void TestLineRecovery::silentSlaveIsNoLostLine()
{
    startRecording({"--slave", "1,pressure=101325,temp=20.5", "--slave", "2,pressure=101325,temp=20.5,after=silent:3",
                    "--slave", "3,pressure=101325,temp=20.5"},
                   3);
    QSignalSpy lost(widget<QObject>(*window, "modbusLine"), SIGNAL(lineLost()));
    QTRY_VERIFY_WITH_TIMEOUT(recordAt(*window, 1).failCount >= 4 && dataRows(recordAt(*window, 1).filePath).size() >= 4,
                             SettleMs);
    QCOMPARE(lost.count(), 0);
    QVERIFY(noticeText(*window).isEmpty());

    for (int row = 0; row < 3; ++row) {
        const QList<QStringList> rows = dataRows(recordAt(*window, row).filePath);
        QVERIFY(rows.size() >= 4);
        // The silent device keeps its last reading on the tile, not in its file.
        QCOMPARE(rows.constLast().mid(2), row == 1 ? unread() : served());
    }
    QCOMPARE(recordAt(*window, 1).pressureText, served().at(0));
    QCOMPARE(statusAt(*window, 1), int(Offline));
}

void TestLineRecovery::closingStopsTheRetries()
{
    startRecording({"--replug-after", "1500", "--slave", "1,pressure=101325,temp=20.5"}, 1);
    QSignalSpy restored(widget<QObject>(*window, "modbusLine"), SIGNAL(lineRestored()));
    pull();
    QTRY_VERIFY_WITH_TIMEOUT(allDevices(Offline), SettleMs);
    clickButton(*window, "btnOpen");
    QVERIFY(!portIsOpen(*window));
    const quint32 polls = recordAt(*window, 0).totalCount;

    // The line is back after 1.5 s; had the retries gone on, the next one
    // (2 s after the first) would have opened it.
    QTest::qWait(4000);
    QCOMPARE(restored.count(), 0);
    QVERIFY(!portIsOpen(*window));
    QCOMPARE(recordAt(*window, 0).totalCount, polls);
}

QTEST_MAIN(TestLineRecovery)
#include "tst_linerecovery.moc"
