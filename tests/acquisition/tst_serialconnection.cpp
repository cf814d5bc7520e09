#include "serialdevice.h"

#include "pollharness.h"

#include "simulatorprocess.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestSerialConnection : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void buildsDeviceString_data();
    void buildsDeviceString();
    void mapsParity_data();
    void mapsParity();
    void failedOpenLeavesPortClosed_data();
    void failedOpenLeavesPortClosed();
    void opensAfterFailedOpen();
    void closingStopsTimersAndPolling();
    void opensPathInFileSystemEncoding_data();
    void opensPathInFileSystemEncoding();

private:
    std::unique_ptr<MainWindow> window;
};

void TestSerialConnection::init()
{
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestSerialConnection::cleanup()
{
    if (portIsOpen(*window))
        clickClose(*window);
    window.reset();
}

void TestSerialConnection::buildsDeviceString_data()
{
    QTest::addColumn<QString>("portText");
    QTest::addColumn<QString>("device");

#ifdef Q_OS_WIN
    QTest::newRow("port name") << "COM3" << "\\\\.\\COM3";
    QTest::newRow("two-digit port") << "COM12" << "\\\\.\\COM12";
    QTest::newRow("device name as typed") << "\\\\.\\COM4" << "\\\\.\\COM4";
    QTest::newRow("empty list") << "" << "\\\\.\\";
#else
    QTest::newRow("port name") << "ttyUSB0" << "/dev/ttyUSB0";
    QTest::newRow("built-in port") << "ttyS1" << "/dev/ttyS1";
    QTest::newRow("absolute path") << "/dev/pts/7" << "/dev/pts/7";
    QTest::newRow("stable name") << "/dev/serial/by-id/usb-FTDI-if00" << "/dev/serial/by-id/usb-FTDI-if00";
    QTest::newRow("empty list") << "" << "/dev/";
#endif
}

void TestSerialConnection::buildsDeviceString()
{
    QFETCH(QString, portText);
    QFETCH(QString, device);

    QCOMPARE(serialDeviceString(portText), device);
}

void TestSerialConnection::mapsParity_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<char>("parity");

    QTest::newRow("none") << "N" << 'N';
    QTest::newRow("odd") << "O" << 'O';
    QTest::newRow("even") << "E" << 'E';
    QTest::newRow("anything else is even") << "n" << 'E';
}

void TestSerialConnection::mapsParity()
{
    QFETCH(QString, text);
    QFETCH(char, parity);

    QCOMPARE(parityCharacter(text), parity);
}

void TestSerialConnection::failedOpenLeavesPortClosed_data()
{
    QTest::addColumn<QString>("portText");

    QTest::newRow("missing device") << "/nonexistent/velmora-tty";
    QTest::newRow("missing port name") << "ttyVelmoraMissing";
    QTest::newRow("empty port list") << "";
    QTest::newRow("not a terminal") << "/dev/null";
}

void TestSerialConnection::failedOpenLeavesPortClosed()
{
    QFETCH(QString, portText);

    openPort(*window, portText);
    QVERIFY(portIsClosed(*window));
    // A second try fails the same way.
    openPort(*window, portText);
    QVERIFY(portIsClosed(*window));
}

void TestSerialConnection::opensAfterFailedOpen()
{
    SimulatorProcess sim({"--slave", "4,pressure=101325,temp=21.5"});
    QVERIFY(sim.start());
    addDevice(*window, 4, QStringLiteral("KPa"), 3);

    openPort(*window, QStringLiteral("/nonexistent/velmora-tty"));
    QVERIFY(portIsClosed(*window));
    openPort(*window, sim.devicePath());
    QCOMPARE(openButton(*window)->text(), QStringLiteral("关闭串口"));
    // Opening alone polls nothing.
    QVERIFY(!pollTimer(*window)->isActive());

    QVERIFY(runPollCycle(*window));
    QCOMPARE(recordAt(*window, 0).pressureText, QStringLiteral("101.325"));
    QCOMPARE(recordAt(*window, 0).temperatureText, QStringLiteral("21.5"));
    QCOMPARE(statusAt(*window, 0), int(Good));
}

void TestSerialConnection::closingStopsTimersAndPolling()
{
    SimulatorProcess sim({"--slave", "1,pressure=100"});
    QVERIFY(sim.start());
    addDevice(*window, 1, QStringLiteral("Pa"), 0);
    openPort(*window, sim.devicePath());
    QVERIFY(portIsOpen(*window));

    // As Start leaves them: both timers running.
    pollTimer(*window)->start();
    recordTimer(*window)->start();
    clickClose(*window);

    QCOMPARE(openButton(*window)->text(), QStringLiteral("打开串口"));
    QVERIFY(!pollTimer(*window)->isActive());
    QVERIFY(!recordTimer(*window)->isActive());
    // A cycle that finds the port closed sends nothing.
    QVERIFY(QMetaObject::invokeMethod(window.get(), "MB_POLL"));
    QTest::qWait(300);
    QCOMPARE(recordAt(*window, 0).totalCount, 0u);

    const QJsonObject stats = sim.stop();
    QCOMPARE(SimulatorProcess::slaveStats(stats, 1).value(QStringLiteral("requests")).toInt(-1), 0);
}

void TestSerialConnection::opensPathInFileSystemEncoding_data()
{
    QTest::addColumn<QString>("linkName");

    QTest::newRow("Chinese characters") << QStringLiteral("总线-bus");
    // Inside Latin-1, but a Latin-1 byte is not how the file system spells it.
    QTest::newRow("accented letter") << QStringLiteral("bus-é");
}

void TestSerialConnection::opensPathInFileSystemEncoding()
{
    QFETCH(QString, linkName);

    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    const QString link = directory.filePath(linkName);
    SimulatorProcess sim({"--link", link, "--slave", "6,pressure=101325,temp=21.5"});
    QVERIFY(sim.start());
    addDevice(*window, 6, QStringLiteral("KPa"), 3);

    QVERIFY(openPort(*window, link));
    QVERIFY(runPollCycle(*window));
    QCOMPARE(recordAt(*window, 0).pressureText, QStringLiteral("101.325"));
    QCOMPARE(statusAt(*window, 0), int(Good));
}

QTEST_MAIN(TestSerialConnection)
#include "tst_serialconnection.moc"
