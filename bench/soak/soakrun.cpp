#include "soakrun.h"

#include "processusage.h"

#include "simulatorprocess.h"
#include "tests/reliability/eventloopwatch.h"
#include "tests/reliability/readinglog.h"
#include "tests/reliability/windowdriver.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <limits>

namespace {

constexpr qint64 MinuteMs = 60000;

// Runs the event loop for `ms`. A poll cycle that is running when the time is
// up runs to its end first: the loop only returns between cycles.
void runEventLoopFor(qint64 ms)
{
    QEventLoop loop;
    QTimer::singleShot(int(qMin<qint64>(ms, std::numeric_limits<int>::max())), &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

SoakRun runSoak(const QList<SoakDevice> &devices, const QString &directory, quint32 seed, qint64 runMs)
{
    SoakRun run;
    SimulatorProcess simulator(simulatorArguments(devices, seed));
    if (!simulator.start()) {
        run.failure = QStringLiteral("velmora-sim did not start");
        return run;
    }

    MainWindow window;
    window.show();
    if (!openPort(window, simulator.devicePath())) {
        run.failure = QStringLiteral("the window could not open %1").arg(simulator.devicePath());
        return run;
    }
    for (const SoakDevice &device : devices)
        addDevice(window, device.address, QStringLiteral("KPa"), SoakDecimals, device.recordPeriod);
    const ReadingLog log(deviceModel(window));
    if (!clickStart(window, directory)) {
        run.failure = QStringLiteral("Start showed no directory dialog");
        clickButton(window, "btnOpen");
        return run;
    }

    const EventLoopWatch watch;
    QElapsedTimer wall;
    wall.start();
    const double cpuAtStart = cpuSeconds();
    QTimer minute;
    minute.setSingleShot(true);
    QObject::connect(&minute, &QTimer::timeout, [&run] { run.residentFirstKiB = residentKiB(); });
    run.residentSampleSeconds = int(qMin(MinuteMs, runMs / 2) / 1000);
    minute.start(int(qMin(MinuteMs, runMs / 2)));

    runEventLoopFor(runMs);
    // Stop lets the running cycle finish: then no request is in flight.
    clickButton(window, "btnStop");
    waitForPollCycleEnd(window);

    run.wallSeconds = double(wall.elapsed()) / 1000.0;
    run.cpuSeconds = cpuSeconds() - cpuAtStart;
    run.residentAtEndKiB = residentKiB();
    run.longestStallMs = watch.longestGapMs();
    run.ticks = watch.ticks();
    run.lineStats = simulator.stop();
    for (int row = 0; row < devices.size(); ++row)
        run.records << recordAt(window, row);
    for (const SoakDevice &device : devices)
        run.readings.insert(device.address, log.readingsOf(device.address));
    // The window would leave its connection open to the end of the process.
    clickButton(window, "btnOpen");
    return run;
}
