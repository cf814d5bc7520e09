// velmora-soak: polls and records 16 simulated transmitters on one faulty line
// through the real window, then holds what the window counted against what
// the line did, checks every record file row by row, and reports the longest
// stall of the event loop, memory growth and processor load. Exits 1 when a
// check fails; a crash ends it before the report, with the signal's status.
//
//   QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 velmora-soak [--minutes N] [--seed N] [--dir PATH]

#include "recordcheck.h"
#include "soakline.h"
#include "soakreport.h"
#include "soakrun.h"

#include "simulatorprocess.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int DeviceCount = 16;
// A silent device holds the window for the 1 s response time-out; the rest
// is slack for timer granularity and a busy machine.
constexpr qint64 StallLimitMs = 2000;
constexpr double GrowthLimitMiB = 8.0;

double mebibytes(qint64 kibibytes)
{
    return double(kibibytes) / 1024.0;
}

qint64 lineValue(const QJsonObject &stats, int address, const char *key)
{
    return qint64(SimulatorProcess::slaveStats(stats, address).value(QLatin1String(key)).toDouble(-1));
}

// Rows a device of record period `period` is due to have written after
// `seconds` of recording: at 2, 2 + p, 2 + 2p, ... seconds after Start.
int rowsDue(double seconds, int period)
{
    return seconds < 2.0 ? 0 : int((seconds - 2.0) / period) + 1;
}

void reportDevices(SoakReport &report, const QList<SoakDevice> &devices, const SoakRun &run)
{
    report.info(QStringLiteral("addr period   polls failed  fail%   requests answers  fail%   rows    due"));
    bool countsMatch = true;
    bool ownReadings = true;
    bool rowsWellFormed = true;
    bool rowsAllWritten = true;
    for (int i = 0; i < devices.size(); ++i) {
        const SoakDevice &device = devices.at(i);
        const ItemData &record = run.records.at(i);
        const qint64 requests = lineValue(run.lineStats, device.address, "requests");
        const qint64 answers = lineValue(run.lineStats, device.address, "answers");
        const RecordFileCheck file = checkRecordFile(record.filePath, QStringLiteral("KPa"), device.pressureText,
                                                     device.temperatureText);
        report.info(QString::asprintf("%4d %6d %7u %6u %5.1f%% %10lld %7lld %5.1f%% %6d %6d", device.address,
                                      device.recordPeriod, record.totalCount, record.failCount,
                                      record.totalCount ? 100.0 * record.failCount / record.totalCount : 0.0,
                                      static_cast<long long>(requests), static_cast<long long>(answers),
                                      requests ? 100.0 * (requests - answers) / requests : 0.0,
                                      file.rows, rowsDue(run.wallSeconds, device.recordPeriod)));
        for (const QString &problem : file.problems)
            report.info(QStringLiteral("     %1").arg(problem));

        countsMatch = countsMatch && record.totalCount == requests && record.failCount == requests - answers;
        const QSet<QPair<QString, QString>> own{{device.pressureText, device.temperatureText}};
        ownReadings = ownReadings && run.readings.value(device.address) == own;
        rowsWellFormed = rowsWellFormed && file.badRows == 0 && file.rows > 0;
        rowsAllWritten = rowsAllWritten && int(record.recordIndex) == file.rows;
    }
    report.check(countsMatch, QStringLiteral("the window's polls and failures equal the line's requests and "
                                             "requests without an answer, device by device"));
    report.check(ownReadings, QStringLiteral("every device showed its own readings and never another's"));
    report.check(rowsWellFormed, QStringLiteral("every record file has its header and only well-formed rows: five "
                                                "commas, sequence numbers from 1 with none lost or merged, valid "
                                                "time stamps, own readings"));
    report.check(rowsAllWritten, QStringLiteral("every row counted by the writer reached its file"));
}

} // namespace

int main(int argc, char *argv[])
{
    const QApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Soak test of polling and recording on a faulty line."));
    parser.addHelpOption();
    const QCommandLineOption minutesOption("minutes", "Duration of the recording (default 30).", "N", "30");
    const QCommandLineOption seedOption("seed", "Seed of the simulator's faults (default 1).", "N", "1");
    const QCommandLineOption dirOption("dir", "Record into PATH and keep the files (default: a temporary directory).",
                                       "PATH");
    parser.addOptions({minutesOption, seedOption, dirOption});
    parser.process(application);
    bool minutesOk = false;
    bool seedOk = false;
    const double minutes = parser.value(minutesOption).toDouble(&minutesOk);
    const quint32 seed = parser.value(seedOption).toUInt(&seedOk);
    if (!minutesOk || minutes <= 0.0 || !seedOk) {
        std::fputs("velmora-soak: --minutes needs a positive number, --seed an unsigned integer\n", stderr);
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
    SoakReport report;
    report.info(QStringLiteral("velmora-soak: %1 devices at 9600 baud, %2 min, seed %3, records in %4")
                    .arg(DeviceCount)
                    .arg(minutes)
                    .arg(seed)
                    .arg(directory));
    report.info(QStringLiteral("fault mix per device: %1").arg(soakFaultMix()));

    const SoakRun run = runSoak(devices, directory, seed, qint64(minutes * 60000.0));
    if (!run.failure.isEmpty()) {
        report.check(false, run.failure);
        return 1;
    }

    report.info(QStringLiteral("polled and recorded for %1 s").arg(run.wallSeconds, 0, 'f', 1));
    report.check(run.longestStallMs <= StallLimitMs,
                 QStringLiteral("no hang: longest stall of the event loop %1 ms (limit %2 ms), %3 ticks of 100 ms")
                     .arg(run.longestStallMs)
                     .arg(StallLimitMs)
                     .arg(run.ticks));
    reportDevices(report, devices, run);

    const double growth = mebibytes(run.residentAtEndKiB - run.residentFirstKiB);
    report.check(run.residentFirstKiB > 0 && run.residentAtEndKiB > 0 && growth <= GrowthLimitMiB,
                 QStringLiteral("resident memory %1 MiB after %2 s, %3 MiB at the end: %4%5 MiB (limit %6 MiB)")
                     .arg(mebibytes(run.residentFirstKiB), 0, 'f', 1)
                     .arg(run.residentSampleSeconds)
                     .arg(mebibytes(run.residentAtEndKiB), 0, 'f', 1)
                     .arg(growth >= 0.0 ? "+" : "")
                     .arg(growth, 0, 'f', 2)
                     .arg(GrowthLimitMiB, 0, 'f', 0));
    report.info(QStringLiteral("processor: %1 s over %2 s of wall time, %3 CPU s per wall s")
                    .arg(run.cpuSeconds, 0, 'f', 1)
                    .arg(run.wallSeconds, 0, 'f', 1)
                    .arg(run.cpuSeconds / run.wallSeconds, 0, 'f', 3));
    report.info(QStringLiteral("%1 checks, %2 failed").arg(report.checks()).arg(report.failures()));
    return report.failures() == 0 ? 0 : 1;
}
