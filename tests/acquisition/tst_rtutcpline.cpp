#include "busscan.h"
#include "mainwindow.h"
#include "modbusline.h"

#include "common/modalanswer.h"
#include "reliability/recordrows.h"
#include "reliability/windowdriver.h"

#include "common/tcppeer.h"
#include "simulatorprocess.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {

constexpr int SettleMs = 10000;
// The far end is back after 1.5 s; the line's owner tries again after 1, 2
// and 4 s.
constexpr int ComeBackMs = 20000;

// The simulator behind a transparent converter on the IPv4 loopback.
QStringList converter(const QStringList &slaves, const QString &port = QStringLiteral("0"))
{
    return QStringList{"--tcp", "127.0.0.1:" + port, "--rtu-over-tcp"} + SimulatorProcess::slaveArguments(slaves);
}

} // namespace

class TestRtuTcpLine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void polls_data();
    void polls();
    void comesBackByItself_data();
    void comesBackByItself();
    void openOutcome_data();
    void openOutcome();
    void scanFindsTheServedAddresses();

private:
    bool allPolled(int count) const;
    bool allAnswering() const;
    QString openConverter(const QStringList &slaves);

    std::unique_ptr<QTemporaryDir> directory;
    std::unique_ptr<SimulatorProcess> sim;
    std::unique_ptr<MainWindow> window;
};

