// Measures an RTU-over-TCP line on the loopback against
// velmora-sim --tcp --rtu-over-tcp, as through a transparent serial-to-Ethernet
// converter: the time of one transaction (median and 99th percentile) as the
// line frames it, and the poll cycle of 8 devices through the real window
// against n × (transaction + 50 ms) + 200 ms.
//
//   velmora-rtutcpbench [seconds of polling, default 30]

#include "loopbackcycle.h"
#include "rtutcptransport.h"

#include "simulatorprocess.h"

#include <QApplication>

#include <cstdio>

namespace {

constexpr int DeviceCount = 8;
constexpr int TransactionSamples = 2000;
constexpr double PauseMs = 50.0;
constexpr double TimerGapMs = 200.0;

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(2, QString::fromLocal8Bit(argv[1]).toInt()) : 30;

    QStringList arguments{"--tcp", "127.0.0.1:0", "--rtu-over-tcp"};
    for (int device = 1; device <= DeviceCount; ++device)
        arguments << "--slave" << QStringLiteral("%1,pressure=wave:101325:500:7").arg(device);
    SimulatorProcess sim(arguments);
    if (!sim.start()) {
        std::fprintf(stderr, "velmora-rtutcpbench: velmora-sim did not start\n");
        return 1;
    }
    const QString port = sim.devicePath();

    const std::vector<double> transactions = lineTransactionTimesMs<RtuOverTcpTransport>(port.toLatin1(), DeviceCount, TransactionSamples);
    const double transactionMs = median(transactions);
    const double expectedMs = DeviceCount * (transactionMs + PauseMs) + TimerGapMs;
    const double cycleMs = windowCycleMs("rtu+tcp://127.0.0.1:" + port, DeviceCount, seconds);
    sim.stop();

    std::printf("%d devices on the loopback, RTU over TCP, %d of %d transactions answered, %d s of polling\n",
                DeviceCount, int(transactions.size()), TransactionSamples, seconds);
    std::printf("transaction     median %.3f ms, p99 %.3f ms\n", transactionMs, percentile(transactions, 0.99));
    std::printf("velmora cycle   expected %.1f ms, measured %.1f ms (%.3f ms late per device)\n", expectedMs, cycleMs,
                (cycleMs - expectedMs) / DeviceCount);
    return 0;
}
