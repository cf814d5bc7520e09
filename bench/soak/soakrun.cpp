#include "soakrun.h"

#include "processusage.h"
#include "strayboxes.h"

#include "modbusline.h"
#include "simulatorprocess.h"
#include "reliability/eventloopwatch.h"
#include "reliability/readinglog.h"
#include "reliability/windowdriver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSet>
#include <QTemporaryDir>
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

QSet<QString> recordFileNames(const QString &directory)
{
    const QStringList names = QDir(directory).entryList({QStringLiteral("*.csv")}, QDir::Files);
    return QSet<QString>(names.cbegin(), names.cend());
}

} // namespace

SoakRun runSoak(const QList<SoakDevice> &devices, const QString &directory, quint32 seed, qint64 runMs,
                qint64 pullEveryMs)
{
    SoakRun run;
    // The window opens the line by its link, which a re-plugged line keeps.
    const QTemporaryDir linkDirectory;
    const QString link = linkDirectory.filePath(QStringLiteral("soak-line"));
    SimulatorProcess simulator(simulatorArguments(devices, seed, link));
    if (!linkDirectory.isValid() || !simulator.start()) {
        run.failure = QStringLiteral("velmora-sim did not start");
        return run;
    }

    MainWindow window;
    window.show();
    if (!openPort(window, link)) {
        run.failure = QStringLiteral("the window could not open %1").arg(link);
        return run;
    }
    for (const SoakDevice &device : devices)
        addDevice(window, device.address, QStringLiteral("KPa"), SoakDecimals, device.recordPeriod);
    const ReadingLog log(deviceModel(window));
    const WindowTimeline timeline(deviceModel(window), widget<ModbusLine>(window, "modbusLine"),
                                  widget<PollCycle>(window, "pollCycle"));
    const StrayBoxes strayBoxes;
    const QSet<QString> filesBefore = recordFileNames(directory);
    if (!clickStart(window, directory)) {
        run.failure = QStringLiteral("Start showed no directory dialog");
        clickButton(window, "btnOpen");
        return run;
    }

    const EventLoopWatch watch(HoldWatchIntervalMs, double(HoldLimitMs));
    const LinePuller puller(simulator.processId(), pullSchedule(pullEveryMs, runMs, seed));
    QElapsedTimer wall;
    wall.start();
    const double cpuAtStart = cpuSeconds();
    QTimer firstSample;
    firstSample.setSingleShot(true);
    QObject::connect(&firstSample, &QTimer::timeout, [&run] {
        run.residentFirstKiB = residentKiB();
        run.descriptorsFirst = openFileDescriptors();
    });
    run.firstSampleSeconds = int(qMin(MinuteMs, runMs / 2) / 1000);
    firstSample.start(int(qMin(MinuteMs, runMs / 2)));

    runEventLoopFor(runMs);
    run.descriptorsAtEnd = openFileDescriptors();
    run.recordingSeconds = double(wall.elapsed()) / 1000.0;
    // Stop lets the running cycle finish: then no request is in flight.
    clickButton(window, "btnStop");
    waitForPollCycleEnd(window);

    run.wallSeconds = double(wall.elapsed()) / 1000.0;
    run.cpuSeconds = cpuSeconds() - cpuAtStart;
    run.residentAtEndKiB = residentKiB();
    run.longestHoldMs = qint64(watch.longestHoldMs());
    run.holdsOverLimit = watch.longHolds();
    run.ticks = watch.ticks();
    run.pullFailure = puller.failure();
    run.lineStats = simulator.stop();
    for (int row = 0; row < devices.size(); ++row)
        run.records << recordAt(window, row);
    for (const SoakDevice &device : devices) {
        run.readings.insert(device.address, log.readingsOf(device.address));
        run.statuses.insert(device.address, timeline.statusChanges(device.address));
        run.gapPolls.insert(device.address, timeline.gapPolls(device.address));
    }
    run.pulls = puller.pulls();
    run.gaps = timeline.gaps();
    run.cycleLengthsMs = timeline.cycleLengthsMs();
    run.descriptorsAtRestores = timeline.descriptorsAtRestores();
    run.strayBoxes = strayBoxes.texts();
    const QSet<QString> added = recordFileNames(directory) - filesBefore;
    run.newFiles = QStringList(added.cbegin(), added.cend());
    // The window would leave its connection open to the end of the process.
    clickButton(window, "btnOpen");
    return run;
}
