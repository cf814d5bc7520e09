#include "pollharness.h"

#include "simulatorprocess.h"

#include <QItemSelectionModel>
#include <QtTest>

#include <memory>

namespace {

int requestsTo(const QJsonObject &stats, int address)
{
    return SimulatorProcess::slaveStats(stats, address).value(QStringLiteral("requests")).toInt(-1);
}

int answersFrom(const QJsonObject &stats, int address)
{
    return SimulatorProcess::slaveStats(stats, address).value(QStringLiteral("answers")).toInt(-1);
}

} // namespace

class TestPollCycle : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pollsEveryDeviceOnce();
    void statusFollowsFailureShare();
    void faultCountsAsFailedPoll_data();
    void faultCountsAsFailedPoll();
    void pollsRepeatedlyUntilStop();
    void stopDuringPauseFinishesCycle();
    void closingDuringPauseEndsPolling();
    void removedRowsAreSkipped_data();
    void removedRowsAreSkipped();
    void deviceAddedDuringPauseWaitsForNextCycle();
    void reopensWhileRequestInFlight_data();
    void reopensWhileRequestInFlight();

private:
    void startLine(const QStringList &slaveSpecs);

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<SimulatorProcess> sim;
};

void TestPollCycle::init()
{
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestPollCycle::cleanup()
{
    if (portIsOpen(*window))
        clickClose(*window);
    window.reset();
    sim.reset();
}

void TestPollCycle::startLine(const QStringList &slaveSpecs)
{
    sim = std::make_unique<SimulatorProcess>(SimulatorProcess::slaveArguments(slaveSpecs));
    QVERIFY(sim->start());
    openPort(*window, sim->devicePath());
    QVERIFY(portIsOpen(*window));
}

void TestPollCycle::pollsEveryDeviceOnce()
{
    startLine({"1,regs=0:0x42C8:0:0:0:0:235", "2,regs=0xE680:0x47C5:1:2:3:4:0xFFF6", "3,pressure=12.9,temp=-0.5"});
    addDevice(*window, 1, QStringLiteral("mmH2O"), 3);
    addDevice(*window, 2, QStringLiteral("psi"), 3);
    addDevice(*window, 3, QStringLiteral("Pa"), 0);

    QVERIFY(runPollCycle(*window));

    const struct {
        int address;
        const char *pressure;
        const char *temperature;
        int status;
        quint32 failures;
    } expected[] = {
        {1, "10.216", "23.5", Good, 0},
        {2, "14.696", "-1.0", Good, 0},
        {3, "12", "-0.5", Good, 0},
    };
    for (int row = 0; row < 3; ++row) {
        const ItemData record = recordAt(*window, row);
        QCOMPARE(int(record.address), expected[row].address);
        QCOMPARE(record.pressureText, QString::fromUtf8(expected[row].pressure));
        QCOMPARE(record.temperatureText, QString::fromUtf8(expected[row].temperature));
        QCOMPARE(statusAt(*window, row), expected[row].status);
        QCOMPARE(record.totalCount, 1u);
        QCOMPARE(record.failCount, expected[row].failures);
    }
    // Polling was never started, so the cycle does not schedule another.
    QVERIFY(!pollTimer(*window)->isActive());

    clickClose(*window);
    const QJsonObject stats = sim->stop();
    for (const int address : {1, 2, 3})
        QCOMPARE(requestsTo(stats, address), 1);
    QCOMPARE(stats.value(QStringLiteral("ignored_frames")).toInt(-1), 0);
    QCOMPARE(stats.value(QStringLiteral("bad_crc_frames")).toInt(-1), 0);
}

void TestPollCycle::statusFollowsFailureShare()
{
    // Device 1 fails its first 20 polls, device 2 its first, device 3 its first two.
    startLine({"1,pressure=100,first=exception:20", "2,pressure=100,first=crc:1", "3,pressure=100,first=crc:2"});
    for (const int address : {1, 2, 3})
        addDevice(*window, address, QStringLiteral("Pa"), 0);

    const struct {
        int poll;
        int statuses[3];
    } checkpoints[] = {
        {1, {Offline, Offline, Offline}},
        {2, {Offline, Good, Offline}},
        {3, {Offline, Good, Good}},
        {20, {Offline, Good, Good}},
        {21, {Poor, Good, Poor}}, // 20/21 and 2/21 above 5 %, 1/21 below
        {39, {Poor, Good, Poor}}, // 2/39 still above
        {40, {Poor, Good, Good}}, // 2/40 is exactly 5 %
    };
    int poll = 0;
    for (const auto &checkpoint : checkpoints) {
        while (poll < checkpoint.poll) {
            QVERIFY(runPollCycle(*window));
            ++poll;
        }
        for (int row = 0; row < 3; ++row) {
            QVERIFY2(statusAt(*window, row) == checkpoint.statuses[row],
                     qPrintable(QStringLiteral("device %1 after poll %2: status %3")
                                    .arg(row + 1)
                                    .arg(poll)
                                    .arg(statusAt(*window, row))));
        }
    }

    clickClose(*window);
    const QJsonObject stats = sim->stop();
    const quint32 failures[] = {20, 1, 2};
    for (int row = 0; row < 3; ++row) {
        const ItemData record = recordAt(*window, row);
        QCOMPARE(record.totalCount, 40u);
        QCOMPARE(record.failCount, failures[row]);
        QCOMPARE(requestsTo(stats, row + 1), int(record.totalCount));
        QCOMPARE(requestsTo(stats, row + 1) - answersFrom(stats, row + 1), int(record.failCount));
    }
}

void TestPollCycle::faultCountsAsFailedPoll_data()
{
    QTest::addColumn<QString>("kind");

    for (const char *kind : {"silent", "crc", "exception", "foreign", "truncated"})
        QTest::newRow(kind) << QString::fromLatin1(kind);
}

void TestPollCycle::faultCountsAsFailedPoll()
{
    QFETCH(QString, kind);

    // Every second request is spoiled: answer, fault, answer, fault.
    startLine({QStringLiteral("7,regs=0xE680:0x47C5:0:0:0:0:235,every=%1:2").arg(kind)});
    addDevice(*window, 7, QStringLiteral("KPa"), 3);

    QVERIFY(runPollCycle(*window));
    QCOMPARE(statusAt(*window, 0), int(Good));
    QCOMPARE(recordAt(*window, 0).pressureText, QStringLiteral("101.325"));

    QVERIFY(runPollCycle(*window));
    ItemData record = recordAt(*window, 0);
    QCOMPARE(statusAt(*window, 0), int(Offline));
    QCOMPARE(record.failCount, 1u);
    QCOMPARE(record.totalCount, 2u);
    QCOMPARE(record.pressureText, QStringLiteral("101.325"));
    QCOMPARE(record.temperatureText, QStringLiteral("23.5"));

    // The line is usable again right after the fault.
    QVERIFY(runPollCycle(*window));
    QVERIFY(runPollCycle(*window));
    record = recordAt(*window, 0);
    QCOMPARE(statusAt(*window, 0), int(Offline));
    QCOMPARE(record.failCount, 2u);
    QCOMPARE(record.totalCount, 4u);

    clickClose(*window);
    const QJsonObject stats = sim->stop();
    QCOMPARE(requestsTo(stats, 7), 4);
    QCOMPARE(answersFrom(stats, 7), 2);
    QCOMPARE(SimulatorProcess::slaveStats(stats, 7).value(QStringLiteral("faults")).toObject().value(kind).toInt(), 2);
}

void TestPollCycle::pollsRepeatedlyUntilStop()
{
    startLine({"1,pressure=100", "2,pressure=100"});
    addDevice(*window, 1, QStringLiteral("Pa"), 0);
    addDevice(*window, 2, QStringLiteral("Pa"), 0);

    QVERIFY(clickStart(*window, QString()));
    QVERIFY(QTest::qWaitFor([&] { return recordAt(*window, 1).totalCount >= 3; }, 10000));
    clickStop(*window);
    const quint32 polled = recordAt(*window, 0).totalCount;
    QTest::qWait(600);
    QCOMPARE(recordAt(*window, 0).totalCount, polled);
    QVERIFY(!pollTimer(*window)->isActive());

    clickClose(*window);
    const QJsonObject stats = sim->stop();
    QCOMPARE(requestsTo(stats, 1), int(polled));
}

void TestPollCycle::stopDuringPauseFinishesCycle()
{
    startLine({"1,pressure=100", "2,pressure=100", "3,pressure=100"});
    for (const int address : {1, 2, 3})
        addDevice(*window, address, QStringLiteral("Pa"), 0);

    QVERIFY(clickStart(*window, QString()));
    const DuringPause stopping(*window, 0, [&] { clickStop(*window); });
    QVERIFY(QTest::qWaitFor([&] { return stopping.done() && recordAt(*window, 2).totalCount == 1; }, 5000));
    QTest::qWait(600);

    QVERIFY(!pollTimer(*window)->isActive());
    for (int row = 0; row < 3; ++row)
        QCOMPARE(recordAt(*window, row).totalCount, 1u);
    clickClose(*window);
    const QJsonObject stats = sim->stop();
    for (const int address : {1, 2, 3})
        QCOMPARE(requestsTo(stats, address), 1);
}

void TestPollCycle::closingDuringPauseEndsPolling()
{
    startLine({"1,pressure=100", "2,pressure=100", "3,pressure=100"});
    for (const int address : {1, 2, 3})
        addDevice(*window, address, QStringLiteral("Pa"), 0);

    QVERIFY(clickStart(*window, QString()));
    const DuringPause closing(*window, 0, [&] { clickClose(*window); });
    QVERIFY(QTest::qWaitFor([&] { return closing.done(); }, 5000));
    QVERIFY(portIsClosed(*window));
    QTest::qWait(500);
    QVERIFY(!pollTimer(*window)->isActive());
    // Closing leaves the recording buttons to Stop.
    QVERIFY(!widget<QPushButton>(*window, "btnStart")->isEnabled());
    QVERIFY(widget<QPushButton>(*window, "btnStop")->isEnabled());

    // Reopening does not resume polling.
    openPort(*window, sim->devicePath());
    QVERIFY(portIsOpen(*window));
    QTest::qWait(500);
    QVERIFY(!pollTimer(*window)->isActive());

    clickClose(*window);
    const QJsonObject stats = sim->stop();
    QCOMPARE(requestsTo(stats, 1), 1);
    QCOMPARE(requestsTo(stats, 2), 0);
    QCOMPARE(requestsTo(stats, 3), 0);
    QCOMPARE(recordAt(*window, 0).totalCount, 1u);
    QCOMPARE(recordAt(*window, 1).totalCount, 0u);
    QCOMPARE(recordAt(*window, 2).totalCount, 0u);
}

void TestPollCycle::removedRowsAreSkipped_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("selectedRow");
    QTest::addColumn<QList<int>>("requests");

    QTest::newRow("delete the last device") << "btnDelreader" << 2 << QList<int>{1, 1, 0};
    // The third device moves up into row 1 and is polled there; row 2 is gone.
    QTest::newRow("delete the middle device") << "btnDelreader" << 1 << QList<int>{1, 0, 1};
    QTest::newRow("clear the list") << "btnClrList" << -1 << QList<int>{1, 0, 0};
}

