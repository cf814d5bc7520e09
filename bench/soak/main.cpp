// velmora-soak: polls and records 16 simulated transmitters on one faulty line
// through the real window, pulling the line out and plugging it back every
// so often. Then holds what the window counted against what the line did,
// checks every record file row by row against the line's gaps and the
// devices' failed polls, and reports holds of the event loop, memory and file
// descriptors, and processor load. Exits 1 when a check fails; a crash ends
// it before the report, with the signal's status.
//
//   QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 velmora-soak [--minutes N] [--seed N] [--pull-every S] [--dir PATH]

#include "linepuller.h"
#include "soakchecks.h"
#include "soakline.h"
#include "soakreport.h"
#include "soakrun.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int DeviceCount = 16;
// A pull lasts up to 30 s and the window finds the line again up to 10 s
// after the plug: pulls closer together would overlap.
constexpr int ShortestPullEverySeconds = 45;

} // namespace

int main(int argc, char *argv[])
{
    const QApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Soak test of polling and recording on a faulty line."));
    parser.addHelpOption();
    const QCommandLineOption minutesOption("minutes", "Duration of the recording (default 30).", "N", "30");
    const QCommandLineOption seedOption("seed", "Seed of the simulator's faults and of the pulls (default 1).", "N",
                                        "1");
    const QCommandLineOption pullOption("pull-every",
                                        "Pull the line every S seconds for 10 to 30 s (default 120; 0: never).", "S",
                                        "120");
    const QCommandLineOption dirOption("dir", "Record into PATH and keep the files (default: a temporary directory).",
                                       "PATH");
    parser.addOptions({minutesOption, seedOption, pullOption, dirOption});
    parser.process(application);
    bool minutesOk = false;
    bool seedOk = false;
    bool pullOk = false;
    const double minutes = parser.value(minutesOption).toDouble(&minutesOk);
    const quint32 seed = parser.value(seedOption).toUInt(&seedOk);
    const int pullEvery = parser.value(pullOption).toInt(&pullOk);
    if (!minutesOk || minutes <= 0.0 || !seedOk || !pullOk
        || (pullEvery != 0 && pullEvery < ShortestPullEverySeconds)) {
        std::fprintf(stderr,
                     "velmora-soak: --minutes needs a positive number, --seed an unsigned integer, --pull-every 0 "
                     "or at least %d seconds\n",
                     ShortestPullEverySeconds);
        return 2;
    }

    const QTemporaryDir temporary;
    const QString directory = parser.isSet(dirOption) ? parser.value(dirOption) : temporary.path();
    // The directory dialog only takes a folder that exists.
    if (!QDir().mkpath(directory)) {
        std::fprintf(stderr, "velmora-soak: cannot create %s\n", qPrintable(directory));
        return 2;
    }
    const QList<SoakDevice> devices = soakDevices(DeviceCount);
    const qint64 runMs = qint64(minutes * 60000.0);
    const qint64 pullEveryMs = qint64(pullEvery) * 1000;
    const QString pulls = pullEvery ? QStringLiteral("line pulled every %1 s for 10–30 s (%2 pulls)")
                                          .arg(QString::number(pullEvery),
                                               QString::number(pullSchedule(pullEveryMs, runMs, seed).size()))
                                    : QStringLiteral("line never pulled");
    SoakReport report;
    report.info(QStringLiteral("velmora-soak: %1 devices at 9600 baud, %2 min, seed %3, %4, records in %5")
                    .arg(DeviceCount)
                    .arg(minutes)
                    .arg(seed)
                    .arg(pulls, directory));
    report.info(QStringLiteral("fault mix per device: %1").arg(soakFaultMix()));

    const SoakRun run = runSoak(devices, directory, seed, runMs, pullEveryMs);
    if (!run.failure.isEmpty()) {
        report.check(false, run.failure);
        return 1;
    }

    report.info(QStringLiteral("recorded for %1 s, polled for %2 s")
                    .arg(run.recordingSeconds, 0, 'f', 1)
                    .arg(run.wallSeconds, 0, 'f', 1));
    const qint64 gapMarginMs = reportLine(report, run);
    reportDevices(report, devices, run, gapMarginMs);
    reportProcess(report, run);
    report.info(QStringLiteral("%1 checks, %2 failed").arg(report.checks()).arg(report.failures()));
    return report.failures() == 0 ? 0 : 1;
}
