// The certificates of a full bench's calibration: 32 devices of 0–100 KPa,
// class 0.25, 10 points each (5 nominal points rising and falling, errors of
// a few hundredths), handed to the report maker from the window's thread
// while its event loop runs. Prints the time until all are written, the
// longest a 10 ms timer fired late (the event loop held) and the files'
// sizes, median of three runs. Run it:
//   build/bench/velmora-calibrationbench
#include "calibrationcertificate.h"
#include "calibrationcertificates.h"
#include "reportmaker.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int Devices = 32;
constexpr int Repeats = 3;
constexpr int TickMs = 10;
const double Nominals[] = {0, 25, 50, 75, 100};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

DeviceCalibration makeDevice(int address)
{
    DeviceCalibration device;
    device.address = address;
    device.unit = QStringLiteral("KPa");
    device.decimals = 3;
    device.mapName = QStringLiteral("标准");
    device.settings.serialNumber = QStringLiteral("SN%1").arg(24000 + address);
    device.settings.model = QStringLiteral("PT-300");
    device.settings.tag = QStringLiteral("PT-%1").arg(100 + address);
    device.settings.rangeLow = 0.0;
    device.settings.rangeHigh = 100.0;
    device.settings.accuracy = 0.25;
    device.referenceAccuracy = 0.05;
    device.testUncertaintyRatio = 5.0;
    device.meanTemperature = 22.0 + 0.05 * address;
    device.passed = true;
    double largest = 0.0;
    for (int i = 0; i < 10; ++i) {
        PointOutcome point;
        point.pointIndex = i + 1;
        point.rising = i < 5;
        point.nominalPercent = Nominals[point.rising ? i : 9 - i];
        point.nominal = point.nominalPercent;
        point.reference = point.nominal + 0.003 * std::sin(address + i);
        point.hasValue = true;
        point.error = 0.02 * std::sin(0.7 * address + i) + (point.rising ? 0.0 : 0.015);
        point.indication = point.reference + point.error;
        point.errorPercentFs = point.error;
        point.permittedError = 0.25;
        point.expandedUncertainty = 0.031;
        point.count = 10;
        point.steady = true;
        point.passed = std::abs(point.error) <= point.permittedError;
        largest = std::max(largest, std::abs(point.error));
        device.points.append(point);
    }
    device.maxError = largest;
    device.maxErrorPercentFs = largest;
    device.hysteresisPercentFs = 0.03;
    return device;
}

CalibrationResult makePass()
{
    CalibrationResult pass;
    pass.station = QStringLiteral("bench-7");
    pass.line = QStringLiteral("/dev/ttyUSB0，9600，8N1");
    pass.operatorName = QStringLiteral("王磊");
    pass.ambientTemperature = 22.5;
    pass.ambientHumidity = 48;
    pass.start = QDateTime(QDate(2026, 12, 7), QTime(9, 0));
    pass.end = pass.start.addSecs(1800);
    pass.averagingMs = 10000;
    pass.nominalPercents = {0, 25, 50, 75, 100};
    pass.reference.address = 33;
    pass.reference.unit = QStringLiteral("KPa");
    pass.reference.name = QStringLiteral("数字压力校验仪");
    pass.reference.serialNumber = QStringLiteral("DPC-2043");
    pass.reference.certificate = QStringLiteral("JZ2026-04187");
    pass.reference.validUntil = QDate(2027, 3, 31);
    pass.reference.accuracy = 0.05;
    pass.reference.accuracyUnit = QStringLiteral("KPa");
    for (int address = 1; address <= Devices; ++address)
        pass.devices.append(makeDevice(address));
    return pass;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.reports.info=false"));
    const CalibrationResult pass = makePass();

    std::vector<double> writing, holds, medianSizes, totals;
    for (int repeat = 0; repeat < Repeats; ++repeat) {
        QTemporaryDir folder;
        ReportMaker maker;
        CalibrationCertificates certificates(&maker);
        // How late the 10 ms timer fires while the certificates are made.
        QElapsedTimer sinceTick;
        double latestMs = 0;
        const auto lateness = [&] {
            const double gapMs = sinceTick.nsecsElapsed() / 1e6;
            sinceTick.restart();
            return gapMs - TickMs;
        };
        QTimer ticks;
        ticks.setInterval(TickMs);
        ticks.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticks, &QTimer::timeout, [&] {
            latestMs = std::max(latestMs, lateness());
        });
        int written = 0;
        QObject::connect(&maker, &ReportMaker::written, [&] { ++written; });
        QObject::connect(&maker, &ReportMaker::failed, [&](const QString &, const QString &reason) {
            qFatal("certificate failed: %s", qPrintable(reason));
        });
        QElapsedTimer timer;
        timer.start();
        sinceTick.start();
        ticks.start();
        const QStringList paths = certificates.write(pass, folder.path());
        // The window's share: handing the certificates over.
        latestMs = std::max(latestMs, lateness());
        while (written < paths.size())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        writing.push_back(timer.elapsed() / 1000.0);
        holds.push_back(std::max(latestMs, 0.0));
        std::vector<double> sizes;
        for (const QString &path : paths)
            sizes.push_back(QFileInfo(path).size() / 1024.0);
        double total = 0;
        for (const double size : sizes)
            total += size;
        medianSizes.push_back(median(sizes));
        totals.push_back(total);
        std::printf("run %d: %d certificates written in %.2f s, event loop held at most %.1f ms, "
                    "%.0f KiB each (median), %.0f KiB in all\n",
                    repeat + 1, int(paths.size()), writing.back(), holds.back(), medianSizes.back(), total);
    }
    std::printf("median: %d certificates of %d points (%d page each) written in %.2f s, longest hold %.1f ms, "
                "%.0f KiB each, %.0f KiB in all\n",
                Devices, 10, calibrationCertificatePageCount(10), median(writing), median(holds),
                median(medianSizes), median(totals));
    return 0;
}