void TestPollCycle::removedRowsAreSkipped()
{
    QFETCH(QString, button);
    QFETCH(int, selectedRow);
    QFETCH(QList<int>, requests);

    startLine({"1,pressure=100", "2,pressure=100", "3,pressure=100"});
    for (const int address : {1, 2, 3})
        addDevice(*window, address, QStringLiteral("Pa"), 0);
    if (selectedRow >= 0) {
        const QModelIndex tile = proxyModel(*window)->index(selectedRow, 0);
        listView(*window)->selectionModel()->select(tile, QItemSelectionModel::Select);
    }

    const DuringPause removing(*window, 0, [&] {
        QTest::mouseClick(widget<QPushButton>(*window, button.toLatin1().constData()), Qt::LeftButton);
    });
    QVERIFY(runPollCycle(*window));
    QVERIFY(removing.done());

    clickClose(*window);
    const QJsonObject stats = sim->stop();
    for (int address = 1; address <= 3; ++address)
        QCOMPARE(requestsTo(stats, address), requests.at(address - 1));
    // Nor was anything sent in the name of a vanished row.
    QCOMPARE(stats.value(QStringLiteral("ignored_frames")).toInt(-1), 0);
}

void TestPollCycle::deviceAddedDuringPauseWaitsForNextCycle()
{
    startLine({"1,pressure=100", "2,pressure=200"});
    addDevice(*window, 1, QStringLiteral("Pa"), 0);

    const DuringPause adding(*window, 0, [&] { addDevice(*window, 2, QStringLiteral("Pa"), 0); });
    QVERIFY(runPollCycle(*window));
    QVERIFY(adding.done());
    QCOMPARE(deviceModel(*window)->rowCount(), 2);
    QCOMPARE(recordAt(*window, 1).totalCount, 0u);
    QCOMPARE(statusAt(*window, 1), int(Offline));

    QVERIFY(runPollCycle(*window));
    QCOMPARE(recordAt(*window, 1).totalCount, 1u);
    QCOMPARE(recordAt(*window, 1).pressureText, QStringLiteral("200"));

    clickClose(*window);
    const QJsonObject stats = sim->stop();
    QCOMPARE(requestsTo(stats, 1), 2);
    QCOMPARE(requestsTo(stats, 2), 1);
}

