// Records eight devices answering at 9600 baud (velmora-sim with wire-time
// emulation) at record period 1 s through the real window, once into a plain
// folder and once into a folder whose every open is made slower by the
// slowopen library, and compares within the one run: Start (with and without
// the directory dialog), the longest hold of the
// window's event loop and the time in holds over 100 ms (a 10 ms precise
// timer), the polls per device, and whether every row is in its file, in
// order and stamped with the second it fell due in.
//
//   velmora-recordbench [seconds per run, default 60] [open delay ms, default 150]
//
// The program runs itself again with the library preloaded.

#include "mainwindow.h"
#include "itemdata.h"
#include "recordingsession.h"
#include "rowwriter.h"

#include "simulatorprocess.h"
#include "common/windowaccess.h"
#include "reliability/eventloopwatch.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int DeviceCount = 8;
constexpr int WatchIntervalMs = 10;
constexpr double LongHoldMs = 100.0;

struct Run {
    qint64 startMs = 0;
    qint64 startHoldMs = 0;
    qint64 stopMs = 0;
    double longestHoldMs = 0.0;
    double longHoldShare = 0.0;
    double pollsPerDevice = 0.0;
    int rowsExpected = 0;
    int rowsPresent = 0;
    int rowsOutOfOrder = 0;
    int rowsOnDueSecond = 0;
    qint64 worstStampMs = 0;
    qint64 drainMs = 0;
};

// Checks one record file against the recording that started at `clockStart`:
// row i (from 0) fell due 2 + i seconds after it.
void checkFile(const QString &path, int rowsComposed, const QDateTime &clockStart, Run &run)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QList<QByteArray> lines = file.readAll().split('\n');
    run.rowsExpected += rowsComposed;
    int expectedNumber = 1;
    for (int i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).split(',');
        if (fields.size() != 6)
            continue;
        ++run.rowsPresent;
        const int number = fields.at(0).toInt();
        if (number != expectedNumber)
            ++run.rowsOutOfOrder;
        expectedNumber = number + 1;
        const QDateTime due = clockStart.addSecs(1 + number);
        const QDateTime stamp = QDateTime::fromString(QString::fromLatin1(fields.at(1)), "yyyy-MM-dd hh:mm:ss");
        const QDateTime dueSecond = QDateTime::fromSecsSinceEpoch(due.toSecsSinceEpoch());
        if (stamp == dueSecond)
            ++run.rowsOnDueSecond;
        run.worstStampMs = std::max(run.worstStampMs, qAbs(due.msecsTo(stamp)));
    }
}

Run record(const QString &port, const QString &folder, int seconds)
{
    Run run;
    MainWindow window;
    window.show();
    widget<QComboBox>(window, "cboxBaudRate")->setCurrentText(QStringLiteral("9600"));
    openPort(window, port);
    for (int address = 1; address <= DeviceCount; ++address)
        addDevice(window, address, QStringLiteral("KPa"), 3, 1);
    QStandardItemModel *devices = deviceModel(window);

    QDateTime clockStart;
    RecordingSession *session = recordingSession(window);
    QObject::connect(session, &RecordingSession::started, session,
                     [&clockStart] { clockStart = QDateTime::currentDateTime(); });
    QElapsedTimer starting;
    QElapsedTimer holding;
    starting.start();
    // From the folder's choice to Start's return: the window held by Start itself.
    clickStart(window, [&folder, &holding](QFileDialog *dialog) {
        chooseDirectory(dialog, folder);
        holding.start();
    });
    run.startMs = starting.elapsed();
    run.startHoldMs = holding.elapsed();

    quint32 pollsBefore = 0;
    for (int row = 0; row < DeviceCount; ++row)
        pollsBefore += readRecord(devices, row).totalCount;
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    EventLoopWatch holds(WatchIntervalMs, LongHoldMs);
    QElapsedTimer clock;
    clock.start();
    holds.restart();
    loop.exec();
    const double wallSeconds = double(clock.nsecsElapsed()) / 1e9;
    run.longestHoldMs = holds.longestHoldMs();
    run.longHoldShare = holds.longHoldsMs() / 1000.0 / wallSeconds;

    QElapsedTimer stopping;
    stopping.start();
    widget<QPushButton>(window, "btnStop")->click();
    run.stopMs = stopping.elapsed();
    quint32 pollsAfter = 0;
    for (int row = 0; row < DeviceCount; ++row)
        pollsAfter += readRecord(devices, row).totalCount;
    run.pollsPerDevice = double(pollsAfter - pollsBefore) / DeviceCount;

    QElapsedTimer draining;
    draining.start();
    waitForRecordWrites(window, 120000);
    run.drainMs = draining.elapsed();
    for (int row = 0; row < DeviceCount; ++row) {
        const ItemData device = readRecord(devices, row);
        checkFile(device.filePath, int(device.recordIndex), clockStart, run);
    }
    widget<QPushButton>(window, "btnOpen")->click();
    return run;
}

