#include "busscan.h"
#include "pollcycle.h"
#include "mainwindow.h"

#include "common/modalanswer.h"
#include "common/windowaccess.h"
#include "reliability/eventloopwatch.h"

#include "simulatorprocess.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QMenu>
#include <QMessageBox>
#include <QtTest>

#include <memory>

namespace {

// A full scan of 1–247 at 9600 baud must take under 30 s; a scan of 1–30 gets
// that bound scaled to its 30 addresses, with half of it again as margin.
constexpr qint64 ScanBoundMs = 30000 * 30 / 247 * 3 / 2;
constexpr qint64 LongestStallMs = 100;
constexpr int WatchIntervalMs = 10;

// The simulated line: three addresses answering, wire time as at 9600 baud.
QStringList servedLine(const QString &lastSlave = QStringLiteral("22"))
{
    return {"--baud", "9600", "--slave", "3", "--slave", "7", "--slave", lastSlave};
}

QPushButton *buttonWithRole(QDialogButtonBox *buttons, QDialogButtonBox::ButtonRole role)
{
    const QList<QAbstractButton *> all = buttons->buttons();
    for (QAbstractButton *button : all) {
        if (buttons->buttonRole(button) == role)
            return qobject_cast<QPushButton *>(button);
    }
    return nullptr;
}

// The same three addresses over Modbus TCP behind a gateway: its 0x0B for
// the absent ones, after `gatewayMs`, finds nothing there; the present ones
// answer through it after `replyMs`.
QStringList tcpLine(int gatewayMs, int replyMs = 0)
{
    QStringList arguments{"--tcp", "127.0.0.1:0", "--gateway", QString::number(gatewayMs)};
    for (const int address : {3, 7, 22})
        arguments << "--slave" << QStringLiteral("%1,delay=%2").arg(address).arg(replyMs);
    return arguments;
}

// Every request the simulator saw, for any address.
int requestsSeen(const QJsonObject &stats)
{
    int seen = stats.value(QStringLiteral("ignored_frames")).toInt();
    const QJsonArray slaves = stats.value(QStringLiteral("slaves")).toArray();
    for (const QJsonValue &slave : slaves)
        seen += slave.toObject().value(QStringLiteral("requests")).toInt();
    return seen;
}

// What the box at the end of a scan said, and whether it offered to add.
struct EndBox
{
    QString text;
    bool offered = false;
};

// Answers the box at the end of a scan: adds the devices when `add` says so.
ModalAnswer<QMessageBox> answerEnd(EndBox &seen, bool add, const std::function<void()> &whenShown = {})
{
    return ModalAnswer<QMessageBox>(
        [&seen, add, whenShown](QMessageBox *box) {
            if (whenShown)
                whenShown();
            seen.text = box->text();
            QAbstractButton *accept = nullptr;
            QAbstractButton *reject = nullptr;
            const QList<QAbstractButton *> buttons = box->buttons();
            for (QAbstractButton *button : buttons)
                (box->buttonRole(button) == QMessageBox::RejectRole ? reject : accept) = button;
            seen.offered = reject != nullptr;
            (add || !reject ? accept : reject)->click();
        },
        30000);
}

} // namespace

class TestBusScan : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void findsAnsweringAddresses_data();
    void findsAnsweringAddresses();
    void cancelStopsWithinOneProbe();
    void refusesWhileLineIsNotFree_data();
    void refusesWhileLineIsNotFree();
    void waitsForTheCycleStopLetsFinish();

private:
    void openLine(const QStringList &simArguments);
    // Chooses 扫描总线… in the tile area's context menu, as the operator does.
    void chooseScan();
    // Chooses 扫描总线… and answers the range dialog with first to last.
    void startScan(int first, int last);
    BusScan *scan() const;

    std::unique_ptr<SimulatorProcess> sim;
    std::unique_ptr<MainWindow> window;
};

void TestBusScan::init()
{
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestBusScan::cleanup()
{
    auto *stop = widget<QPushButton>(*window, "btnStop");
    if (stop->isEnabled())
        QTest::mouseClick(stop, Qt::LeftButton);
    if (portIsOpen(*window))
        QTest::mouseClick(widget<QPushButton>(*window, "btnOpen"), Qt::LeftButton);
    window.reset();
    sim.reset();
}

void TestBusScan::openLine(const QStringList &simArguments)
{
    sim = std::make_unique<SimulatorProcess>(simArguments);
    QVERIFY(sim->start());
    // Over TCP the simulator tells the port it listens on.
    const QString line = simArguments.contains(QStringLiteral("--tcp")) ? "127.0.0.1:" + sim->devicePath()
                                                                         : sim->devicePath();
    QVERIFY(openPort(*window, line));
}

void TestBusScan::chooseScan()
{
    QListView *view = listView(*window);
    const QPoint at = view->viewport()->rect().bottomRight() - QPoint(20, 20);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view->viewport(), &event);
    auto *menu = window->findChild<QMenu *>(QStringLiteral("deviceListMenu"));
    QVERIFY(menu && menu->isVisible());
    auto *action = window->findChild<QAction *>(QStringLiteral("scanBusAction"));
    QVERIFY(action && menu->actions().contains(action));
    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(action).center());
}