void TestPollCycle::reopensWhileRequestInFlight_data()
{
    QTest::addColumn<QString>("slowDevice");
    QTest::addColumn<bool>("answers");

    // Its request is on the line for its 1 s time-out.
    QTest::newRow("silent device") << "2,pressure=200,fault=silent:1" << false;
    // Its answer comes after the port was closed and opened again.
    QTest::newRow("answer later than the close") << "2,pressure=200,delay=600" << true;
}

void TestPollCycle::reopensWhileRequestInFlight()
{
    QFETCH(QString, slowDevice);
    QFETCH(bool, answers);

    startLine({"1,pressure=100", slowDevice, "3,pressure=300"});
    for (const int address : {1, 2, 3})
        addDevice(*window, address, QStringLiteral("Pa"), 0);
    const auto polls = [this] {
        QList<quint32> counts;
        for (int row = 0; row < 3; ++row)
            counts << recordAt(*window, row).totalCount;
        return counts;
    };

    QVERIFY(clickStart(*window, QString()));
    QTRY_VERIFY_WITH_TIMEOUT(recordAt(*window, 2).totalCount >= 1, 10000);
    // 250 ms after device 1's record, device 2's request is on the line.
    QList<quint32> pollsAtClose;
    bool reopened = false;
    const AfterRecordStored closing(*window, 0, 250, [&] {
        pollsAtClose = polls();
        clickClose(*window);
        reopened = openPort(*window, sim->devicePath());
    });
    QTRY_VERIFY_WITH_TIMEOUT(closing.done(), 10000);
    QVERIFY(reopened);
    // The outcome of the request in flight was dropped, and nothing polls:
    // closing left Stop as the only way on.
    QCOMPARE(polls(), pollsAtClose);
    QVERIFY(!pollTimer(*window)->isActive());
    QVERIFY(!widget<QPushButton>(*window, "btnStart")->isEnabled());

    clickStop(*window);
    QVERIFY(clickStart(*window, QString()));
    QTRY_VERIFY_WITH_TIMEOUT(recordAt(*window, 2).totalCount >= pollsAtClose.at(2) + 2, 10000);
    clickStop(*window);
    QVERIFY(waitForPollCycleEnd(*window));

    QCOMPARE(recordAt(*window, 0).pressureText, QStringLiteral("100"));
    QCOMPARE(recordAt(*window, 2).pressureText, QStringLiteral("300"));
    QCOMPARE(statusAt(*window, 0), int(Good));
    QCOMPARE(statusAt(*window, 2), int(Good));
    QCOMPARE(recordAt(*window, 1).failCount, answers ? 0u : recordAt(*window, 1).totalCount);
    clickClose(*window);
    const QJsonObject stats = sim->stop();
    // Every request was counted, but for the one in flight at the close.
    QCOMPARE(requestsTo(stats, 1), int(recordAt(*window, 0).totalCount));
    QCOMPARE(requestsTo(stats, 2), int(recordAt(*window, 1).totalCount) + 1);
    QCOMPARE(requestsTo(stats, 3), int(recordAt(*window, 2).totalCount));
    QCOMPARE(stats.value(QStringLiteral("ignored_frames")).toInt(-1), 0);
    QCOMPARE(stats.value(QStringLiteral("bad_crc_frames")).toInt(-1), 0);
}

QTEST_MAIN(TestPollCycle)
#include "tst_pollcycle.moc"
