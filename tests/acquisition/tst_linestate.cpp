#include "modbusline.h"
#include "pollcycle.h"
#include "reading.h"
#include "mainwindow.h"

#include "common/windowaccess.h"

#include "simulatorprocess.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {

constexpr int Cycles = 3;

ModbusLine *lineOf(const MainWindow &window)
{
    return widget<ModbusLine>(window, "modbusLine");
}

QString caption(const MainWindow &window)
{
    return widget<QPushButton>(window, "btnOpen")->text();
}

} // namespace

// What the poll cycle announces, and where the line stands, as the window
// and every consumer of readings see them.
class TestLineState : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void announcesOneReadingPerPoll_data();
    void announcesOneReadingPerPoll();
    void statesThroughOpenLossAndClose();
    void clickWhileOpeningAbandonsTheOpen();

private:
    std::unique_ptr<QTemporaryDir> directory;
    std::unique_ptr<SimulatorProcess> sim;
    std::unique_ptr<MainWindow> window;
};

void TestLineState::init()
{
    directory = std::make_unique<QTemporaryDir>();
    QVERIFY(directory->isValid());
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestLineState::cleanup()
{
    if (portIsOpen(*window))
        QTest::mouseClick(widget<QPushButton>(*window, "btnOpen"), Qt::LeftButton);
    window.reset();
    sim.reset();
    directory.reset();
}

void TestLineState::announcesOneReadingPerPoll_data()
{
    QTest::addColumn<QString>("slave");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<double>("pascals");
    QTest::addColumn<double>("inUnit");
    QTest::addColumn<double>("celsius");

    // Registers as a transmitter sends them: the pressure's float bits, low
    // half first, and tenths of a degree.
    QTest::newRow("KPa") << "1,regs=0:0x47C8:0:0:0:0:235" << "KPa" << 3 << true << 102400.0 << 102.4 << 23.5;
    // At 0 decimals the tile shows 101068; the reading keeps every digit.
    QTest::newRow("Pa at 0 decimals, below zero")
        << "1,regs=0x6666:0x47C5:0:0:0:0:0xFF9C" << "Pa" << 0 << true << 101068.796875 << 101068.796875 << -10.0;
    QTest::newRow("silent") << "1,fault=silent:1" << "KPa" << 3 << false << 0.0 << 0.0 << 0.0;
}

void TestLineState::announcesOneReadingPerPoll()
{
    QFETCH(QString, slave);
    QFETCH(QString, unit);
    QFETCH(int, decimals);
    QFETCH(bool, answered);
    QFETCH(double, pascals);
    QFETCH(double, inUnit);
    QFETCH(double, celsius);

    sim = std::make_unique<SimulatorProcess>(QStringList{"--slave", slave, "--slave", "2"});
    QVERIFY(sim->start());
    QVERIFY(openPort(*window, sim->devicePath()));
    addDevice(*window, 1, unit, decimals);
    addDevice(*window, 2);
    auto *cycle = widget<PollCycle>(*window, "pollCycle");
    QSignalSpy readings(cycle, &PollCycle::readingTaken);
    QSignalSpy finished(cycle, &PollCycle::finished);
    for (int i = 0; i < Cycles; ++i) {
        QVERIFY(QMetaObject::invokeMethod(window.get(), "MB_POLL"));
        QVERIFY(finished.wait(10000));
    }

    QCOMPARE(readings.count(), 2 * Cycles);
    const ItemData record = recordAt(*window, 0);
    QCOMPARE(record.totalCount, quint32(Cycles));
    QDateTime previous;
    int polls = 0;
    for (const QList<QVariant> &arguments : qAsConst(readings)) {
        const auto reading = arguments.at(0).value<Reading>();
        QVERIFY(reading.address == 1 || reading.address == 2);
        if (reading.address != 1)
            continue;
        ++polls;
        QCOMPARE(reading.answered, answered);
        QCOMPARE(reading.unit, unit);
        QCOMPARE(reading.decimals, decimals);
        QCOMPARE(reading.totalCount, quint32(polls));
        QCOMPARE(reading.failCount, answered ? 0u : quint32(polls));
        QCOMPARE(reading.status, answered ? int(Good) : int(Offline));
        QVERIFY(reading.time.isValid() && reading.time <= QDateTime::currentDateTime());
        QVERIFY(!previous.isValid() || reading.time > previous);
        previous = reading.time;
        if (answered) {
            QCOMPARE(reading.pressurePa, pascals);
            QCOMPARE(float(reading.pressure), float(inUnit));
            QCOMPARE(reading.temperature, celsius);
        }
    }
    QCOMPARE(polls, Cycles);
}

void TestLineState::statesThroughOpenLossAndClose()
{
    const QString link = directory->filePath(QStringLiteral("line"));
    sim = std::make_unique<SimulatorProcess>(QStringList{"--link", link, "--replug-after", "1500", "--slave", "1"});
    QVERIFY(sim->start());
    ModbusLine *line = lineOf(*window);
    QList<LineState> states;
    QStringList captions;
    connect(line, &ModbusLine::stateChanged, this, [&](LineState state) {
        states << state;
        captions << caption(*window);
    });

    QVERIFY(openPort(*window, link));
    addDevice(*window, 1);
    QVERIFY(clickStart(*window, QString()));
    QTRY_COMPARE_WITH_TIMEOUT(statusAt(*window, 0), int(Good), 3000);
    QVERIFY(::kill(pid_t(sim->processId()), SIGUSR1) == 0);
    QTRY_COMPARE_WITH_TIMEOUT(line->state(), LineState::Lost, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(line->state(), LineState::Open, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(statusAt(*window, 0), int(Good), 5000);
    QTest::mouseClick(widget<QPushButton>(*window, "btnOpen"), Qt::LeftButton);

    QCOMPARE(states, (QList<LineState>{LineState::Opening, LineState::Open, LineState::Lost, LineState::Open,
                                       LineState::Closed}));
    const QString closed = QStringLiteral("打开串口");
    const QString open = QStringLiteral("关闭串口");
    QCOMPARE(captions, (QStringList{closed, open, open, open, closed}));
    // Closing the port halts polling; Start waits for Stop.
    QVERIFY(widget<QPushButton>(*window, "btnStop")->isEnabled());
    QVERIFY(!widget<QPushButton>(*window, "btnStart")->isEnabled());
}

void TestLineState::clickWhileOpeningAbandonsTheOpen()
{
    sim = std::make_unique<SimulatorProcess>(QStringList{"--slave", "1"});
    QVERIFY(sim->start());
    ModbusLine *line = lineOf(*window);
    QSignalSpy opened(line, &ModbusLine::openFinished);
    widget<QComboBox>(*window, "cboxPortName")->setEditText(sim->devicePath());
    auto *button = widget<QPushButton>(*window, "btnOpen");
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(line->state(), LineState::Opening);
    QCOMPARE(caption(*window), QStringLiteral("打开串口"));
    QTest::mouseClick(button, Qt::LeftButton);

    QCOMPARE(line->state(), LineState::Closed);
    QTest::qWait(500);
    QCOMPARE(line->state(), LineState::Closed);
    QCOMPARE(opened.count(), 0);
    QCOMPARE(caption(*window), QStringLiteral("打开串口"));
    // The next click opens as usual.
    QVERIFY(openPort(*window, sim->devicePath()));
}

QTEST_MAIN(TestLineState)
#include "tst_linestate.moc"
