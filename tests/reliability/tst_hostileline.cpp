#include "readinglog.h"
#include "windowdriver.h"

#include "simulatorprocess.h"

#include <QJsonObject>
#include <QtTest>

#include <memory>

namespace {

// A cycle over the three devices lasts at most about 2.5 s: the unserved one
// costs the full 1 s response time-out, a bad reply at most that much.
constexpr int HostileRunMs = 15000;
constexpr int MixedRunMs = 15000;
constexpr quint32 MinimumPolls = 3;

int slaveValue(const QJsonObject &stats, int address, const char *key)
{
    return SimulatorProcess::slaveStats(stats, address).value(QLatin1String(key)).toInt(-1);
}

int faultCount(const QJsonObject &stats, int address, const char *kind)
{
    return SimulatorProcess::slaveStats(stats, address).value("faults").toObject().value(kind).toInt(-1);
}

QStringList readingTexts(const QSet<ReadingLog::Reading> &readings)
{
    QStringList texts;
    for (const ReadingLog::Reading &reading : readings)
        texts << reading.first + '/' + reading.second;
    texts.sort();
    return texts;
}

} // namespace

// One device on a mixed line: what it serves, spoiled by `faults`, and how the
// window shows it in KPa with 3 decimals.
struct LineDevice
{
    int address;
    QString faults;
    QString pressureText;
    QString temperatureText;
    bool late; // every reply comes after the response time-out
};
Q_DECLARE_METATYPE(QList<LineDevice>)

// The window polling lines that misbehave: it must neither crash nor show a
// reading that the device it stands for did not send.
class TestHostileLine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void hostileLineShowsNoReading();
    void mixedLineKeepsReadingsApart_data();
    void mixedLineKeepsReadingsApart();

private:
    // Polls for `runMs` without recording; returns when the cycle that was
    // running has ended, so no request is left unanswered.
    void pollFor(int runMs);

    std::unique_ptr<SimulatorProcess> sim;
    std::unique_ptr<MainWindow> window;
};

