// Times full scans of the line (addresses 1 to 247) against velmora-sim
// emulating the wire time at 9600 baud, with three addresses answering: the
// line and the scan the window uses, without its dialogs.
//
//   velmora-scanbench [runs, default 3]

#include "busscan.h"
#include "modbusline.h"
#include "pollcycle.h"

#include "simulatorprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QStandardItemModel>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int Baud = 9600;
constexpr int FirstAddress = 1;
constexpr int LastAddress = 247;

bool openLine(ModbusLine &line, const QString &path)
{
    LineSettings settings;
    settings.device = path.toLocal8Bit();
    settings.baud = Baud;
    settings.parity = 'N';
    settings.dataBits = 8;
    settings.stopBits = 1;
    bool opened = false;
    QEventLoop loop;
    QObject::connect(&line, &ModbusLine::openFinished, &loop, [&](bool ok) {
        opened = ok;
        loop.quit();
    });
    line.open(settings);
    loop.exec();
    return opened;
}

// One full scan; its wall time in milliseconds, or -1 when it found other
// addresses than those served.
double timeScan(ModbusLine &line)
{
    QStandardItemModel noDevices;
    const PollCycle idle(&noDevices, &line);
    BusScan scan(&line, &idle);
    QEventLoop loop;
    QObject::connect(&scan, &BusScan::finished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    scan.start(FirstAddress, LastAddress);
    loop.exec();
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    return scan.foundAddresses() == QList<int>{3, 7, 22} ? ms : -1.0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 3;

    SimulatorProcess sim({"--baud", QString::number(Baud), "--slave", "3", "--slave", "7", "--slave", "22"});
    ModbusLine line;
    if (!sim.start() || !openLine(line, sim.devicePath())) {
        std::fprintf(stderr, "velmora-scanbench: no simulated line\n");
        return 1;
    }

    std::vector<double> times;
    std::printf("scan of %d–%d at %d baud, 3 addresses answering\n", FirstAddress, LastAddress, Baud);
    for (int run = 1; run <= runs; ++run) {
        const double ms = timeScan(line);
        if (ms < 0) {
            std::fprintf(stderr, "velmora-scanbench: the scan found other addresses than 3, 7 and 22\n");
            return 1;
        }
        std::printf("run %d: %.2f s\n", run, ms / 1000);
        times.push_back(ms);
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    const int addresses = LastAddress - FirstAddress + 1;
    std::printf("median %.2f s, %.1f ms per address\n", median / 1000, median / addresses);
    line.close();
    sim.stop();
    return 0;
}