void TestBusScan::startScan(int first, int last)
{
    const ModalAnswer<QDialog> range([first, last](QDialog *dialog) {
        QCOMPARE(dialog->objectName(), QStringLiteral("busScanRange"));
        auto *firstBox = dialog->findChild<QSpinBox *>(QStringLiteral("scanFirstAddress"));
        auto *lastBox = dialog->findChild<QSpinBox *>(QStringLiteral("scanLastAddress"));
        QVERIFY(firstBox && lastBox);
        // The whole range of slave addresses unless the operator narrows it.
        QCOMPARE(firstBox->value(), 1);
        QCOMPARE(lastBox->value(), 247);
        firstBox->setValue(first);
        lastBox->setValue(last);
        buttonWithRole(dialog->findChild<QDialogButtonBox *>(), QDialogButtonBox::AcceptRole)->click();
    });
    chooseScan();
    QVERIFY(range.answered());
    QVERIFY(scan()->isRunning());
}


BusScan *TestBusScan::scan() const
{
    return widget<BusScan>(*window, "busScan");
}

void TestBusScan::findsAnsweringAddresses_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<QList<int>>("listed");
    QTest::addColumn<bool>("add");
    QTest::addColumn<bool>("offered");
    QTest::addColumn<QStringList>("after");
    // How long scanning 1–30 may take.
    QTest::addColumn<qint64>("boundMs");

    QTest::newRow("nothing listed, all added")
        << servedLine() << QList<int>{} << true << true
        << QStringList{"3 MPa 4 5", "7 MPa 4 5", "22 MPa 4 5"}
        << ScanBoundMs;
    QTest::newRow("one listed, the others added")
        << servedLine() << QList<int>{7} << true << true
        << QStringList{"7 psi 3 60", "3 MPa 4 5", "22 MPa 4 5"} << ScanBoundMs;
    QTest::newRow("offer declined")
        << servedLine() << QList<int>{22} << false << true << QStringList{"22 psi 3 60"} << ScanBoundMs;
    QTest::newRow("all listed, nothing to offer")
        << servedLine() << QList<int>{22, 3, 7} << true << false
        << QStringList{"22 psi 3 60", "3 psi 3 60", "7 psi 3 60"} << ScanBoundMs;
    // An exception reply comes from a device that is there.
    QTest::newRow("exception reply counts as found")
        << servedLine(QStringLiteral("22,fault=exception:1"))
        << QList<int>{} << true << true << QStringList{"3 MPa 4 5", "7 MPa 4 5", "22 MPa 4 5"} << ScanBoundMs;
    QTest::newRow("over TCP, gateway answers 0x0B") << tcpLine(20) << QList<int>{} << true << true
                                                    << QStringList{"3 MPa 4 5", "7 MPa 4 5", "22 MPa 4 5"}
                                                    << ScanBoundMs;
    // Slower than a serial probe's wait: a probe over TCP waits as long as a
    // poll, and the gateway's 0x0B ends it at once, after 300 ms, for each of
    // the 27 absent addresses.
    QTest::newRow("behind a 300 ms gateway") << tcpLine(300, 300) << QList<int>{} << true << true
                                             << QStringList{"3 MPa 4 5", "7 MPa 4 5", "22 MPa 4 5"}
                                             << qint64(30 * 300 * 3 / 2);
}

void TestBusScan::findsAnsweringAddresses()
{
    QFETCH(QStringList, simArguments);
    QFETCH(QList<int>, listed);
    QFETCH(bool, add);
    QFETCH(bool, offered);
    QFETCH(QStringList, after);
    QFETCH(qint64, boundMs);

    openLine(simArguments);
    for (const int address : listed)
        addDevice(*window, address, QStringLiteral("psi"), 3, 60);
    widget<QComboBox>(*window, "cBoxUnit")->setCurrentText(QStringLiteral("MPa"));
    widget<QSpinBox>(*window, "spinBox_dotnum")->setValue(4);
    widget<QSpinBox>(*window, "spinBox_period")->setValue(5);

    EventLoopWatch watch(WatchIntervalMs);
    QElapsedTimer clock;
    clock.start();
    qint64 scanMs = -1;
    qint64 longestStallMs = -1;
    EndBox end;
    const ModalAnswer<QMessageBox> answer = answerEnd(end, add, [&] {
        scanMs = clock.elapsed();
        longestStallMs = watch.longestGapMs();
    });
    startScan(1, 30);
    QVERIFY(QTest::qWaitFor([&answer] { return answer.answered(); }, 30000));

    QVERIFY2(scanMs < boundMs, qPrintable(QStringLiteral("%1 ms").arg(scanMs)));
    QVERIFY2(longestStallMs < LongestStallMs, qPrintable(QStringLiteral("%1 ms").arg(longestStallMs)));
    QCOMPARE(scan()->foundAddresses(), (QList<int>{3, 7, 22}));
    QVERIFY2(end.text.contains(QStringLiteral("3、7、22")), qPrintable(end.text));
    QCOMPARE(end.offered, offered);
    QCOMPARE(listedDevices(*window), after);
    QVERIFY(!scan()->isRunning());
    QVERIFY(!widget<QDialog>(*window, "busScanProgress")->isVisible());
}

