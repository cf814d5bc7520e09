// The verdict of a day-long recording of a full line: 247 devices polled once
// a second for 24 hours, summed up poll by poll as the readings come, then the
// summary composed and written. Run it:
//   build/bench/velmora-summarybench
#include "reading.h"
#include "alarmevaluation.h"
#include "alarmformat.h"
#include "runsummary.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int Devices = 247;
constexpr int Polls = 24 * 3600;
constexpr int Repeats = 15;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QDateTime start = QDateTime::currentDateTime();
    const qint64 startMs = start.toMSecsSinceEpoch();

    Limits limits;
    limits.pressureLow = 99.0;
    limits.pressureHigh = 101.0;
    limits.pressureDeadband = 0.1;

    // A slow wave that leaves the band at its peaks, and a failed poll in fifty.
    std::vector<DeviceRunSummary> summaries;
    summaries.reserve(Devices);
    std::vector<int> active(Devices, 0);
    for (int device = 0; device < Devices; ++device)
        summaries.emplace_back(device + 1, QStringLiteral("KPa"), 3, 0, startMs);
    Reading reading;
    reading.unit = QStringLiteral("KPa");
    QElapsedTimer feeding;
    feeding.start();
    qint64 events = 0;
    for (int poll = 0; poll < Polls; ++poll) {
        reading.time = QDateTime::fromMSecsSinceEpoch(startMs + qint64(poll) * 1000);
        for (int device = 0; device < Devices; ++device) {
            reading.address = device + 1;
            reading.answered = (poll + device) % 50 != 0;
            reading.pressure = 100.0 + 1.2 * std::sin((poll + device * 7) / 600.0);
            reading.temperature = 20.0 + 0.01 * device;
            if (reading.answered) {
                const AlarmEvaluation result
                    = evaluateLimits(limits, active[device], reading.pressure, reading.temperature);
                active[device] = result.active;
                events += result.events.size();
            }
            summaries[device].add(reading, active[device]);
        }
    }
    const double perPollNs = double(feeding.nsecsElapsed()) / (double(Polls) * Devices);

    QTemporaryDir folder;
    const QString path = folder.filePath(summaryFileName(start));
    std::vector<double> writing;
    for (int repeat = 0; repeat < Repeats; ++repeat) {
        QElapsedTimer timer;
        timer.start();
        QString rows = summaryHeader();
        for (DeviceRunSummary summary : summaries) {
            summary.finish(startMs + qint64(Polls) * 1000);
            rows += summary.row();
        }
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(rows.toUtf8()) < 0)
            return 1;
        file.close();
        writing.push_back(double(timer.nsecsElapsed()) / 1e6);
    }

    std::printf("%d devices x %d polls: %lld alarm events, %.0f ns per poll (evaluation and summary)\n", Devices,
                Polls, events, perPollNs);
    std::printf("summary composed and written: median %.2f ms of %d (limit 100 ms, %.0fx inside)\n",
                median(writing), Repeats, 100.0 / median(writing));
    return 0;
}
