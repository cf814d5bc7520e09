#include "mainwindow.h"

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
// A peer is taken as gone after 10 s without a byte while a request waits;
// the request then waiting runs out first, within 1 s.
constexpr qint64 SilentPeerMs = 10000;
constexpr qint64 SilentPeerNoticedMs = SilentPeerMs + 1000 + 1500;

// Whether a socket can listen on the IPv6 loopback here.
bool ipv6LoopbackUsable()
{
    const int fd = ::socket(AF_INET6, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    const bool usable = ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return usable;
}

QStringList servedSlaves()
{
    return {"--slave", "1,pressure=101325,temp=20.5", "--slave", "2,pressure=250000,temp=20.5"};
}

} // namespace

class TestTcpLine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void polls_data();
    void polls();
    void comesBackByItself_data();
    void comesBackByItself();
    void silentPeerIsNoticed();
    void openOutcome_data();
    void openOutcome();

private:
    bool allPolled(int count) const;
    bool allAnswering() const;

    std::unique_ptr<QTemporaryDir> directory;
    std::unique_ptr<SimulatorProcess> sim;
    std::unique_ptr<MainWindow> window;
};

void TestTcpLine::init()
{
    directory = std::make_unique<QTemporaryDir>();
    QVERIFY(directory->isValid());
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestTcpLine::cleanup()
{
    // A simulator stopped by a test that failed must be able to end.
    if (sim && sim->processId() != 0)
        ::kill(pid_t(sim->processId()), SIGCONT);
    if (button(*window, "btnStop")->isEnabled())
        clickButton(*window, "btnStop");
    if (portIsOpen(*window))
        clickButton(*window, "btnOpen");
    window.reset();
    sim.reset();
    directory.reset();
}

bool TestTcpLine::allPolled(int count) const
{
    for (int row = 0; row < deviceModel(*window)->rowCount(); ++row) {
        if (int(recordAt(*window, row).totalCount) < count)
            return false;
    }
    return true;
}

bool TestTcpLine::allAnswering() const
{
    for (int row = 0; row < deviceModel(*window)->rowCount(); ++row) {
        if (statusAt(*window, row) == Offline)
            return false;
    }
    return true;
}

void TestTcpLine::polls_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<QString>("address");
    // The pressure each device shows; empty for one whose every poll fails.
    QTest::addColumn<QStringList>("pressures");

    QTest::newRow("IPv4 loopback") << QStringList{"--tcp", "127.0.0.1:0"} + servedSlaves() << "127.0.0.1:%1"
                                   << QStringList{"101.325", "250.000"};
    QTest::newRow("a name") << QStringList{"--tcp", "0"} + servedSlaves() << "tcp://localhost:%1"
                            << QStringList{"101.325", "250.000"};
    QTest::newRow("IPv6 loopback") << QStringList{"--tcp", "[::1]:0"} + servedSlaves() << "[::1]:%1"
                                   << QStringList{"101.325", "250.000"};
    QTest::newRow("gateway answers 0x0B for a silent device")
        << QStringList{"--tcp", "127.0.0.1:0", "--gateway", "200", "--slave", "1,pressure=101325,temp=20.5", "--slave",
                       "2,pressure=250000,fault=silent:1"}
        << "127.0.0.1:%1" << QStringList{"101.325", ""};
    // Device 1 answers 150 ms after its time-out, while the line waits for
    // device 2's reply: that late reply must neither pass for device 2's nor
    // cost device 2 its own, 300 ms after its request.
    QTest::newRow("late reply during the next device's request")
        << QStringList{"--tcp", "127.0.0.1:0", "--slave", "1,pressure=101325,delay=1150", "--slave",
                       "2,pressure=250000,temp=20.5,delay=300"}
        << "127.0.0.1:%1" << QStringList{"", "250.000"};
    // The same on a serial line: the late reply is a frame for another
    // address there.
    QTest::newRow("serial line, late reply for another address")
        << QStringList{"--slave", "1,pressure=101325,delay=1150", "--slave", "2,pressure=250000,temp=20.5,delay=300"}
        << "%1" << QStringList{"", "250.000"};
}

