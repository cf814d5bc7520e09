// Measures the poll cycle through the real window against velmora-sim with
// wire-time emulation: the cycle period against n × (transaction + 50 ms) +
// 200 ms, a silent device counting its 1 s time-out as its transaction; the
// holds of the window's event loop, seen by a 10 ms precise timer as its gaps
// less 10 ms; and the processor time the application uses per second.
//
// With --map FILE every device is served and read with that register map
// instead of 标准, and a transaction is all the requests of one poll.
//
// With --alarms it measures a bench-wide excursion instead: 247 devices at
// 115200 baud, each crossing its limits at most polls, one run without limits
// and one with them, back to back: processor time per second and the longest
// and 99th-percentile holds of the window's event loop.
//
//   velmora-pollbench [--alarms | --map FILE] [seconds per run, default 60]

#include "pollcycle.h"
#include "mainwindow.h"
#include "itemdata.h"
#include "alarmmonitor.h"
#include "devicelimits.h"
#include "devicerecords.h"
#include "registermap.h"

#include "simulatorprocess.h"
#include "common/windowaccess.h"
#include "reliability/eventloopwatch.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTimer>

#include <modbus.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int DeviceCount = 8;
constexpr int TransactionSamples = 80;
constexpr double PauseMs = 50.0;
constexpr double TimerGapMs = 200.0;
constexpr double TimeoutMs = 1000.0;
constexpr int WatchIntervalMs = 10;
constexpr double LongHoldMs = 100.0;

struct Scenario {
    const char *name;
    int baud;
    QList<int> silent; // addresses that never answer
    // The map every device is served and read with; 标准 when empty.
    QString mapFile;
    RegisterMap map = standardMap();
};