void TestHostileLine::init()
{
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestHostileLine::cleanup()
{
    // The window leaves an open connection to the end of the process.
    if (portIsOpen(*window))
        clickButton(*window, "btnOpen");
    window.reset();
    sim.reset();
}

void TestHostileLine::pollFor(int runMs)
{
    QVERIFY(clickStart(*window, QString()));
    QTest::qWait(runMs);
    // Stop lets the running cycle finish: then no request is in flight.
    clickButton(*window, "btnStop");
    QVERIFY(waitForPollCycleEnd(*window));
}

void TestHostileLine::hostileLineShowsNoReading()
{
    sim = std::make_unique<SimulatorProcess>(QStringList{"--hostile", "--seed", "11",
                                                         "--slave", "5,pressure=150000,temp=21.5",
                                                         "--slave", "6,pressure=250000,temp=32.5"});
    QVERIFY(sim->start());
    QVERIFY(openPort(*window, sim->devicePath()));
    const QList<int> addresses = {5, 6, 7}; // nobody serves 7
    for (const int address : addresses)
        addDevice(*window, address, QStringLiteral("KPa"), 3, 1);

    pollFor(HostileRunMs);
    const QJsonObject stats = sim->stop();
    QVERIFY(!stats.isEmpty());

    for (int row = 0; row < addresses.size(); ++row) {
        const int address = addresses.at(row);
        const ItemData record = recordAt(*window, row);
        QVERIFY2(record.totalCount >= MinimumPolls, qPrintable(QString::number(record.totalCount)));
        QCOMPARE(record.failCount, record.totalCount);
        QCOMPARE(statusAt(*window, row), int(Offline));
        QCOMPARE(record.pressureText, QString());
        QCOMPARE(record.temperatureText, QString());
        if (address == 7)
            continue;
        // Every poll put a request on the line, and each got a hostile reply.
        QCOMPARE(slaveValue(stats, address, "requests"), int(record.totalCount));
        QCOMPARE(slaveValue(stats, address, "answers"), 0);
        QCOMPARE(faultCount(stats, address, "hostile"), int(record.totalCount));
    }
}

void TestHostileLine::mixedLineKeepsReadingsApart_data()
{
    QTest::addColumn<QList<LineDevice>>("devices");
    // Split replies leave their tails on the line for whatever is read next;
    // neighbouring addresses make a foreign reply carry the address of the
    // next device polled.
    QTest::newRow("split replies") << QList<LineDevice>{
        {1, "every=split:3,every=foreign:2", "110.000", "21.1", false},
        {2, "every=foreign:3,every=truncated:4", "220.000", "22.2", false},
        {3, "every=split:4,every=foreign:5", "330.000", "23.3", false},
    };
    // The last device polled answers 20 ms after the 1 s response time-out,
    // while the window waits out the 200 ms before the next cycle, and with
    // the address of the first device of that cycle.
    QTest::newRow("late replies") << QList<LineDevice>{
        {2, "every=truncated:3", "220.000", "22.2", false},
        {3, "every=foreign:2", "330.000", "23.3", false},
        {1, "delay=1020,every=foreign:1", "110.000", "21.1", true},
    };
}

void TestHostileLine::mixedLineKeepsReadingsApart()
{
    QFETCH(QList<LineDevice>, devices);
    QStringList arguments;
    for (const LineDevice &device : devices) {
        arguments << "--slave"
                  << QStringLiteral("%1,pressure=%2,temp=%3,%4")
                         .arg(device.address)
                         .arg(device.pressureText.toDouble() * 1000.0, 0, 'f', 0)
                         .arg(device.temperatureText, device.faults);
    }
    sim = std::make_unique<SimulatorProcess>(arguments);
    QVERIFY(sim->start());
    QVERIFY(openPort(*window, sim->devicePath()));
    for (const LineDevice &device : devices)
        addDevice(*window, device.address, QStringLiteral("KPa"), 3, 1);

    const ReadingLog log(deviceModel(*window));
    pollFor(MixedRunMs);
    const QJsonObject stats = sim->stop();
    QVERIFY(!stats.isEmpty());
    QVERIFY(log.samples() > 0);

    int missedAnswers = 0;
    int strayReplies = 0;
    for (int row = 0; row < devices.size(); ++row) {
        const LineDevice &device = devices.at(row);
        const QSet<ReadingLog::Reading> own = {{device.pressureText, device.temperatureText}};
        const QSet<ReadingLog::Reading> readings = log.readingsOf(device.address);
        // Never anything but its own values, and those at least once unless
        // every answer comes too late.
        QVERIFY2(readings.isEmpty() ? device.late : readings == own,
                 qPrintable(readingTexts(readings).join(QLatin1Char(' '))));

        const ItemData record = recordAt(*window, row);
        const int requests = slaveValue(stats, device.address, "requests");
        const int answers = slaveValue(stats, device.address, "answers");
        const int successes = int(record.totalCount - record.failCount);
        QCOMPARE(int(record.totalCount), requests);
        QVERIFY(record.failCount > 0);
        // A reading takes a whole, correct answer from the device itself.
        QVERIFY2(successes <= answers, qPrintable(QStringLiteral("%1 read, %2 answered").arg(successes).arg(answers)));

        strayReplies += faultCount(stats, device.address, "split");
        if (device.late)
            strayReplies += requests;
        else
            missedAnswers += answers - successes;
    }
    // Each split tail or late reply spoils at most the one read it lands in;
    // bytes left over from it must not spoil the answers after that.
    QVERIFY2(missedAnswers <= strayReplies,
             qPrintable(QStringLiteral("%1 answers missed, %2 stray replies").arg(missedAnswers).arg(strayReplies)));
}

QTEST_MAIN(TestHostileLine)
#include "tst_hostileline.moc"