QStringList simulatorArguments()
{
    QStringList arguments{QStringLiteral("--baud"), QStringLiteral("9600")};
    for (int address = 1; address <= DeviceCount; ++address)
        arguments << QStringLiteral("--slave") << QStringLiteral("%1,pressure=wave:101325:500:7").arg(address);
    return arguments;
}

// Runs this program again with the slow-open library preloaded, delaying
// opens under a folder of its own; returns only on failure.
void preloadSlowOpen(char *argv[], const QByteArray &delayMs)
{
    const QByteArray slowDir = QFile::encodeName(QDir::tempPath())
        + "/velmora-recordbench-" + QByteArray::number(qint64(getpid()));
    setenv("LD_PRELOAD", VELMORA_SLOWOPEN_PATH, 1);
    setenv("VELMORA_SLOW_DIR", slowDir.constData(), 1);
    setenv("VELMORA_SLOW_OPEN_MS", delayMs.constData(), 1);
    execv("/proc/self/exe", argv);
    std::perror("velmora-recordbench: execv");
}

} // namespace

int main(int argc, char *argv[])
{
    const char *preloaded = std::getenv("LD_PRELOAD");
    if (!preloaded || !std::strstr(preloaded, VELMORA_SLOWOPEN_PATH)) {
        preloadSlowOpen(argv, argc > 2 ? QByteArray(argv[2]) : QByteArray("150"));
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    const int seconds = argc > 1 ? std::max(5, QString::fromLocal8Bit(argv[1]).toInt()) : 60;

    const QString slowDir = qEnvironmentVariable("VELMORA_SLOW_DIR");
    const QString fastDir = slowDir + QStringLiteral("-fast");
    QDir().mkpath(slowDir);
    QDir().mkpath(fastDir);

    std::printf("%d devices at 9600 baud, record period 1 s, %d s per run, opens under the slow folder +%s ms\n\n",
                DeviceCount, seconds, qPrintable(qEnvironmentVariable("VELMORA_SLOW_OPEN_MS")));
    std::printf("%-6s %8s %8s %9s %10s %10s %8s %10s %9s %12s %9s %8s\n", "folder", "Start", "Start", "longest",
                "holds", "polls/", "Stop", "rows", "out of", "on due", "worst", "drain");
    std::printf("%-6s %8s %8s %9s %10s %10s %8s %10s %9s %12s %9s %8s\n", "", "ms", "hold ms", "hold ms",
                ">100 ms", "device", "ms", "pres/exp", "order", "second", "stamp ms", "ms");
    int status = 0;
    for (const QString &folder : {fastDir, slowDir}) {
        SimulatorProcess sim(simulatorArguments());
        if (!sim.start()) {
            std::fprintf(stderr, "velmora-recordbench: velmora-sim did not start\n");
            status = 1;
            break;
        }
        const Run run = record(sim.devicePath(), folder, seconds);
        sim.stop();
        std::printf("%-6s %8lld %8lld %9.2f %10.4f %10.1f %8lld %5d/%-4d %9d %7d/%-4d %9lld %8lld\n",
                    folder == slowDir ? "slow" : "fast", static_cast<long long>(run.startMs),
                    static_cast<long long>(run.startHoldMs), run.longestHoldMs,
                    run.longHoldShare, run.pollsPerDevice, static_cast<long long>(run.stopMs), run.rowsPresent,
                    run.rowsExpected, run.rowsOutOfOrder, run.rowsOnDueSecond, run.rowsPresent,
                    static_cast<long long>(run.worstStampMs), static_cast<long long>(run.drainMs));
        std::fflush(stdout);
    }
    QDir(slowDir).removeRecursively();
    QDir(fastDir).removeRecursively();
    return status;
}
