// Measures a Modbus TCP line on the loopback against velmora-sim --tcp: the
// time of one transaction (median and 99th percentile) as the line frames it
// and, beside it, on a plain libmodbus master, the poll cycle of 8 devices through the real window against
// n × (transaction + 50 ms) + 200 ms, and, side by side on the same
// simulator, the cycle and per-device step of mbpoll -m tcp polling the same
// 8 devices with a 50 ms poll rate.
//
//   velmora-tcpbench [seconds per run, default 30]

#include "loopbackcycle.h"
#include "tcptransport.h"

#include "simulatorprocess.h"

#include <QApplication>
#include <QProcess>

#include <modbus.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int DeviceCount = 8;
constexpr int TransactionSamples = 2000;
constexpr double PauseMs = 50.0;
constexpr double TimerGapMs = 200.0;

struct ContextCloser {
    void operator()(modbus_t *context) const
    {
        modbus_close(context);
        modbus_free(context);
    }
};

std::vector<double> transactionTimesMs(const QByteArray &port)
{
    std::vector<double> times;
    const std::unique_ptr<modbus_t, ContextCloser> context(modbus_new_tcp_pi("127.0.0.1", port.constData()));
    if (!context)
        return times;
    modbus_set_response_timeout(context.get(), 1, 0);
    if (modbus_connect(context.get()) == -1)
        return times;
    uint16_t registers[7];
    for (int sample = 0; sample < TransactionSamples; ++sample) {
        modbus_set_slave(context.get(), 1 + sample % DeviceCount);
        QElapsedTimer clock;
        clock.start();
        if (modbus_read_input_registers(context.get(), 0, 7, registers) == 7)
            times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    return times;
}

struct MbpollRun {
    double cycleMs = 0.0;
    double stepMs = 0.0;
    bool ran = false;
};

// mbpoll polling the same devices: each "-- Polling slave N" line is stamped
// as it arrives, line-buffered through stdbuf.
MbpollRun mbpollCycle(const QString &port, int seconds)
{
    QProcess mbpoll;
    QElapsedTimer clock;
    std::vector<qint64> firstDevice;
    std::vector<qint64> everyDevice;
    QObject::connect(&mbpoll, &QProcess::readyReadStandardOutput, &mbpoll, [&] {
        while (mbpoll.canReadLine()) {
            const QByteArray line = mbpoll.readLine();
            if (!line.startsWith("-- Polling slave "))
                continue;
            everyDevice.push_back(clock.nsecsElapsed());
            if (line.startsWith("-- Polling slave 1."))
                firstDevice.push_back(clock.nsecsElapsed());
        }
    });
    clock.start();
    mbpoll.start(QStringLiteral("stdbuf"), {"-oL", "mbpoll", "-m", "tcp", "-p", port, "-a", "1:8", "-t", "3", "-0",
                                             "-r", "0", "-c", "7", "-l", "50", "127.0.0.1"});
    MbpollRun run;
    if (!mbpoll.waitForStarted(5000))
        return run;
    runEventLoop(seconds);
    mbpoll.terminate();
    mbpoll.waitForFinished(5000);
    run.ran = firstDevice.size() > 1;
    run.cycleMs = median(differencesMs(firstDevice));
    run.stepMs = median(differencesMs(everyDevice));
    return run;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(2, QString::fromLocal8Bit(argv[1]).toInt()) : 30;

    QStringList arguments{"--tcp", "127.0.0.1:0"};
    for (int device = 1; device <= DeviceCount; ++device)
        arguments << "--slave" << QStringLiteral("%1,pressure=wave:101325:500:7").arg(device);
    SimulatorProcess sim(arguments);
    if (!sim.start()) {
        std::fprintf(stderr, "velmora-tcpbench: velmora-sim did not start\n");
        return 1;
    }
    const QString port = sim.devicePath();

    const std::vector<double> transactions = lineTransactionTimesMs<TcpTransport>(port.toLatin1(), DeviceCount, TransactionSamples);
    const std::vector<double> libmodbusTransactions = transactionTimesMs(port.toLatin1());
    const double transactionMs = median(transactions);
    const double expectedMs = DeviceCount * (transactionMs + PauseMs) + TimerGapMs;
    const double cycleMs = windowCycleMs("127.0.0.1:" + port, DeviceCount, seconds);
    const MbpollRun mbpoll = mbpollCycle(port, seconds);
    sim.stop();

    std::printf("%d devices on the loopback, %d transactions, %d s of polling per run\n", DeviceCount,
                int(transactions.size()), seconds);
    std::printf("transaction         median %.3f ms, p99 %.3f ms\n", transactionMs, percentile(transactions, 0.99));
    std::printf("libmodbus master    median %.3f ms, p99 %.3f ms (%d transactions)\n", median(libmodbusTransactions),
                percentile(libmodbusTransactions, 0.99), int(libmodbusTransactions.size()));
    std::printf("velmora cycle       expected %.1f ms, measured %.1f ms (%.3f ms late per device)\n", expectedMs,
                cycleMs, (cycleMs - expectedMs) / DeviceCount);
    if (mbpoll.ran)
        std::printf("mbpoll -l 50 cycle  measured %.1f ms, step per device %.1f ms\n", mbpoll.cycleMs, mbpoll.stepMs);
    else
        std::printf("mbpoll did not run (is it installed?)\n");
    return 0;
}