void TestRtuTcpLine::init()
{
    directory = std::make_unique<QTemporaryDir>();
    QVERIFY(directory->isValid());
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestRtuTcpLine::cleanup()
{
    if (button(*window, "btnStop")->isEnabled())
        clickButton(*window, "btnStop");
    if (portIsOpen(*window))
        clickButton(*window, "btnOpen");
    window.reset();
    sim.reset();
    directory.reset();
}

bool TestRtuTcpLine::allPolled(int count) const
{
    for (int row = 0; row < deviceModel(*window)->rowCount(); ++row) {
        if (int(recordAt(*window, row).totalCount) < count)
            return false;
    }
    return true;
}

bool TestRtuTcpLine::allAnswering() const
{
    for (int row = 0; row < deviceModel(*window)->rowCount(); ++row) {
        if (statusAt(*window, row) == Offline)
            return false;
    }
    return true;
}

// Starts the simulator serving `slaves` and opens the line to it; the port.
QString TestRtuTcpLine::openConverter(const QStringList &slaves)
{
    sim = std::make_unique<SimulatorProcess>(converter(slaves));
    if (!sim->start())
        return QString();
    const QString port = sim->devicePath();
    return openPort(*window, "rtu+tcp://127.0.0.1:" + port) ? port : QString();
}

void TestRtuTcpLine::polls_data()
{
    QTest::addColumn<QStringList>("slaves");
    // The pressure each device shows; empty for one whose every poll fails.
    QTest::addColumn<QStringList>("pressures");

    QTest::newRow("two devices") << QStringList{"1,pressure=101325,temp=20.5", "2,pressure=250000,temp=20.5"}
                                 << QStringList{"101.325", "250.000"};
    QTest::newRow("bad checksum on every reply of one device")
        << QStringList{"1,pressure=101325,temp=20.5,fault=crc:1", "2,pressure=250000,temp=20.5"}
        << QStringList{"", "250.000"};
    // Each reply goes out in two segments, the second 600..900 ms after the
    // first: a converter's stream has no gap between bytes to run out.
    QTest::newRow("every reply split in two segments")
        << QStringList{"1,pressure=101325,temp=20.5,fault=split:1", "2,pressure=250000,temp=20.5"}
        << QStringList{"101.325", "250.000"};
    // Device 1 answers 150 ms after its time-out, while the line waits for
    // device 2's reply: that late frame must neither pass for device 2's nor
    // cost device 2 its own, 300 ms after its request.
    QTest::newRow("late frame during the next device's request")
        << QStringList{"1,pressure=101325,delay=1150", "2,pressure=250000,temp=20.5,delay=300"}
        << QStringList{"", "250.000"};
}

void TestRtuTcpLine::polls()
{
    QFETCH(QStringList, slaves);
    QFETCH(QStringList, pressures);

    const QString port = openConverter(slaves);
    QVERIFY(!port.isEmpty());
    // What the published status names the line by.
    QCOMPARE(widget<ModbusLine>(*window, "modbusLine")->address(), "rtu+tcp://127.0.0.1:" + port);
    for (int device = 1; device <= pressures.size(); ++device)
        addDevice(*window, device, QStringLiteral("KPa"), 3, 1);
    QSignalSpy lost(widget<QObject>(*window, "modbusLine"), SIGNAL(lineLost()));
    QVERIFY(clickStart(*window, QString()));
    QTRY_VERIFY_WITH_TIMEOUT(allPolled(4), SettleMs);

    for (int row = 0; row < pressures.size(); ++row) {
        const ItemData record = recordAt(*window, row);
        QCOMPARE(record.pressureText, pressures.at(row));
        if (pressures.at(row).isEmpty()) {
            QCOMPARE(record.failCount, record.totalCount);
        } else {
            QCOMPARE(record.temperatureText, QStringLiteral("20.5"));
            QCOMPARE(record.failCount, 0u);
        }
    }
    // A device that fails leaves the line as it is.
    QCOMPARE(lost.count(), 0);
    QVERIFY(portIsOpen(*window));
    QVERIFY(noticeText(*window).isEmpty());
}

void TestRtuTcpLine::comesBackByItself_data()
{
    QTest::addColumn<bool>("restart");

    QTest::newRow("simulator stopped and started on the same port") << true;
    QTest::newRow("converter rebooted (SIGUSR1)") << false;
}

void TestRtuTcpLine::comesBackByItself()
{
    QFETCH(bool, restart);

    const QStringList slaves = {"1,pressure=101325,temp=20.5", "2,pressure=101325,temp=20.5"};
    sim = std::make_unique<SimulatorProcess>(converter(slaves) + QStringList{"--replug-after", "1500"});
    QVERIFY(sim->start());
    const QString port = sim->devicePath();
    QVERIFY(openPort(*window, "rtu+tcp://127.0.0.1:" + port));
    addDevice(*window, 1, QStringLiteral("KPa"), 3, 1);
    addDevice(*window, 2, QStringLiteral("KPa"), 3, 1);
    QVERIFY(clickStart(*window, directory->path()));
    QTRY_VERIFY_WITH_TIMEOUT(allAnswering(), SettleMs);
    const QStringList files = {recordAt(*window, 0).filePath, recordAt(*window, 1).filePath};

    if (restart)
        QVERIFY(!sim->stop().isEmpty());
    else
        QVERIFY(::kill(pid_t(sim->processId()), SIGUSR1) == 0);
    QTRY_VERIFY_WITH_TIMEOUT(recordAt(*window, 0).failCount > 0 && recordAt(*window, 1).failCount > 0, SettleMs);
    QTRY_COMPARE_WITH_TIMEOUT(lastNoticeEvent(*window), QStringLiteral("连接中断，正在自动重新连接"), SettleMs);
    QVERIFY(portIsOpen(*window));
    if (restart) {
        QTest::qWait(1500);
        sim = std::make_unique<SimulatorProcess>(converter(slaves, port));
        QVERIFY(sim->start());
        QCOMPARE(sim->devicePath(), port);
    }

    // Back without a click, in the same files.
    const int rowsBefore = int(dataRows(files.at(1)).size());
    QTRY_COMPARE_WITH_TIMEOUT(lastNoticeEvent(*window), QStringLiteral("连接已恢复"), ComeBackMs);
    QTRY_VERIFY_WITH_TIMEOUT(int(dataRows(files.at(1)).size()) >= rowsBefore + 3, SettleMs);
    QVERIFY(portIsOpen(*window));
    for (int row = 0; row < 2; ++row) {
        QCOMPARE(recordAt(*window, row).filePath, files.at(row));
        const QList<QStringList> rows = dataRows(files.at(row));
        QCOMPARE(rows.constLast().mid(2), (QStringList{"101.325", "KPa", "20.5", ""}));
        QVERIFY(rows.size() >= rowsBefore + 2);
    }
}

void TestRtuTcpLine::openOutcome_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("refused");
    // What the line notice says; empty when it stays away.
    QTest::addColumn<QString>("notice");

    QTest::newRow("no port") << "rtu+tcp://192.168.1.20" << true << "";
    QTest::newRow("host and colon") << "rtu+tcp://192.168.1.20:" << true << "";
    QTest::newRow("scheme alone") << "rtu+tcp://" << true << "";
    QTest::newRow("port 0") << "rtu+tcp://localhost:0" << true << "";
    QTest::newRow("port 65536") << "rtu+tcp://localhost:65536" << true << "";
    QTest::newRow("IPv6 without brackets") << "rtu+tcp://::1:4001" << true << "";
    QTest::newRow("space after the scheme") << "rtu+tcp:// host:4001" << true << "";
    QTest::newRow("one slash") << "rtu+tcp:/host:4001" << true << "";
    QTest::newRow("connection refused") << QStringLiteral("rtu+tcp://127.0.0.1:%1").arg(closedPort()) << false
                                        << "被拒绝";
    QTest::newRow("name that does not resolve") << "rtu+tcp://nosuchhost.invalid:4001" << false
                                                << "无法解析主机名 nosuchhost.invalid";
}

