#include "calibrationcertificate.h"
#include "calibrationcertificates.h"
#include "calibrationfiles.h"
#include "common/pdftext.h"
#include "reportmaker.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

enum class PassKind { ListedReference, TypedReference, LongTable };

// One row of a device's table, filled as the pass would, but by hand.
PointOutcome point(int index, double nominal, bool rising, double reference, double indication, double error,
                   double errorPercentFs, double permitted, double uncertainty, bool passed)
{
    PointOutcome outcome;
    outcome.pointIndex = index;
    outcome.nominal = nominal;
    outcome.rising = rising;
    outcome.reference = reference;
    outcome.hasValue = std::isfinite(indication);
    outcome.indication = indication;
    outcome.error = error;
    outcome.errorPercentFs = errorPercentFs;
    outcome.permittedError = permitted;
    outcome.expandedUncertainty = uncertainty;
    outcome.count = outcome.hasValue ? 10 : 2;
    outcome.steady = outcome.hasValue;
    outcome.passed = passed;
    return outcome;
}

CalibrationSettings settings(const QString &serial, double low, double high, double accuracy)
{
    CalibrationSettings result;
    result.serialNumber = serial;
    result.model = QStringLiteral("PT-300");
    result.tag = QStringLiteral("PT-101");
    result.rangeLow = low;
    result.rangeHigh = high;
    result.accuracy = accuracy;
    return result;
}

// Address 3, 0–100 KPa, class 0.25: permitted 0.25 KPa. Errors in KPa are %FS
// too (span 100). Hysteresis per nominal point, |rising − falling|:
// 0 → 0.013, 25 → 0.022, 50 → 0.031, 75 → 0.031: 0.031 %FS. Largest error
// 0.069 (point 7). TUR 0.25 ÷ 0.05 = 5.00.
DeviceCalibration passingDevice()
{
    DeviceCalibration device;
    device.address = 3;
    device.unit = QStringLiteral("KPa");
    device.decimals = 2;
    device.mapName = QStringLiteral("标准");
    device.settings = settings(QStringLiteral("P3-2201"), 0, 100, 0.25);
    device.points = {point(1, 0, true, 0.004, 0.010, 0.006, 0.006, 0.25, 0.031, true),
                     point(2, 25, true, 25.010, 25.030, 0.020, 0.020, 0.25, 0.031, true),
                     point(3, 50, true, 50.002, 50.040, 0.038, 0.038, 0.25, 0.031, true),
                     point(4, 75, true, 75.012, 75.030, 0.018, 0.018, 0.25, 0.031, true),
                     point(5, 100, true, 99.995, 100.020, 0.025, 0.025, 0.25, 0.031, true),
                     point(6, 75, false, 75.020, 75.069, 0.049, 0.049, 0.25, 0.031, true),
                     point(7, 50, false, 49.990, 50.059, 0.069, 0.069, 0.25, 0.031, true),
                     point(8, 25, false, 24.998, 25.040, 0.042, 0.042, 0.25, 0.031, true),
                     point(9, 0, false, 0.001, 0.020, 0.019, 0.019, 0.25, 0.031, true)};
    device.maxError = 0.069;
    device.maxErrorPercentFs = 0.069;
    device.hysteresisPercentFs = 0.031;
    device.referenceAccuracy = 0.05;
    device.testUncertaintyRatio = 5.0;
    device.meanTemperature = 22.84;
    device.passed = true;
    return device;
}