void TestBusScan::cancelStopsWithinOneProbe()
{
    openLine(servedLine());
    QSignalSpy progressed(scan(), &BusScan::progressed);
    startScan(1, 247);
    QVERIFY(progressed.wait(5000));
    QVERIFY(QTest::qWaitFor([&progressed] { return progressed.count() >= 10; }, 10000));
    auto *progress = widget<QDialog>(*window, "busScanProgress");
    QVERIFY(progress->isVisible());

    EndBox end;
    const ModalAnswer<QMessageBox> answer = answerEnd(end, false);
    buttonWithRole(progress->findChild<QDialogButtonBox *>(), QDialogButtonBox::RejectRole)->click();
    QVERIFY(answer.answered());
    const int probed = progressed.count();
    QVERIFY(!scan()->isRunning());
    QVERIFY(!progress->isVisible());
    QVERIFY2(end.text.contains(QStringLiteral("扫描已取消")) && end.text.contains(QStringLiteral("3、7")),
             qPrintable(end.text));
    QVERIFY(end.offered);
    QVERIFY(listedDevices(*window).isEmpty());

    // The probe in flight at the cancel still goes out; nothing after it.
    QTest::qWait(1000);
    QCOMPARE(progressed.count(), probed);
    const QJsonObject stats = sim->stop();
    QVERIFY(!stats.isEmpty());
    QCOMPARE(requestsSeen(stats), probed + 1);
    QVERIFY(probed < 247);
}

void TestBusScan::refusesWhileLineIsNotFree_data()
{
    QTest::addColumn<bool>("openThePort");
    QTest::addColumn<bool>("start");
    QTest::addColumn<QString>("hint");

    QTest::newRow("port closed") << false << false << QStringLiteral("请先打开串口");
    QTest::newRow("Start active") << true << true << QStringLiteral("请先点击停止");
}

void TestBusScan::refusesWhileLineIsNotFree()
{
    QFETCH(bool, openThePort);
    QFETCH(bool, start);
    QFETCH(QString, hint);

    openLine(servedLine());
    if (!openThePort)
        QTest::mouseClick(widget<QPushButton>(*window, "btnOpen"), Qt::LeftButton);
    QCOMPARE(portIsOpen(*window), openThePort);
    if (start) {
        addDevice(*window, 3);
        QVERIFY(clickStart(*window, QString()));
        QVERIFY(widget<QPushButton>(*window, "btnStop")->isEnabled());
    }

    QString title;
    QString text;
    const ModalAnswer<QMessageBox> answer([&title, &text](QMessageBox *box) {
        title = box->windowTitle();
        text = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    chooseScan();
    QVERIFY(answer.answered());
    QCOMPARE(title, QStringLiteral("提示"));
    QVERIFY2(text.contains(hint), qPrintable(text));
    QVERIFY(!scan()->isRunning());
    QVERIFY(!widget<QDialog>(*window, "busScanProgress")->isVisible());
}

void TestBusScan::waitsForTheCycleStopLetsFinish()
{
    // Three silent devices make a cycle of over three seconds; Stop lets it
    // poll them all.
    openLine(servedLine());
    for (const int address : {40, 41, 42})
        addDevice(*window, address);
    auto *cycle = widget<PollCycle>(*window, "pollCycle");
    QVERIFY(clickStart(*window, QString()));
    QTRY_VERIFY_WITH_TIMEOUT(cycle->isRunning(), 2000);
    QTest::mouseClick(widget<QPushButton>(*window, "btnStop"), Qt::LeftButton);
    QVERIFY(cycle->isRunning());

    QElapsedTimer clock;
    clock.start();
    qint64 cycleEndedMs = -1;
    qint64 firstProbeMs = -1;
    const QMetaObject::Connection ended
        = connect(cycle, &PollCycle::finished, this, [&] { cycleEndedMs = clock.elapsed(); });
    const QMetaObject::Connection probed = connect(scan(), &BusScan::progressed, this, [&] {
        if (firstProbeMs < 0)
            firstProbeMs = clock.elapsed();
    });
    EndBox end;
    const ModalAnswer<QMessageBox> answer = answerEnd(end, false);
    startScan(1, 8);
    QVERIFY(QTest::qWaitFor([&answer] { return answer.answered(); }, 30000));
    disconnect(ended);
    disconnect(probed);

    // No box: the scan went on by itself once the cycle had ended, and found
    // what answers, which a probe answered in the midst of polls might not.
    QVERIFY(cycleEndedMs >= 0);
    QVERIFY2(firstProbeMs > cycleEndedMs, qPrintable(QStringLiteral("%1 / %2").arg(firstProbeMs).arg(cycleEndedMs)));
    QCOMPARE(scan()->foundAddresses(), (QList<int>{3, 7}));
    QVERIFY(!cycle->isRunning());
}

QTEST_MAIN(TestBusScan)
#include "tst_busscan.moc"