void TestTcpLine::polls()
{
    QFETCH(QStringList, simArguments);
    QFETCH(QString, address);
    QFETCH(QStringList, pressures);

    if (address.startsWith('[') && !ipv6LoopbackUsable())
        QSKIP("no usable IPv6 loopback on this machine");
    sim = std::make_unique<SimulatorProcess>(simArguments);
    QVERIFY(sim->start());
    QVERIFY(openPort(*window, address.arg(sim->devicePath())));
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

void TestTcpLine::comesBackByItself_data()
{
    QTest::addColumn<bool>("restart");

    QTest::newRow("simulator stopped and started again") << true;
    QTest::newRow("simulator pulled and plugged back") << false;
}

void TestTcpLine::comesBackByItself()
{
    QFETCH(bool, restart);

    const QStringList slaves = {"--replug-after", "1500", "--slave", "1,pressure=101325,temp=20.5", "--slave",
                                "2,pressure=101325,temp=20.5"};
    sim = std::make_unique<SimulatorProcess>(QStringList{"--tcp", "127.0.0.1:0"} + slaves);
    QVERIFY(sim->start());
    const QString port = sim->devicePath();
    QVERIFY(openPort(*window, "127.0.0.1:" + port));
    addDevice(*window, 1, QStringLiteral("KPa"), 3, 1);
    addDevice(*window, 2, QStringLiteral("KPa"), 3, 1);
    QVERIFY(clickStart(*window, directory->path()));
    QTRY_VERIFY_WITH_TIMEOUT(allAnswering(), SettleMs);
    const QStringList files = {recordAt(*window, 0).filePath, recordAt(*window, 1).filePath};

    if (restart) {
        QVERIFY(!sim->stop().isEmpty());
    } else {
        QVERIFY(::kill(pid_t(sim->processId()), SIGUSR1) == 0);
    }
    QTRY_VERIFY_WITH_TIMEOUT(recordAt(*window, 0).failCount > 0 && recordAt(*window, 1).failCount > 0, SettleMs);
    QTRY_COMPARE_WITH_TIMEOUT(lastNoticeEvent(*window), QStringLiteral("连接中断，正在自动重新连接"), SettleMs);
    QVERIFY(portIsOpen(*window));
    if (restart) {
        QTest::qWait(1500);
        sim = std::make_unique<SimulatorProcess>(QStringList{"--tcp", "127.0.0.1:" + port} + slaves);
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

void TestTcpLine::silentPeerIsNoticed()
{
    sim = std::make_unique<SimulatorProcess>(QStringList{"--tcp", "127.0.0.1:0"} + servedSlaves());
    QVERIFY(sim->start());
    QVERIFY(openPort(*window, "127.0.0.1:" + sim->devicePath()));
    addDevice(*window, 1, QStringLiteral("KPa"), 3, 1);
    addDevice(*window, 2, QStringLiteral("KPa"), 3, 1);
    QObject *const line = widget<QObject>(*window, "modbusLine");
    QSignalSpy lost(line, SIGNAL(lineLost()));
    QSignalSpy restored(line, SIGNAL(lineRestored()));
    QVERIFY(clickStart(*window, QString()));
    QTRY_VERIFY_WITH_TIMEOUT(allPolled(2) && allAnswering(), SettleMs);

    // Silent, its connection open: the kernel still takes every request.
    QVERIFY(::kill(pid_t(sim->processId()), SIGSTOP) == 0);
    QElapsedTimer silent;
    silent.start();
    QVERIFY(lost.wait(int(SilentPeerNoticedMs + 2000)));
    const qint64 noticedMs = silent.elapsed();
    QVERIFY2(noticedMs >= SilentPeerMs - 500 && noticedMs <= SilentPeerNoticedMs,
             qPrintable(QStringLiteral("lost after %1 ms").arg(noticedMs)));
    QCOMPARE(lastNoticeEvent(*window), QStringLiteral("连接中断，正在自动重新连接"));
    QVERIFY(portIsOpen(*window));
    // Opened again 1 s later: the kernel completes a connection to the
    // stopped peer as well.
    QVERIFY(restored.wait(5000));
    QCOMPARE(lost.count(), 1);

    quint32 answeredBefore[2];
    for (int row = 0; row < 2; ++row) {
        const ItemData record = recordAt(*window, row);
        answeredBefore[row] = record.totalCount - record.failCount;
    }
    QVERIFY(::kill(pid_t(sim->processId()), SIGCONT) == 0);
    // The simulator, going on, finds the old connection closed and the new
    // one waiting: polling comes back by itself.
    const auto answeringAgain = [&] {
        for (int row = 0; row < 2; ++row) {
            const ItemData record = recordAt(*window, row);
            if (record.totalCount - record.failCount < answeredBefore[row] + 2 || statusAt(*window, row) == Offline)
                return false;
        }
        return true;
    };
    QTRY_VERIFY_WITH_TIMEOUT(answeringAgain(), ComeBackMs);
    QVERIFY(portIsOpen(*window));
    QCOMPARE(recordAt(*window, 1).pressureText, QStringLiteral("250.000"));
}

void TestTcpLine::openOutcome_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("refused");
    // What the line notice says; empty when it stays away.
    QTest::addColumn<QString>("notice");

    QTest::newRow("host and colon") << "192.168.1.20:" << true << "";
    QTest::newRow("colon and port") << ":502" << true << "";
    QTest::newRow("port 0") << "localhost:0" << true << "";
    QTest::newRow("port 65536") << "localhost:65536" << true << "";
    QTest::newRow("scheme alone") << "tcp://" << true << "";
    QTest::newRow("spaces") << "127.0.0.1 : 1502" << true << "";
    QTest::newRow("connection refused") << QStringLiteral("127.0.0.1:%1").arg(closedPort()) << false
                                        << "被拒绝";
    QTest::newRow("name that does not resolve") << "tcp://nosuchhost.invalid:1502" << false
                                                << "无法解析主机名 nosuchhost.invalid";
    QTest::newRow("serial port that is not there") << "ttyVELMORA-ABSENT" << false << "";
}

void TestTcpLine::openOutcome()
{
    QFETCH(QString, text);
    QFETCH(bool, refused);
    QFETCH(QString, notice);

    auto *portBox = widget<QComboBox>(*window, "cboxPortName");
    QVERIFY(portBox->toolTip().contains(QStringLiteral("tcp://主机[:端口]")));
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
        QVERIFY2(boxText.contains(QStringLiteral("tcp://主机[:端口]")) && boxText.contains(QStringLiteral("主机:端口")),
                 qPrintable(boxText));
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

QTEST_MAIN(TestTcpLine)
#include "tst_tcpline.moc"