// Address 7, 0–1.6 MPa, class 0.5: permitted 0.008 MPa. Errors 0.002 rising
// (0.002 ÷ 1.6 × 100 = 0.125 %FS) and 0.004 falling (0.250 %FS); at 100 %
// rising only two readings came: no value, so the device fails.
// Hysteresis 0.125 %FS; TUR 0.008 ÷ 0.004 = 2.00, below 4.
DeviceCalibration failingDevice()
{
    DeviceCalibration device;
    device.address = 7;
    device.unit = QStringLiteral("MPa");
    device.decimals = 3;
    device.mapName = QStringLiteral("双字浮点");
    device.settings = settings(QStringLiteral("M7-0457"), 0, 1.6, 0.5);
    const double nominals[] = {0, 0.4, 0.8, 1.2, 1.6, 1.2, 0.8, 0.4, 0};
    for (int i = 0; i < 9; ++i) {
        const bool rising = i < 5;
        const double error = rising ? 0.002 : 0.004;
        device.points.append(point(i + 1, nominals[i], rising, nominals[i], nominals[i] + error, error,
                                   rising ? 0.125 : 0.25, 0.008, 0.0046, true));
    }
    device.points[4] = point(5, 1.6, true, 1.6012, NaN, NaN, NaN, 0.008, NaN, false);
    device.maxError = 0.004;
    device.maxErrorPercentFs = 0.25;
    device.hysteresisPercentFs = 0.125;
    device.referenceAccuracy = 0.004;
    device.testUncertaintyRatio = 2.0;
    device.passed = false;
    return device;
}

// Address 12, 0–100 KPa, 11 nominal points: 22 rows, more than a page holds
// with the plot. Falling it never answered: no hysteresis, and it fails.
DeviceCalibration longDevice()
{
    DeviceCalibration device = passingDevice();
    device.address = 12;
    device.points.clear();
    for (int i = 0; i < 22; ++i) {
        const bool rising = i < 11;
        const double nominal = rising ? 10.0 * i : 10.0 * (21 - i);
        device.points.append(rising
                                 ? point(i + 1, nominal, true, nominal, nominal + 0.01, 0.01, 0.01, 0.25, 0.031, true)
                                 : point(i + 1, nominal, false, nominal, NaN, NaN, NaN, 0.25, NaN, false));
    }
    device.hysteresisPercentFs = NaN;
    device.maxError = 0.01;
    device.maxErrorPercentFs = 0.01;
    device.passed = false;
    return device;
}

CalibrationResult makePass(PassKind kind)
{
    CalibrationResult pass;
    pass.station = QStringLiteral("bench-7");
    pass.line = QStringLiteral("/dev/ttyUSB0，9600，8N1");
    pass.operatorName = QStringLiteral("张伟");
    pass.ambientTemperature = 23.5;
    pass.start = QDateTime(QDate(2026, 12, 7), QTime(13, 40, 0));
    pass.end = QDateTime(QDate(2026, 12, 7), QTime(14, 30, 5));
    pass.averagingMs = 10000;
    pass.nominalPercents = {0, 25, 50, 75, 100};
    ReferenceInstrument &reference = pass.reference;
    if (kind == PassKind::TypedReference) {
        reference.unit = QStringLiteral("MPa");
        reference.name = QStringLiteral("活塞式压力计");
        reference.serialNumber = QStringLiteral("HS-6-118");
        reference.certificate = QStringLiteral("JD2025-3390");
        reference.validUntil = QDate(2026, 11, 30);
        reference.accuracy = 0.004;
        reference.accuracyUnit = QStringLiteral("MPa");
    } else {
        reference.address = 9;
        reference.unit = QStringLiteral("KPa");
        reference.name = QStringLiteral("数字压力校验仪");
        reference.serialNumber = QStringLiteral("DPC-2043");
        reference.certificate = QStringLiteral("JZ2026-04187");
        reference.validUntil = QDate(2027, 3, 31);
        reference.accuracy = 0.05;
        reference.accuracyUnit = QStringLiteral("KPa");
        pass.ambientHumidity = 45;
    }
    if (kind == PassKind::LongTable) {
        pass.nominalPercents = {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
        pass.devices = {longDevice()};
    } else {
        pass.devices = {passingDevice(), failingDevice()};
    }
    return pass;
}

// Empty when `text` holds `wanted`, whose fields, apart by '¦', are cells of one row.
QString missing(const QString &text, const QString &wanted)
{
    return holdsRow(text, wanted.split(QChar(0x00A6))) ? QString()
                                                          : QStringLiteral("missing \"%1\" in:\n%2").arg(wanted, text);
}

} // namespace

