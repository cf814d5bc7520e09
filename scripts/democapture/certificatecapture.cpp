// Draws the certificate of one device of a made-up but plausible calibration
// pass (0–100 KPa, class 0.25, five points rising and falling against a
// listed reference) and saves its first page as a picture with pdftoppm.
// Used to make the README's picture:
//   build/scripts/democapture/velmora-certificatecapture --output docs/certificate.png
#include "calibrationcertificate.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

namespace {

// The errors a good transmitter shows, in KPa: rising a little low at the
// top, falling a little high, as a slight hysteresis does.
const double Nominals[] = {0, 25, 50, 75, 100, 75, 50, 25, 0};
const double References[] = {0.002, 25.004, 49.998, 75.011, 100.006, 75.003, 49.994, 25.008, -0.001};
const double Errors[] = {0.012, 0.025, 0.031, 0.018, -0.014, 0.047, 0.062, 0.051, 0.029};
const double Deviations[] = {0.004, 0.005, 0.004, 0.006, 0.005, 0.005, 0.004, 0.006, 0.004};

DeviceCalibration makeDevice(double referenceAccuracy)
{
    DeviceCalibration device;
    device.address = 4;
    device.unit = QStringLiteral("KPa");
    device.decimals = 2;
    device.mapName = QStringLiteral("标准");
    device.settings.serialNumber = QStringLiteral("PT24-08817");
    device.settings.model = QStringLiteral("PT-300");
    device.settings.tag = QStringLiteral("PT-104");
    device.settings.rangeLow = 0.0;
    device.settings.rangeHigh = 100.0;
    device.settings.accuracy = 0.25;
    const double span = 100.0;
    const double permitted = device.settings.permittedError();
    const QDateTime first(QDate(2026, 12, 7), QTime(9, 12, 40));
    device.maxError = 0.0;
    device.hysteresisPercentFs = 0.0;
    for (int i = 0; i < 9; ++i) {
        PointOutcome point;
        point.time = first.addSecs(i * 95);
        point.address = device.address;
        point.pointIndex = i + 1;
        point.rising = i < 5;
        point.nominalPercent = Nominals[i];
        point.nominal = Nominals[i];
        point.reference = References[i];
        point.hasValue = true;
        point.error = Errors[i];
        point.indication = point.reference + point.error;
        point.errorPercentFs = point.error / span * 100.0;
        point.permittedError = permitted;
        point.standardDeviation = Deviations[i];
        // The reference as a rectangular distribution, the two means' spreads over ten readings.
        const double reference = referenceAccuracy / std::sqrt(3.0);
        point.expandedUncertainty
            = 2.0 * std::sqrt(reference * reference + 2.0 * Deviations[i] * Deviations[i] / 10.0);
        point.count = 10;
        point.steady = true;
        point.passed = std::abs(point.error) <= permitted;
        point.temperature = 22.6 + 0.05 * i;
        device.points.append(point);
        if (std::abs(point.error) > std::abs(device.maxError))
            device.maxError = point.error;
        if (!point.rising) {
            const double rising = Errors[8 - i];
            device.hysteresisPercentFs
                = std::max(device.hysteresisPercentFs, std::abs(point.error - rising) / span * 100.0);
        }
    }
    device.maxErrorPercentFs = device.maxError / span * 100.0;
    device.referenceAccuracy = referenceAccuracy;
    device.testUncertaintyRatio = permitted / referenceAccuracy;
    device.meanTemperature = 22.8;
    device.passed = true;
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
    pass.start = QDateTime(QDate(2026, 12, 7), QTime(9, 10, 0));
    pass.end = QDateTime(QDate(2026, 12, 7), QTime(9, 27, 31));
    pass.averagingMs = 10000;
    pass.nominalPercents = {0, 25, 50, 75, 100};
    pass.reference.address = 9;
    pass.reference.unit = QStringLiteral("KPa");
    pass.reference.name = QStringLiteral("数字压力校验仪");
    pass.reference.serialNumber = QStringLiteral("DPC-2043");
    pass.reference.certificate = QStringLiteral("JZ2026-04187");
    pass.reference.validUntil = QDate(2027, 3, 31);
    pass.reference.accuracy = 0.05;
    pass.reference.accuracyUnit = QStringLiteral("KPa");
    pass.devices = {makeDevice(pass.reference.accuracy)};
    return pass;
}

int fail(const char *message)
{
    std::fprintf(stderr, "certificatecapture: %s\n", message);
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption outputOption("output", "Picture of the first page to write (PNG).", "FILE");
    const QCommandLineOption pdfOption("pdf", "Also keep the certificate itself here.", "FILE");
    parser.addOptions({outputOption, pdfOption});
    parser.process(application);
    if (!parser.isSet(outputOption) || !parser.value(outputOption).endsWith(QLatin1String(".png")))
        return fail("--output FILE.png is required");

    QTemporaryDir folder;
    const QString pdf = parser.isSet(pdfOption) ? parser.value(pdfOption)
                                                : folder.filePath(QStringLiteral("certificate.pdf"));
    QSaveFile file(pdf);
    const std::atomic<bool> cancel{false};
    if (!file.open(QIODevice::WriteOnly) || !writeCalibrationCertificate(makePass(), 0, &file, cancel)
        || !file.commit())
        return fail("the certificate could not be written");

    QString output = parser.value(outputOption);
    output.chop(4);
    QProcess pdftoppm;
    pdftoppm.start(QStringLiteral("pdftoppm"), {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("80"),
                                                QStringLiteral("-singlefile"), QStringLiteral("-f"),
                                                QStringLiteral("1"), pdf, output});
    if (!pdftoppm.waitForFinished(30000) || pdftoppm.exitStatus() != QProcess::NormalExit || pdftoppm.exitCode() != 0)
        return fail("pdftoppm did not make the picture");
    return 0;
}