void TestRtuTcpLine::openOutcome()
{
    QFETCH(QString, text);
    QFETCH(bool, refused);
    QFETCH(QString, notice);

    auto *portBox = widget<QComboBox>(*window, "cboxPortName");
    QVERIFY(portBox->toolTip().contains(QStringLiteral("rtu+tcp://主机:端口")));
    portBox->setEditText(text);
    QSignalSpy tried(widget<QObject>(*window, "modbusLine"), SIGNAL(openFinished(bool)));
    QString title;
    QString boxText;
    const ModalAnswer<QMessageBox> answer([&title, &boxText](QMessageBox *box) {
        title = box->windowTitle();
        boxText = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    clickButton(*window, "btnOpen");
    QCOMPARE(answer.answered(), refused);
    if (refused) {
        QCOMPARE(title, QStringLiteral("提示"));
        // Every accepted form is named.
        for (const QString &form : {QStringLiteral("tcp://主机[:端口]"), QStringLiteral("或 主机:端口"),
                                    QStringLiteral("rtu+tcp://主机:端口"), QStringLiteral("串口名")})
            QVERIFY2(boxText.contains(form), qPrintable(boxText));
        // Nothing went to the line.
        QVERIFY(!tried.wait(500));
    } else {
        QVERIFY(tried.wait(SettleMs));
        QCOMPARE(tried.first().first().toBool(), false);
    }
    QVERIFY(!portIsOpen(*window));
    if (notice.isEmpty())
        QVERIFY(noticeText(*window).isEmpty());
    else
        QVERIFY2(noticeText(*window).contains(notice), qPrintable(noticeText(*window)));
}

void TestRtuTcpLine::scanFindsTheServedAddresses()
{
    QVERIFY(!openConverter({"2", "4,fault=exception:1"}).isEmpty());
    auto *scan = widget<BusScan>(*window, "busScan");
    QSignalSpy finished(scan, &BusScan::finished);
    QString endText;
    // The box at the end, declining to add the devices found.
    const ModalAnswer<QMessageBox> end(
        [&endText](QMessageBox *box) {
            endText = box->text();
            const QList<QAbstractButton *> buttons = box->buttons();
            for (QAbstractButton *button : buttons) {
                if (box->buttonRole(button) == QMessageBox::RejectRole || buttons.size() == 1) {
                    button->click();
                    return;
                }
            }
        },
        30000);
    QElapsedTimer clock;
    clock.start();
    scan->start(1, 5);
    QVERIFY(QTest::qWaitFor([&] { return !finished.isEmpty(); }, 20000));
    const qint64 scanMs = clock.elapsed();

    // An exception reply comes from a device that is there.
    QCOMPARE(scan->foundAddresses(), (QList<int>{2, 4}));
    // The probes of 1, 3 and 5 each wait out a whole second: the converter's
    // baud rate is not known, so nothing shorter is safe.
    QVERIFY2(scanMs >= 3 * 1000 - 50 && scanMs < 3 * 1000 + 2000, qPrintable(QStringLiteral("%1 ms").arg(scanMs)));
    QVERIFY(QTest::qWaitFor([&end] { return end.answered(); }, 5000));
    QVERIFY2(endText.contains(QStringLiteral("2、4")), qPrintable(endText));
    QVERIFY(portIsOpen(*window));
}

QTEST_MAIN(TestRtuTcpLine)
#include "tst_rtutcpline.moc"
