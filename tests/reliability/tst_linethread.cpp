#include "pollcycle.h"
#include "reading.h"

#include "readinglog.h"
#include "windowdriver.h"

#include "simulatorprocess.h"
#include "acquisition/pollharness.h"
#include "recording/recordingharness.h"

#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

constexpr int BoxHeldMs = 3000;
constexpr int SettleMs = 10000;

} // namespace

// The window goes on while the line is busy and the line goes on while the
// window is busy: the Modbus requests run on a thread of their own.
class TestLineThread : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pollsAndRecordsUnderModalBox();
    void removedDeviceInFlightReachesNoRow_data();
    void removedDeviceInFlightReachesNoRow();

private:
    std::unique_ptr<MainWindow> window;
};

void TestLineThread::init()
{
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestLineThread::cleanup()
{
    if (portIsOpen(*window))
        clickButton(*window, "btnOpen");
    window.reset();
}

void TestLineThread::pollsAndRecordsUnderModalBox()
{
    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    // Readings that change from one second to the next.
    SimulatorProcess sim(SimulatorProcess::slaveArguments({"1,pressure=wave:100000:20000:4,temp=wave:20:5:4",
                                 "2,pressure=wave:200000:20000:5,temp=wave:30:5:5"}));
    QVERIFY(sim.start());
    QVERIFY(openPort(*window, sim.devicePath()));
    addDevice(*window, 1, QStringLiteral("KPa"), 3, 1);
    addDevice(*window, 2, QStringLiteral("KPa"), 3, 1);
    QVERIFY(clickStart(*window, directory.path()));
    QTRY_VERIFY_WITH_TIMEOUT(dataRows(recordAt(*window, 1).filePath).size() >= 1, SettleMs);

    struct Moment
    {
        QList<quint32> polls;
        QList<int> rows;
    };
    const auto now = [this] {
        Moment moment;
        for (int row = 0; row < 2; ++row) {
            moment.polls << recordAt(*window, row).totalCount;
            moment.rows << dataRows(recordAt(*window, row).filePath).size();
        }
        return moment;
    };
    Moment opened;
    Moment closed;
    QString text;
    // The box is answered from the event loop it runs, 3 s after it opened.
    const ModalAnswer<QMessageBox> answer(
        [&](QMessageBox *box) {
            opened = now();
            text = box->text();
            QTimer::singleShot(BoxHeldMs, box, [&, box] {
                closed = now();
                box->button(QMessageBox::Ok)->click();
            });
        },
        SettleMs);
    // Adding a listed address opens the box in the pause after device 1.
    const DuringPause adding(*window, 0, [this] { addDevice(*window, 1, QStringLiteral("KPa"), 3, 1); });
    QTRY_VERIFY_WITH_TIMEOUT(adding.done(), SettleMs + BoxHeldMs);
    QVERIFY(answer.answered());
    QCOMPARE(text, QStringLiteral("该设备已经在列表里"));
    QCOMPARE(deviceModel(*window)->rowCount(), 2);

    for (int device = 0; device < 2; ++device) {
        QVERIFY2(closed.polls.at(device) >= opened.polls.at(device) + 3,
                 qPrintable(QStringLiteral("device %1: %2 polls before the box, %3 after")
                                .arg(device + 1)
                                .arg(opened.polls.at(device))
                                .arg(closed.polls.at(device))));
        QVERIFY(closed.rows.at(device) >= opened.rows.at(device) + 2);
        const QList<QStringList> rows = dataRows(recordAt(*window, device).filePath);
        for (int i = opened.rows.at(device); i < closed.rows.at(device); ++i) {
            QCOMPARE(rows.at(i).value(0), QString::number(i + 1));
            QVERIFY2(rows.at(i).value(2) != rows.at(i - 1).value(2),
                     qPrintable(QStringLiteral("device %1, row %2: %3 again").arg(device + 1).arg(i + 1).arg(rows.at(i).value(2))));
        }
    }
    clickButton(*window, "btnStop");
}

void TestLineThread::removedDeviceInFlightReachesNoRow_data()
{
    QTest::addColumn<QList<int>>("addresses");
    QTest::addColumn<int>("removedRow");
    // From the record of the device polled before it, past the 50 ms pause
    // (and the 200 ms gap between cycles) into its request's 600 ms delay.
    QTest::addColumn<int>("removeAfterMs");

    QTest::newRow("middle device") << QList<int>{1, 2, 3} << 1 << 250;
    QTest::newRow("last device") << QList<int>{1, 3, 2} << 2 << 250;
    QTest::newRow("first device") << QList<int>{2, 1, 3} << 0 << 500;
}

void TestLineThread::removedDeviceInFlightReachesNoRow()
{
    QFETCH(QList<int>, addresses);
    QFETCH(int, removedRow);
    QFETCH(int, removeAfterMs);

    // Address 2 answers 600 ms late; each device serves its own reading.
    SimulatorProcess sim(SimulatorProcess::slaveArguments({"1,pressure=100000,temp=10", "2,pressure=200000,temp=20,delay=600",
                                 "3,pressure=300000,temp=30"}));
    QVERIFY(sim.start());
    const auto reading = [](int address) {
        return ReadingLog::Reading{QString::number(address * 100), QStringLiteral("%1.0").arg(address * 10)};
    };
    QVERIFY(openPort(*window, sim.devicePath()));
    for (const int address : addresses)
        addDevice(*window, address);
    const ReadingLog log(deviceModel(*window));
    QSignalSpy announced(widget<PollCycle>(*window, "pollCycle"), &PollCycle::readingTaken);
    QVERIFY(clickStart(*window, QString()));
    QTRY_VERIFY_WITH_TIMEOUT(recordAt(*window, 2).totalCount >= 1, SettleMs);

    quint32 pollsAtRemoval = 0;
    const int previousRow = (removedRow + addresses.size() - 1) % addresses.size();
    const AfterRecordStored removing(*window, previousRow, removeAfterMs, [&] {
        pollsAtRemoval = recordAt(*window, removedRow).totalCount;
        QListView *view = listView(*window);
        const QModelIndex tile = proxyModel(*window)->mapFromSource(deviceModel(*window)->index(removedRow, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->visualRect(tile).center());
        clickButton(*window, "btnDelreader");
    });
    QTRY_VERIFY_WITH_TIMEOUT(removing.done(), SettleMs);
    addresses.removeAt(removedRow);
    QList<quint32> pollsAfterRemoval;
    for (int row = 0; row < addresses.size(); ++row) {
        QCOMPARE(int(recordAt(*window, row).address), addresses.at(row));
        pollsAfterRemoval << recordAt(*window, row).totalCount;
    }

    // The cycles go on over the devices left.
    QTRY_VERIFY_WITH_TIMEOUT(recordAt(*window, 0).totalCount >= pollsAfterRemoval.at(0) + 2
                                 && recordAt(*window, 1).totalCount >= pollsAfterRemoval.at(1) + 2,
                             SettleMs);
    clickButton(*window, "btnStop");
    QVERIFY(waitForPollCycleEnd(*window));
    clickButton(*window, "btnOpen");
    const QJsonObject stats = sim.stop();
    // Its request was on the line when it was removed, and its answer came
    // back to no row.
    QCOMPARE(SimulatorProcess::slaveStats(stats, 2).value(QStringLiteral("requests")).toInt(-1),
             int(pollsAtRemoval) + 1);
    QCOMPARE(log.readingsOf(2), QSet<ReadingLog::Reading>{reading(2)});
    // Device 2 was announced once for every poll stored, never for the one
    // that came back to no row; the others once per poll.
    QHash<int, quint32> announcements;
    for (const QList<QVariant> &arguments : qAsConst(announced))
        ++announcements[arguments.at(0).value<Reading>().address];
    QCOMPARE(announcements.value(2), pollsAtRemoval);
    for (int row = 0; row < addresses.size(); ++row)
        QCOMPARE(announcements.value(addresses.at(row)), recordAt(*window, row).totalCount);
    for (int row = 0; row < addresses.size(); ++row) {
        QCOMPARE(log.readingsOf(addresses.at(row)), QSet<ReadingLog::Reading>{reading(addresses.at(row))});
        QCOMPARE(recordAt(*window, row).failCount, 0u);
    }
}

QTEST_MAIN(TestLineThread)
#include "tst_linethread.moc"