struct ContextCloser {
    void operator()(modbus_t *context) const
    {
        modbus_close(context);
        modbus_free(context);
    }
};

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &time) { return double(time.tv_sec) + double(time.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Median time of one poll's requests (the seven input registers of 标准)
// to the devices that answer, on a master of our own.
double medianTransactionMs(const QString &path, int baud, const QList<int> &answering, const RegisterMap &map)
{
    const std::unique_ptr<modbus_t, ContextCloser> context(
        modbus_new_rtu(path.toLocal8Bit().constData(), baud, 'N', 8, 1));
    if (!context || modbus_connect(context.get()) == -1)
        return -1.0;
    modbus_set_response_timeout(context.get(), 1, 0);

    std::vector<double> times;
    uint16_t registers[MaxRegistersPerRequest];
    const QVector<RegisterRange> ranges = registerRanges(map);
    for (int sample = 0; sample < TransactionSamples; ++sample) {
        modbus_set_slave(context.get(), answering.at(sample % answering.size()));
        QElapsedTimer clock;
        clock.start();
        bool answered = true;
        for (const RegisterRange &range : ranges) {
            const int read = map.kind == RegisterKind::Input
                ? modbus_read_input_registers(context.get(), range.start, range.count, registers)
                : modbus_read_registers(context.get(), range.start, range.count, registers);
            answered = answered && read == range.count;
        }
        if (answered)
            times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    return median(times);
}


struct WindowRun {
    double cycleMs = 0.0;
    // Median lateness of one device's step (from the record before to its
    // own) against the pause plus its transaction or time-out; the first
    // device's step also holds the gap between cycles.
    double answeringStepExcessMs = 0.0;
    double silentStepExcessMs = 0.0;
    double firstStepExcessMs = 0.0;
    int cycles = 0;
    double cpuPerWallSecond = 0.0;
    double longestHoldMs = 0.0;
    double longHoldShare = 0.0;
    quint32 polls = 0;
    quint32 failures = 0;
};

// The time from the record of the device before to the record of the device
// in `row`, as the poll cycle is meant to take it.
double expectedStepMs(const Scenario &scenario, double transactionMs, int row)
{
    const double ownMs = scenario.silent.contains(row + 1) ? TimeoutMs : transactionMs;
    return PauseMs + ownMs + (row == 0 ? TimerGapMs : 0.0);
}

// Polls the simulated devices through the window for `seconds`: opened by its
// button, started by Start with the directory dialog cancelled.
WindowRun pollThroughWindow(const QString &path, const Scenario &scenario, double transactionMs, int seconds)
{
    MainWindow window;
    window.show();
    widget<QComboBox>(window, "cboxBaudRate")->setCurrentText(QString::number(scenario.baud));
    openPort(window, path);
    for (int address = 1; address <= DeviceCount; ++address)
        addDevice(window, address);
    QStandardItemModel *devices = deviceModel(window);
    // Into the records alone: the bench's kept maps stay as they are.
    for (int row = 0; row < devices->rowCount(); ++row) {
        ItemData record = readRecord(devices, row);
        record.map = scenario.map;
        writeRecord(devices, row, record);
    }

    // Each cycle stores every device's record once, right after its read.
    struct Samples
    {
        QElapsedTimer clock;
        std::vector<qint64> cycleStarts;
        std::vector<double> answeringExcess;
        std::vector<double> silentExcess;
        std::vector<double> firstExcess;
        qint64 previousUpdate = -1;
    } samples;
    QElapsedTimer &clock = samples.clock;
    // Ends the connection before the samples it fills go out of scope.
    const QObject samplingScope;
    QObject::connect(devices, &QAbstractItemModel::dataChanged, &samplingScope,
                     [sampling = &samples, &scenario, transactionMs](const QModelIndex &topLeft, const QModelIndex &,
                                                                     const QVector<int> &roles) {
                         if (!roles.contains(ItemDataRole) || !sampling->clock.isValid())
                             return;
                         const int row = topLeft.row();
                         const qint64 now = sampling->clock.nsecsElapsed();
                         if (row == 0)
                             sampling->cycleStarts.push_back(now);
                         if (sampling->previousUpdate >= 0) {
                             const double excessMs = double(now - sampling->previousUpdate) / 1e6
                                 - expectedStepMs(scenario, transactionMs, row);
                             if (row == 0)
                                 sampling->firstExcess.push_back(excessMs);
                             else if (scenario.silent.contains(row + 1))
                                 sampling->silentExcess.push_back(excessMs);
                             else
                                 sampling->answeringExcess.push_back(excessMs);
                         }
                         sampling->previousUpdate = now;
                     });

    clickStart(window, QString());

    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    EventLoopWatch holds(WatchIntervalMs, LongHoldMs);
    const double cpuBefore = cpuSeconds();
    clock.start();
    holds.restart();
    loop.exec();
    const double wallSeconds = double(clock.nsecsElapsed()) / 1e9;
    const double cpuUsed = cpuSeconds() - cpuBefore;

    widget<QPushButton>(window, "btnStop")->click();
    widget<QPushButton>(window, "btnOpen")->click();

    WindowRun run;
    std::vector<double> periods;
    const std::vector<qint64> &cycleStarts = samples.cycleStarts;
    for (size_t cycle = 1; cycle < cycleStarts.size(); ++cycle)
        periods.push_back(double(cycleStarts[cycle] - cycleStarts[cycle - 1]) / 1e6);
    run.cycleMs = median(periods);
    run.answeringStepExcessMs = median(samples.answeringExcess);
    run.silentStepExcessMs = median(samples.silentExcess);
    run.firstStepExcessMs = median(samples.firstExcess);
    run.cycles = int(periods.size());
    run.cpuPerWallSecond = cpuUsed / wallSeconds;
    run.longestHoldMs = holds.longestHoldMs();
    run.longHoldShare = holds.longHoldsMs() / 1000.0 / wallSeconds;
    for (int row = 0; row < devices->rowCount(); ++row) {
        const auto record = qvariant_cast<ItemData>(devices->index(row, 0).data(ItemDataRole));
        run.polls += record.totalCount;
        run.failures += record.failCount;
    }
    return run;
}

QStringList simulatorArguments(const Scenario &scenario)
{
    QStringList arguments{QStringLiteral("--baud"), QString::number(scenario.baud)};
    if (!scenario.mapFile.isEmpty())
        arguments << QStringLiteral("--map") << scenario.mapFile;
    for (int address = 1; address <= DeviceCount; ++address) {
        QString slave = QStringLiteral("%1,pressure=wave:101325:500:7").arg(address);
        if (!scenario.mapFile.isEmpty())
            slave += QStringLiteral(",map=") + scenario.map.name;
        if (scenario.silent.contains(address))
            slave += QStringLiteral(",fault=silent:1");
        arguments << QStringLiteral("--slave") << slave;
    }
    return arguments;
}

// Every hold of the event loop, seen by a precise timer as its gaps less the interval.
class HoldSamples
{
public:
    HoldSamples()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(WatchIntervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            m_holds.push_back(std::max(0.0, double(m_sinceTick.nsecsElapsed()) / 1e6 - WatchIntervalMs));
            m_sinceTick.start();
        });
        m_sinceTick.start();
        m_timer.start();
    }

    double longestMs() const { return m_holds.empty() ? 0.0 : *std::max_element(m_holds.begin(), m_holds.end()); }
    double percentileMs(double share) const
    {
        if (m_holds.empty())
            return 0.0;
        std::vector<double> sorted = m_holds;
        std::sort(sorted.begin(), sorted.end());
        return sorted[std::min(sorted.size() - 1, size_t(share * double(sorted.size())))];
    }

private:
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    std::vector<double> m_holds;
};

struct ExcursionRun {
    double cpuPerWallSecond = 0.0;
    double longestHoldMs = 0.0;
    double p99HoldMs = 0.0;
    double pollsPerSecond = 0.0;
    double eventsPerSecond = 0.0;
};

constexpr int BenchDevices = 247;

// Every device's pressure swings ±5 KPa about 100 KPa in 0.37 s; polled once
// in some 13 s, it lands on either side of a band of 99.9 to 100.1 KPa at random.
ExcursionRun pollExcursion(const QString &path, bool withLimits, int seconds)
{
    MainWindow window;
    window.show();
    widget<QComboBox>(window, "cboxBaudRate")->setCurrentText(QStringLiteral("115200"));
    openPort(window, path);
    for (int address = 1; address <= BenchDevices; ++address)
        addDevice(window, address, QStringLiteral("KPa"), 3, 1);
    QStandardItemModel *devices = deviceModel(window);
    if (withLimits) {
        Limits limits;
        limits.pressureLow = 99.9;
        limits.pressureHigh = 100.1;
        for (int row = 0; row < devices->rowCount(); ++row)
            devices->setData(devices->index(row, 0), QVariant::fromValue(limits), LimitsRole);
    }
    qint64 polls = 0;
    qint64 events = 0;
    const QObject countingScope;
    QObject::connect(widget<PollCycle>(window, "pollCycle"), &PollCycle::readingTaken, &countingScope,
                     [&polls](const Reading &) { ++polls; });
    QObject::connect(widget<AlarmMonitor>(window, "alarmMonitor"), &AlarmMonitor::alarmEvent, &countingScope,
                     [&events] { ++events; });
    clickStart(window, QString());

    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    const double cpuBefore = cpuSeconds();
    clock.start();
    polls = 0;
    events = 0;
    const HoldSamples holds;
    loop.exec();
    const double wallSeconds = double(clock.nsecsElapsed()) / 1e9;
    const double cpuUsed = cpuSeconds() - cpuBefore;

    ExcursionRun run;
    run.cpuPerWallSecond = cpuUsed / wallSeconds;
    run.longestHoldMs = holds.longestMs();
    run.p99HoldMs = holds.percentileMs(0.99);
    run.pollsPerSecond = double(polls) / wallSeconds;
    run.eventsPerSecond = double(events) / wallSeconds;
    widget<QPushButton>(window, "btnStop")->click();
    widget<QPushButton>(window, "btnOpen")->click();
    return run;
}

int benchExcursion(int seconds)
{
    QStringList arguments{QStringLiteral("--baud"), QStringLiteral("115200")};
    for (int address = 1; address <= BenchDevices; ++address)
        arguments << QStringLiteral("--slave") << QStringLiteral("%1,pressure=wave:100000:5000:0.37").arg(address);
    std::printf("%d devices at 115200 baud, %d s of polling per run\n\n", BenchDevices, seconds);
    std::printf("%-14s %10s %12s %12s %10s %12s\n", "run", "cpu s/s", "longest ms", "p99 hold ms", "polls/s",
                "alarm ev/s");
    ExcursionRun runs[2];
    for (const bool withLimits : {false, true}) {
        SimulatorProcess sim(arguments);
        if (!sim.start()) {
            std::fprintf(stderr, "velmora-pollbench: velmora-sim did not start\n");
            return 1;
        }
        const ExcursionRun run = pollExcursion(sim.devicePath(), withLimits, seconds);
        sim.stop();
        runs[withLimits] = run;
        std::printf("%-14s %10.4f %12.2f %12.2f %10.1f %12.1f\n", withLimits ? "with limits" : "without limits",
                    run.cpuPerWallSecond, run.longestHoldMs, run.p99HoldMs, run.pollsPerSecond, run.eventsPerSecond);
    }
    std::printf("\nwith/without: cpu %.2f, longest hold %.2f, p99 hold %.2f\n",
                runs[1].cpuPerWallSecond / runs[0].cpuPerWallSecond, runs[1].longestHoldMs / runs[0].longestHoldMs,
                runs[1].p99HoldMs / runs[0].p99HoldMs);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    const bool excursion = arguments.removeAll(QStringLiteral("--alarms")) > 0;
    QString mapFile;
    RegisterMap map = standardMap();
    const int mapOption = arguments.indexOf(QStringLiteral("--map"));
    if (mapOption >= 0) {
        arguments.removeAt(mapOption);
        mapFile = arguments.value(mapOption);
        if (mapOption < arguments.size())
            arguments.removeAt(mapOption);
        QFile file(mapFile);
        const Result<RegisterMap> read = file.open(QIODevice::ReadOnly)
            ? mapFromJson(QJsonDocument::fromJson(file.readAll()).object())
            : Result<RegisterMap>(Failure{file.errorString()});
        if (!read.ok()) {
            std::fprintf(stderr, "velmora-pollbench: %s: %s\n", qPrintable(mapFile), qPrintable(read.error()));
            return 1;
        }
        map = read.value();
    }
    const int seconds = !arguments.isEmpty() ? std::max(2, arguments.first().toInt()) : 60;
    if (excursion)
        return benchExcursion(seconds);

    const Scenario scenarios[] = {
        {"all answer", 9600, {}, mapFile, map},
        {"all answer", 115200, {}, mapFile, map},
        {"3 silent", 9600, {3, 5, 8}, mapFile, map},
    };
    std::printf("%d devices, map %s (%d request(s) per poll), %d s of polling per run\n\n", DeviceCount,
                qPrintable(map.name), int(registerRanges(map).size()), seconds);
    std::printf("%-11s %7s %12s %15s %10s %20s %10s %10s %10s %7s %10s\n", "devices", "baud", "transaction",
                "cycle", "cycle-exp", "step late, ms", "longest", "holds", "cpu", "cycles", "polls/");
    std::printf("%-11s %7s %12s %15s %10s %20s %10s %10s %10s %7s %10s\n", "", "", "ms", "ms exp/meas", "ms/device",
                "answer/silent/first", "hold ms", ">100 ms", "s/s", "", "failures");
    for (const Scenario &scenario : scenarios) {
        SimulatorProcess sim(simulatorArguments(scenario));
        if (!sim.start()) {
            std::fprintf(stderr, "velmora-pollbench: velmora-sim did not start\n");
            return 1;
        }
        QList<int> answering;
        for (int address = 1; address <= DeviceCount; ++address) {
            if (!scenario.silent.contains(address))
                answering << address;
        }
        const double transactionMs = medianTransactionMs(sim.devicePath(), scenario.baud, answering, scenario.map);
        const WindowRun run = pollThroughWindow(sim.devicePath(), scenario, transactionMs, seconds);
        sim.stop();

        double expectedMs = 0.0;
        for (int row = 0; row < DeviceCount; ++row)
            expectedMs += expectedStepMs(scenario, transactionMs, row);
        std::printf("%-11s %7d %12.2f %7.1f/%7.1f %10.3f %6.2f/%6.2f/%6.2f %10.2f %10.4f %10.4f %7d %6u/%u\n",
                    scenario.name, scenario.baud, transactionMs, expectedMs, run.cycleMs,
                    (run.cycleMs - expectedMs) / DeviceCount, run.answeringStepExcessMs, run.silentStepExcessMs,
                    run.firstStepExcessMs, run.longestHoldMs, run.longHoldShare, run.cpuPerWallSecond, run.cycles,
                    run.polls, run.failures);
    }
    return 0;
}