class TestCalibrationCertificate : public QObject
{
    Q_OBJECT

private slots:
    void certificateText_data();
    void certificateText();
    void onePerDeviceThroughTheMaker();
};

void TestCalibrationCertificate::certificateText_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("device");
    // On the first page / on the last page; '¦' parts cells of one row.
    QTest::addColumn<QStringList>("first");
    QTest::addColumn<QStringList>("last");
    QTest::addColumn<QStringList>("absent");
    // A row of the points' table, on the page that holds it.
    QTest::addColumn<int>("rowPage");
    QTest::addColumn<QStringList>("row");
    QTest::addColumn<int>("pages");

    // The pass ended 2026-12-07 14:30:05 at bench-7: number bench-7-20261207143005-<address>.
    // Point 7 of device 3, to 2 + 2 places: 50.0000 下行 49.9900 50.0590 0.0690, 0.069 %FS.
    QTest::newRow("passing, listed reference")
        << int(PassKind::ListedReference) << 0
        << QStringList{"校准证书", "bench-7-20261207143005-3", "2026-12-07 14:30:05", "操作员¦张伟",
                       "与参考表比较，5 个名义点，上行与下行，每点平均 10 秒", "证书编号¦JZ2026-04187¦有效期至¦2027-03-31",
                       "± 0.05 KPa", "地址 9", "23.5 ℃", "45 %RH", "变送器平均温度¦22.8 ℃", "P3-2201",
                       "0 – 100 KPa", "0.25 %FS",
                       "最大误差：0.0690 KPa（0.069 %FS）；回差：0.031 %FS；测试不确定度比：5.00",
                       "各点 |误差| ≤ 允许误差 时判为合格", "结论：合格", "第 1 页，共 1 页", "上行", "下行"}
        << QStringList{}
        << QStringList{"测试不确定度比低于 4", "已过期", "人工输入", "结论：不合格", "无读数"}
        << 0 << QStringList{"7", "50.0000", "下行", "49.9900", "50.0590", "0.0690", "0.069", "0.2500", "0.0310",
                            "10", "是", "合格"}
        << 1;
    // Point 5 of device 7 had no value: 1.6000 上行 1.6012 无读数, dashes, 2 readings, not steady.
    // Humidity not typed: a dash.
    QTest::newRow("failing, typed and expired reference")
        << int(PassKind::TypedReference) << 1
        << QStringList{"bench-7-20261207143005-7", "JD2025-3390", "2026-11-30（已过期）", "人工输入", "± 0.004 MPa",
                       "环境湿度¦—", "M7-0457", "0 – 1.6 MPa", "0.5 %FS", "回差：0.125 %FS", "测试不确定度比：2.00",
                       "测试不确定度比低于 4", "结论：不合格"}
        << QStringList{}
        << QStringList{"结论：合格", "地址 9"}
        << 0 << QStringList{"5", "1.60000", "上行", "1.60120", "无读数", "—", "—", "0.00800", "—", "2", "否", "不合格"}
        << 1;
    // 22 rows: the table fills page 1 and the closing lines and the plot go to page 2,
    // where 上行 and 下行 are the legend's; the x axis 0–100 on steps of 20.
    QTest::newRow("long table, no hysteresis")
        << int(PassKind::LongTable) << 0
        << QStringList{"bench-7-20261207143005-12", "11 个名义点", "第 1 页，共 2 页"}
        << QStringList{"回差：—", "结论：不合格", "第 2 页，共 2 页", "上行¦下行", "+0.25 %FS", "−0.25 %FS",
                       "0¦20¦40¦60¦80¦100", "参考值（KPa）"}
        << QStringList{"回差：0."}
        << 0 << QStringList{"22", "0.0000", "下行", "0.0000", "无读数", "—", "—", "0.2500", "—", "2", "否", "不合格"}
        << 2;
}

