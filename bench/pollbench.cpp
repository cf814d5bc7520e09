// Measures the poll cycle through the real window against velmora-sim with
// wire-time emulation: the cycle period against n × (transaction + 50 ms) +
// 200 ms, a silent device counting its 1 s time-out as its transaction; the
// holds of the window's event loop, seen by a 10 ms precise timer as its gaps
// less 10 ms; and the processor time the application uses per second.
//
//   velmora-pollbench [seconds per run, default 60]

#include "app/mainwindow.h"
#include "devices/itemdata.h"

#include "simulatorprocess.h"
#include "tests/common/windowaccess.h"
#include "tests/reliability/eventloopwatch.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
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

// Median time of one read of the seven input registers from the devices
// that answer, on a master of our own.
double medianTransactionMs(const QString &path, int baud, const QList<int> &answering)
{
    const std::unique_ptr<modbus_t, ContextCloser> context(
        modbus_new_rtu(path.toLocal8Bit().constData(), baud, 'N', 8, 1));
    if (!context || modbus_connect(context.get()) == -1)
        return -1.0;
    modbus_set_response_timeout(context.get(), 1, 0);

    std::vector<double> times;
    uint16_t registers[7];
    for (int sample = 0; sample < TransactionSamples; ++sample) {
        modbus_set_slave(context.get(), answering.at(sample % answering.size()));
        QElapsedTimer clock;
        clock.start();
        if (modbus_read_input_registers(context.get(), 0, 7, registers) == 7)
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
    for (int address = 1; address <= DeviceCount; ++address) {
        QString slave = QStringLiteral("%1,pressure=wave:101325:500:7").arg(address);
        if (scenario.silent.contains(address))
            slave += QStringLiteral(",fault=silent:1");
        arguments << QStringLiteral("--slave") << slave;
    }
    return arguments;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(2, QString::fromLocal8Bit(argv[1]).toInt()) : 60;

    const Scenario scenarios[] = {
        {"all answer", 9600, {}},
        {"all answer", 115200, {}},
        {"3 silent", 9600, {3, 5, 8}},
    };
    std::printf("%d devices, %d s of polling per run\n\n", DeviceCount, seconds);
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
        const double transactionMs = medianTransactionMs(sim.devicePath(), scenario.baud, answering);
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
