#include "recordingharness.h"

#include "simulatorprocess.h"
#include "notice.h"

#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTemporaryDir>

// Whole recordings over a real Modbus line: the simulator serves the
// transmitters on a pseudo-terminal, the window polls them and the real
// timers write the files.
class TestRecordingSession : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void recordsWhatDevicesServe();
    void closingPortEndsRows();
    void lostRecordFileIsNotMadeAnew_data();
    void lostRecordFileIsNotMadeAnew();

private:
    void openSimulatorPort();

    std::unique_ptr<SimulatorProcess> sim;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QTemporaryDir> tempDir;
};

void TestRecordingSession::init()
{
    sim = std::make_unique<SimulatorProcess>(QStringList{
        "--slave", "1,pressure=101325,temp=23.5",
        "--slave", "7,pressure=250000,temp=31.2",
        "--slave", "12,pressure=200000,temp=18",
    });
    QVERIFY(sim->start());
    tempDir = std::make_unique<QTemporaryDir>();
    QVERIFY(tempDir->isValid());
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestRecordingSession::cleanup()
{
    window.reset();
    tempDir.reset();
    sim.reset();
}

void TestRecordingSession::openSimulatorPort()
{
    QVERIFY(openPort(*window, sim->devicePath()));
    QCOMPARE(widget<QPushButton>(*window, "btnOpen")->text(), QStringLiteral("关闭串口"));
}

void TestRecordingSession::recordsWhatDevicesServe()
{
    struct Device
    {
        int address;
        QString unit;
        int decimals;
        int period;
        QString pressure;
        QString temperature;
    };
    const QList<Device> devices = {
        {1, "KPa", 3, 1, "101.325", "23.5"},
        {7, "Bar", 4, 2, "2.5000", "31.2"},
        {12, "psi", 2, 3, "29.01", "18.0"},
    };

    openSimulatorPort();
    for (const Device &device : devices)
        addDevice(*window, device.address, device.unit, device.decimals, device.period);
    QVERIFY(clickStart(*window, tempDir->path()));
    QElapsedTimer recording;
    recording.start();
    QTest::qWait(7500);
    QTest::mouseClick(widget<QPushButton>(*window, "btnStop"), Qt::LeftButton);
    const int seconds = int(recording.elapsed() / 1000);
    QVERIFY(!pollTimer(*window)->isActive() && !recordTimer(*window)->isActive());
    QVERIFY(waitForRecordWrites(*window));

    QCOMPARE(filesIn(tempDir->path()).size(), devices.size());
    for (int row = 0; row < devices.size(); ++row) {
        const Device &device = devices.at(row);
        const QString path = recordAt(*window, row).filePath;
        QVERIFY(QFileInfo(path).fileName().startsWith(QStringLiteral("设备地址%1__").arg(device.address)));
        QVERIFY(fileBytes(path).startsWith("序号,时间,压力,单位,温度(℃),\n"));

        // Rows at 2, 2 + p, 2 + 2p, ... seconds after Start.
        const QList<QStringList> rows = dataRows(path);
        const int expected = (seconds - 2) / device.period + 1;
        QVERIFY2(qAbs(rows.size() - expected) <= 1,
                 qPrintable(QStringLiteral("device %1: %2 rows, %3 expected").arg(device.address).arg(rows.size()).arg(expected)));
        QDateTime previous;
        for (int i = 0; i < rows.size(); ++i) {
            const QStringList &fields = rows.at(i);
            QCOMPARE(fields, (QStringList{QString::number(i + 1), fields.value(1), device.pressure, device.unit,
                                          device.temperature}));
            const QDateTime written = QDateTime::fromString(fields.at(1), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
            QVERIFY(written.isValid());
            if (previous.isValid())
                QVERIFY2(qAbs(previous.secsTo(written) - device.period) <= 1, qPrintable(fields.at(1)));
            previous = written;
        }
    }
}

void TestRecordingSession::closingPortEndsRows()
{
    openSimulatorPort();
    addDevice(*window, 1, QStringLiteral("Pa"), 0, 1);
    QVERIFY(clickStart(*window, tempDir->path()));
    const QString path = recordAt(*window, 0).filePath;
    QTRY_VERIFY_WITH_TIMEOUT(dataRows(path).size() >= 2, 10000);

    QTest::mouseClick(widget<QPushButton>(*window, "btnOpen"), Qt::LeftButton);
    QCOMPARE(widget<QPushButton>(*window, "btnOpen")->text(), QStringLiteral("打开串口"));
    QVERIFY(waitForRecordWrites(*window));
    const QByteArray written = fileBytes(path);
    QTest::qWait(2500);
    QCOMPARE(fileBytes(path), written);
    QCOMPARE(dataRows(path).constLast().mid(2), (QStringList{"101325", "Pa", "23.5"}));
    QVERIFY(!widget<QPushButton>(*window, "btnStart")->isEnabled());
}

void TestRecordingSession::lostRecordFileIsNotMadeAnew_data()
{
    QTest::addColumn<bool>("moved");

    QTest::newRow("deleted") << false;
    QTest::newRow("moved") << true;
}

void TestRecordingSession::lostRecordFileIsNotMadeAnew()
{
    QFETCH(bool, moved);

    openSimulatorPort();
    addDevice(*window, 1, QStringLiteral("KPa"), 3, 1);
    addDevice(*window, 7, QStringLiteral("KPa"), 3, 1);
    QVERIFY(clickStart(*window, tempDir->path()));
    const QString lost = recordAt(*window, 0).filePath;
    const QString kept = recordAt(*window, 1).filePath;
    QTRY_VERIFY_WITH_TIMEOUT(dataRows(lost).size() >= 2, 10000);

    const QString movedTo = tempDir->filePath(QStringLiteral("moved.csv"));
    if (moved)
        QVERIFY(QFile::rename(lost, movedTo));
    else
        QVERIFY(QFile::remove(lost));
    const QByteArray movedBytes = fileBytes(movedTo);
    const int keptRows = dataRows(kept).size();

    const auto notices = [this] { return window->findChildren<Notice *>(QStringLiteral("recordWriteNotice")); };
    QTRY_COMPARE_WITH_TIMEOUT(notices().size(), 1, 5000);
    QVERIFY(notices().constFirst()->text().contains(lost));
    QVERIFY(!notices().constFirst()->text().contains(kept));
    // The other device goes on; the lost file stays lost.
    QTRY_VERIFY_WITH_TIMEOUT(dataRows(kept).size() >= keptRows + 2, 10000);
    QTest::mouseClick(widget<QPushButton>(*window, "btnStop"), Qt::LeftButton);
    QVERIFY(waitForRecordWrites(*window));
    QVERIFY(!QFileInfo::exists(lost));
    QCOMPARE(fileBytes(movedTo), movedBytes);
    QCOMPARE(notices().size(), 1);
    const QList<QStringList> rows = dataRows(kept);
    for (int i = 0; i < rows.size(); ++i)
        QCOMPARE(rows.at(i).value(0), QString::number(i + 1));
}

QTEST_MAIN(TestRecordingSession)
#include "tst_recordingsession.moc"
