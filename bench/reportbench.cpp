// The report of a day-long run of a full bench: 32 devices recorded once a
// second for 24 hours (record files made here, in the record files' format,
// with a failed poll in fifty and a slow wave that leaves the band at its
// peaks), drawn by the report maker on its thread while the window's event
// loop runs. Prints the time to write, the longest the event loop was held
// and the file's size, median of three runs. Run it:
//   build/bench/velmora-reportbench
#include "alarmevaluation.h"
#include "alarmformat.h"
#include "devicelimits.h"
#include "itemdata.h"
#include "reading.h"
#include "recordformat.h"
#include "reportmaker.h"
#include "runreport.h"
#include "timeformat.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int Devices = 32;
constexpr int Rows = 24 * 3600;
constexpr int Repeats = 3;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Makes the record files and the alarm log and sums the run up as the
// verdict does, poll by poll.
RunReportData makeRun(const QString &folder)
{
    RunReportData data;
    data.station = QStringLiteral("bench-7");
    data.line = QStringLiteral("/dev/ttyUSB0，9600，8N1");
    data.start = QDateTime(QDate(2026, 12, 1), QTime(8, 0));
    data.end = data.start.addSecs(Rows);
    data.outcome.runMs = qint64(Rows) * 1000;
    data.alarmLogPath = QDir(folder).filePath(alarmLogFileName(data.start));

    Limits limits;
    limits.pressureLow = 99.0;
    limits.pressureHigh = 101.0;
    limits.pressureDeadband = 0.1;
    QFile log(data.alarmLogPath);
    if (!log.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(data.alarmLogPath));
    log.write(alarmLogHeader().toUtf8());

    const qint64 startMs = data.start.toMSecsSinceEpoch();
    for (int device = 0; device < Devices; ++device) {
        ItemData record;
        record.address = quint8(device + 1);
        record.unit = QStringLiteral("KPa");
        record.decimals = 3;
        record.recordPeriod = 1;
        const QString path = folder + recordFileName(record.address, data.start);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        QByteArray rows = recordHeader().toUtf8();
        DeviceRunSummary summary(device + 1, record.unit, record.decimals, 0, startMs);
        int active = 0;
        Reading reading;
        reading.address = device + 1;
        reading.unit = record.unit;
        reading.decimals = record.decimals;
        for (int row = 0; row < Rows; ++row) {
            const QDateTime at = QDateTime::fromMSecsSinceEpoch(startMs + qint64(row) * 1000);
            reading.time = at;
            reading.answered = (row + device) % 50 != 0;
            reading.pressure = 100.0 + 1.2 * std::sin((row + device * 7) / 600.0);
            reading.temperature = 20.0 + 3.0 * std::sin(row / 7200.0) + 0.01 * device;
            record.recordIndex = quint32(row + 1);
            record.pressureText = QString::number(reading.pressure, 'f', 3);
            record.temperatureText = QString::number(reading.temperature, 'f', 1);
            rows += recordRow(record, at, reading.answered).toUtf8();
            if (reading.answered) {
                const AlarmEvaluation result = evaluateLimits(limits, active, reading.pressure, reading.temperature);
                active = result.active;
                for (const AlarmEvent &event : result.events)
                    log.write(alarmLogRow(at, device + 1, event, record.unit, record.decimals).toUtf8());
            }
            summary.add(reading, active);
        }
        summary.finish(data.end.toMSecsSinceEpoch());
        file.write(rows);
        data.outcome.devices.append(summary);
        data.devices.append({device + 1, record.unit, record.decimals, 1, QStringLiteral("标准"), limits, path});
    }
    return data;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir folder;
    QElapsedTimer making;
    making.start();
    const RunReportData data = makeRun(folder.path());
    std::printf("record files: %d devices x %d rows made in %.1f s\n", Devices, Rows, making.elapsed() / 1000.0);

    std::vector<double> writing, holds, sizes;
    for (int repeat = 0; repeat < Repeats; ++repeat) {
        const QString path = folder.filePath(QStringLiteral("报告__%1.pdf").arg(repeat));
        ReportMaker maker;
        // The event loop's longest gap between 5 ms ticks while the report is made.
        QElapsedTimer sinceTick;
        qint64 longestMs = 0;
        QTimer ticks;
        ticks.setInterval(5);
        QObject::connect(&ticks, &QTimer::timeout, [&] {
            longestMs = std::max(longestMs, sinceTick.restart());
        });
        bool done = false;
        QObject::connect(&maker, &ReportMaker::written, [&] { done = true; });
        QObject::connect(&maker, &ReportMaker::failed, [&](const QString &, const QString &reason) {
            qFatal("report failed: %s", qPrintable(reason));
        });
        QElapsedTimer timer;
        timer.start();
        sinceTick.start();
        ticks.start();
        // Taken as the window takes it: the run's data copied into the drawing.
        maker.write(path, [data](QIODevice *device, const std::atomic<bool> &cancel) {
            return writeRunReport(data, device, cancel);
        });
        longestMs = std::max(longestMs, sinceTick.restart());
        while (!done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        writing.push_back(timer.elapsed() / 1000.0);
        holds.push_back(double(longestMs));
        sizes.push_back(QFileInfo(path).size() / 1024.0);
        std::printf("run %d: written in %.2f s, event loop held at most %lld ms, %.0f KiB\n", repeat + 1,
                    writing.back(), longestMs, sizes.back());
    }
    std::printf("median: written in %.2f s, longest hold %.0f ms, %.0f KiB for %d pages\n", median(writing),
                median(holds), median(sizes), runReportPageCount(Devices));
    return 0;
}