void TestCalibrationCertificate::certificateText()
{
    QFETCH(int, kind);
    QFETCH(int, device);
    QFETCH(QStringList, first);
    QFETCH(QStringList, last);
    QFETCH(QStringList, absent);
    QFETCH(int, rowPage);
    QFETCH(QStringList, row);
    QFETCH(int, pages);

    const CalibrationResult pass = makePass(PassKind(kind));
    QCOMPARE(calibrationCertificatePageCount(pass.devices.at(device).points.size()), pages);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("certificate.pdf"));
    QSaveFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    const std::atomic<bool> cancel{false};
    QVERIFY(writeCalibrationCertificate(pass, device, &file, cancel));
    QVERIFY(file.commit());

    const QStringList text = pdfPages(path);
    QCOMPARE(text.size(), pages);
    for (const QString &wanted : first)
        QVERIFY2(missing(text.first(), wanted).isEmpty(), qPrintable(missing(text.first(), wanted)));
    for (const QString &wanted : last)
        QVERIFY2(missing(text.last(), wanted).isEmpty(), qPrintable(missing(text.last(), wanted)));
    const QString all = text.join(QLatin1Char('\f'));
    for (const QString &unwanted : absent)
        QVERIFY2(!all.contains(extracted(unwanted)), qPrintable(unwanted));
    QVERIFY2(holdsRow(text.at(rowPage), row), qPrintable(text.at(rowPage)));
}

void TestCalibrationCertificate::onePerDeviceThroughTheMaker()
{
    const CalibrationResult pass = makePass(PassKind::ListedReference);
    QTemporaryDir folder;
    ReportMaker maker;
    CalibrationCertificates certificates(&maker);
    QCOMPARE(certificates.maker(), &maker);
    QSignalSpy written(&maker, &ReportMaker::written);
    QSignalSpy failed(&maker, &ReportMaker::failed);

    const QStringList paths = certificates.write(pass, folder.path());
    // Devices 3 and 7, issued at the pass's end.
    const QStringList expected{folder.filePath(QStringLiteral("校准证书__3__2026_12_07_14_30_05.pdf")),
                               folder.filePath(QStringLiteral("校准证书__7__2026_12_07_14_30_05.pdf"))};
    QCOMPARE(paths, expected);
    QTRY_COMPARE_WITH_TIMEOUT(written.size(), 2, 30000);
    QCOMPARE(failed.size(), 0);
    QStringList writtenPaths{written.at(0).at(0).toString(), written.at(1).at(0).toString()};
    writtenPaths.sort();
    QCOMPARE(writtenPaths, expected);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), 2);
    // Each file is its own device's certificate.
    QVERIFY(pdfPages(expected.at(0)).value(0).contains(QStringLiteral("bench-7-20261207143005-3")));
    QVERIFY(pdfPages(expected.at(1)).value(0).contains(QStringLiteral("bench-7-20261207143005-7")));

    // A maker of its own when none is handed in.
    CalibrationCertificates own;
    QVERIFY(own.maker() != nullptr);
    QSignalSpy ownWritten(own.maker(), &ReportMaker::written);
    const QString other = folder.filePath(QStringLiteral("other"));
    QVERIFY(QDir().mkpath(other));
    QCOMPARE(own.write(makePass(PassKind::LongTable), other),
             QStringList{QDir(other).filePath(QStringLiteral("校准证书__12__2026_12_07_14_30_05.pdf"))});
    QTRY_COMPARE_WITH_TIMEOUT(ownWritten.size(), 1, 30000);
    QVERIFY(QFileInfo::exists(ownWritten.at(0).at(0).toString()));
}

QTEST_MAIN(TestCalibrationCertificate)

#include "tst_calibrationcertificate.moc"
