#include "eventloopwatch.h"
#include "recordrows.h"
#include "windowdriver.h"

#include "simulatorprocess.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>
#include <memory>

namespace {

// A device whose polls fail must not hold the window longer than the 1 s
// response time-out; the rest is slack for a busy machine.
constexpr qint64 LongestStallMs = 1500;
constexpr int SettleMs = 10000;

struct Device
{
    int address;
    QString pressure;    // as the first line serves it, in KPa with 3 decimals
    QString temperature;
    QString pressureAfter; // as the line that replaces it serves it
    QString temperatureAfter;
};

QList<Device> devices()
{
    return {
        {1, "101.325", "20.5", "111.000", "25.5"},
        {2, "202.650", "21.5", "222.000", "26.5"},
        {3, "303.975", "22.5", "333.000", "27.5"},
    };
}

QStringList slaveArguments(bool after)
{
    QStringList arguments;
    const QList<Device> served = devices();
    for (const Device &device : served) {
        const double kilopascals = (after ? device.pressureAfter : device.pressure).toDouble();
        arguments << "--slave"
                  << QStringLiteral("%1,pressure=%2,temp=%3")
                         .arg(device.address)
                         .arg(kilopascals * 1000.0, 0, 'f', 0)
                         .arg(after ? device.temperatureAfter : device.temperature);
    }
    return arguments;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The status the poll rule gives a device after a successful poll.
int statusAfterSuccess(const ItemData &record)
{
    const bool poor = record.totalCount > 20 && double(record.failCount) / record.totalCount > 0.05;
    return poor ? Poor : Good;
}

} // namespace

// The serial line vanishing under a running recording, as when the adapter is
// pulled or its driver dies, and a line appearing again at the same path.
class TestPortLoss : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void recordingSurvivesLostLine();

private:
    bool allRowsAtLeast(int rows) const;

    std::unique_ptr<MainWindow> window;
};

void TestPortLoss::init()
{
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestPortLoss::cleanup()
{
    // The window leaves an open connection to the end of the process.
    if (portIsOpen(*window))
        clickButton(*window, "btnOpen");
    window.reset();
}

bool TestPortLoss::allRowsAtLeast(int rows) const
{
    for (int row = 0; row < deviceModel(*window)->rowCount(); ++row) {
        if (dataRows(recordAt(*window, row).filePath).size() < rows)
            return false;
    }
    return true;
}

void TestPortLoss::recordingSurvivesLostLine()
{
    const QList<Device> lineDevices = devices();
    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    const QString link = directory.filePath("line");
    SimulatorProcess first(QStringList{"--link", link} + slaveArguments(false));
    QVERIFY(first.start());

    QVERIFY(openPort(*window, link));
    for (const Device &device : lineDevices)
        addDevice(*window, device.address, QStringLiteral("KPa"), 3, 1);
    QVERIFY(clickStart(*window, directory.path()));
    QTRY_VERIFY_WITH_TIMEOUT(allRowsAtLeast(2), SettleMs);
    for (int row = 0; row < lineDevices.size(); ++row)
        QCOMPARE(statusAt(*window, row), int(Good));

    // The line goes away at once, mid-recording.
    EventLoopWatch watch;
    first.kill();
    // The adapter's device node goes with it; a dangling link could come to
    // name another test's pseudo-terminal once the kernel hands its number out again.
    QVERIFY(QFile::remove(link));
    QTRY_VERIFY_WITH_TIMEOUT(statusAt(*window, 0) == Offline && statusAt(*window, 1) == Offline
                                 && statusAt(*window, 2) == Offline,
                             SettleMs);
    QList<quint32> failsAtLoss;
    int rowsAtLoss = INT_MAX;
    for (int row = 0; row < lineDevices.size(); ++row) {
        failsAtLoss << recordAt(*window, row).failCount;
        rowsAtLoss = qMin(rowsAtLoss, int(dataRows(recordAt(*window, row).filePath).size()));
    }
    QTRY_VERIFY_WITH_TIMEOUT(allRowsAtLeast(rowsAtLoss + 2), SettleMs);

    QStringList firstFiles;
    for (int row = 0; row < lineDevices.size(); ++row) {
        const Device &device = lineDevices.at(row);
        const ItemData record = recordAt(*window, row);
        QCOMPARE(statusAt(*window, row), int(Offline));
        QVERIFY2(record.failCount >= failsAtLoss.at(row) + 2, qPrintable(QString::number(record.failCount)));
        // Rows go on: the readings served before the loss, then, once every
        // device is red, empty readings, never the last ones written again.
        const QList<QStringList> rows = dataRows(record.filePath);
        const QStringList served = {device.pressure, "KPa", device.temperature, ""};
        const QStringList unread = {"", "KPa", "", ""};
        for (int i = 0; i < rows.size(); ++i) {
            QCOMPARE(rows.at(i).value(0), QString::number(i + 1));
            if (i < 2)
                QCOMPARE(rows.at(i).mid(2), served);
            else if (i >= rowsAtLoss)
                QCOMPARE(rows.at(i).mid(2), unread);
            else
                QVERIFY(rows.at(i).mid(2) == served || rows.at(i).mid(2) == unread);
        }
        firstFiles << record.filePath;
    }
    QVERIFY2(watch.longestGapMs() <= LongestStallMs, qPrintable(QString::number(watch.longestGapMs())));

    // Another line at the same path; the operator closes and reopens the
    // port, then stops and starts a new recording.
    SimulatorProcess second(QStringList{"--link", link} + slaveArguments(true));
    QVERIFY(second.start());
    // Only the window's own stalls count, not the wait for the simulator.
    watch.restart();
    clickButton(*window, "btnOpen");
    QVERIFY(!portIsOpen(*window));
    QVERIFY(waitForRecordWrites(*window));
    QList<QByteArray> firstContents;
    for (const QString &path : qAsConst(firstFiles))
        firstContents << fileBytes(path);
    QVERIFY(openPort(*window, link));
    QVERIFY(portIsOpen(*window));
    clickButton(*window, "btnStop");
    QVERIFY(clickStart(*window, directory.path()));

    QTRY_VERIFY_WITH_TIMEOUT(statusAt(*window, 0) != Offline && statusAt(*window, 1) != Offline
                                 && statusAt(*window, 2) != Offline,
                             SettleMs);
    QTRY_VERIFY_WITH_TIMEOUT(allRowsAtLeast(1), SettleMs);
    for (int row = 0; row < lineDevices.size(); ++row) {
        const Device &device = lineDevices.at(row);
        const ItemData record = recordAt(*window, row);
        QCOMPARE(statusAt(*window, row), statusAfterSuccess(record));
        QCOMPARE(record.pressureText, device.pressureAfter);
        QCOMPARE(record.temperatureText, device.temperatureAfter);
        QVERIFY(record.filePath != firstFiles.at(row));
        const QStringList firstRow = dataRows(record.filePath).value(0);
        QCOMPARE(firstRow,
                 (QStringList{"1", firstRow.value(1), device.pressureAfter, "KPa", device.temperatureAfter, ""}));
        QCOMPARE(fileBytes(firstFiles.at(row)), firstContents.at(row));
    }
    QVERIFY2(watch.longestGapMs() <= LongestStallMs, qPrintable(QString::number(watch.longestGapMs())));
    clickButton(*window, "btnStop");
    QVERIFY(!second.stop().isEmpty());
}

QTEST_MAIN(TestPortLoss)
#include "tst_portloss.moc"
