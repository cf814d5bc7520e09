// Measures the poll cycle through the real window against velmora-sim with
// wire-time emulation: the processor time the application uses per second of
// polling, and the cycle period against n × (transaction + 50 ms) + 200 ms.
//
//   velmora-pollbench [seconds per baud rate, default 10]

#include "app/mainwindow.h"
#include "devices/itemdata.h"

#include "simulatorprocess.h"
#include "tests/common/windowaccess.h"

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

// Median time of one read of the seven input registers, on a master of our own.
double medianTransactionMs(const QString &path, int baud)
{
    const std::unique_ptr<modbus_t, ContextCloser> context(
        modbus_new_rtu(path.toLocal8Bit().constData(), baud, 'N', 8, 1));
    if (!context || modbus_connect(context.get()) == -1)
        return -1.0;
    modbus_set_response_timeout(context.get(), 1, 0);

    std::vector<double> times;
    uint16_t registers[7];
    for (int sample = 0; sample < TransactionSamples; ++sample) {
        modbus_set_slave(context.get(), 1 + sample % DeviceCount);
        QElapsedTimer clock;
        clock.start();
        if (modbus_read_input_registers(context.get(), 0, 7, registers) == 7)
            times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    return median(times);
}

struct WindowRun {
    double cycleMs = 0.0;
    double deviceStepMs = 0.0; // from one device's update to the next one's, within a cycle
    int cycles = 0;
    double cpuPerWallSecond = 0.0;
    quint32 polls = 0;
    quint32 failures = 0;
};

// Polls the simulated devices through the window for `seconds`: opened by its
// button, started by Start with the directory dialog cancelled.
WindowRun pollThroughWindow(const QString &path, const QString &baud, int seconds)
{
    MainWindow window;
    window.show();
    widget<QComboBox>(window, "cboxBaudRate")->setCurrentText(baud);
    openPort(window, path);
    for (int address = 1; address <= DeviceCount; ++address)
        addDevice(window, address);
    QStandardItemModel *devices = deviceModel(window);

    // Each cycle stores every device's record once, right after its read.
    struct Samples
    {
        QElapsedTimer clock;
        std::vector<qint64> cycleStarts;
        std::vector<double> deviceSteps;
        qint64 previousUpdate = -1;
    } samples;
    QElapsedTimer &clock = samples.clock;
    // Ends the connection before the samples it fills go out of scope.
    const QObject samplingScope;
    QObject::connect(devices, &QAbstractItemModel::dataChanged, &samplingScope,
                     [sampling = &samples](const QModelIndex &topLeft, const QModelIndex &, const QVector<int> &roles) {
                         if (!roles.contains(ItemDataRole) || !sampling->clock.isValid())
                             return;
                         const qint64 now = sampling->clock.nsecsElapsed();
                         if (topLeft.row() == 0)
                             sampling->cycleStarts.push_back(now);
                         else if (sampling->previousUpdate >= 0)
                             sampling->deviceSteps.push_back(double(now - sampling->previousUpdate) / 1e6);
                         sampling->previousUpdate = now;
                     });

    clickStart(window, QString());

    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    const double cpuBefore = cpuSeconds();
    clock.start();
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
    run.deviceStepMs = median(samples.deviceSteps);
    run.cycles = int(periods.size());
    run.cpuPerWallSecond = cpuUsed / wallSeconds;
    for (int row = 0; row < devices->rowCount(); ++row) {
        const auto record = qvariant_cast<ItemData>(devices->index(row, 0).data(ItemDataRole));
        run.polls += record.totalCount;
        run.failures += record.failCount;
    }
    return run;
}

QStringList simulatorArguments(int baud)
{
    QStringList arguments{QStringLiteral("--baud"), QString::number(baud)};
    for (int address = 1; address <= DeviceCount; ++address)
        arguments << QStringLiteral("--slave") << QStringLiteral("%1,pressure=wave:101325:500:7").arg(address);
    return arguments;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(2, QString::fromLocal8Bit(argv[1]).toInt()) : 10;

    std::printf("%d devices, %d s of polling per baud rate\n\n", DeviceCount, seconds);
    std::printf("%7s %12s %13s %13s %13s %7s %13s %13s %9s %10s\n", "baud", "transaction", "device step",
                "overhead", "cycle", "ratio", "overhead", "cpu", "cycles", "polls/");
    std::printf("%7s %12s %13s %13s %13s %7s %13s %13s %9s %10s\n", "", "ms", "ms exp/meas", "ms/device",
                "ms exp/meas", "", "ms/device", "s/s", "", "failures");
    for (const int baud : {9600, 115200}) {
        SimulatorProcess sim(simulatorArguments(baud));
        if (!sim.start()) {
            std::fprintf(stderr, "velmora-pollbench: velmora-sim did not start\n");
            return 1;
        }
        const double transactionMs = medianTransactionMs(sim.devicePath(), baud);
        const WindowRun run = pollThroughWindow(sim.devicePath(), QString::number(baud), seconds);
        sim.stop();

        const double expectedMs = DeviceCount * (transactionMs + PauseMs) + TimerGapMs;
        const double expectedStepMs = transactionMs + PauseMs;
        std::printf("%7d %12.2f %6.2f/%6.2f %13.3f %6.1f/%6.1f %7.4f %13.3f %13.4f %9d %6u/%u\n", baud,
                    transactionMs, expectedStepMs, run.deviceStepMs, run.deviceStepMs - expectedStepMs, expectedMs,
                    run.cycleMs, run.cycleMs / expectedMs, (run.cycleMs - expectedMs) / DeviceCount,
                    run.cpuPerWallSecond, run.cycles, run.polls, run.failures);
    }
    return 0;
}
