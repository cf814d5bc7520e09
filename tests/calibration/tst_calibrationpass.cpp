#include "calibrationfiles.h"
#include "calibrationlog.h"
#include "calibrationpass.h"
#include "childprocess.h"
#include "devicerecords.h"
#include "rowwriter.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QStandardItem>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
const QString KPa = QStringLiteral("KPa");
const QDateTime T0(QDate(2026, 3, 5), QTime(8, 0, 0));

// How a device reads over one point: the reference plus `offset`, `scatter`
// above it at the second second and below it at the eighth, answering only
// in the first `answered` seconds.
struct DeviceFeed
{
    int address;
    double offset;
    double scatter = 0.0;
    int answered = 10;
};

// One point as fed: the reference stands at `reference` kPa, every device at
// `temperature` °C.
struct PointFeed
{
    QDateTime clicked;
    double reference;
    double temperature;
    QVector<DeviceFeed> devices;
};

// The bench at one point: +0.05 %, +0.2 % and −0.6 % of a 1000 kPa span,
// device 5 `hysteresis` off, device 6 answering `answered6` seconds of ten.
// Device 7 has no calibration settings and reads as device 2.
QVector<DeviceFeed> bench(double hysteresis, double scatter3 = 0.0, int answered6 = 10)
{
    return {{2, 0.5, 0.2}, {3, 2.0, scatter3}, {4, -6.0}, {5, hysteresis}, {6, 0.0, 0.0, answered6}, {7, 0.5}};
}

Reading reading(int address, const QDateTime &time, bool answered, double kPa, double temperature)
{
    Reading r;
    r.address = address;
    r.time = time;
    r.answered = answered;
    r.pressure = answered ? kPa : 0.0;
    r.pressurePa = answered ? kPa * 1000.0 : 0.0;
    r.temperature = answered ? temperature : 0.0;
    r.unit = KPa;
    r.decimals = 3;
    return r;
}

// Second s of the averaging time ends at clicked − (10 − s) s. The readings
// at s = 0 (on the open end) and s = 11 (after the click) lie outside it and
// are far off, so that taking either shows.
void feed(CalibrationPass &pass, const PointFeed &point, bool withReference = true)
{
    for (int s = 0; s <= 11; ++s) {
        const QDateTime time = point.clicked.addSecs(s - 10);
        const bool outside = s == 0 || s == 11;
        if (withReference) {
            double value = point.reference + (s == 3 ? 0.1 : s == 7 ? -0.1 : 0.0);
            pass.take(reading(1, time, true, outside ? 5000.0 : value, 20.0));
        }
        for (const DeviceFeed &device : point.devices) {
            double value = point.reference + device.offset + (s == 2 ? device.scatter : s == 8 ? -device.scatter : 0.0);
            double temperature = point.temperature;
            // One temperature that is no reading, left out of the mean.
            if (device.address == 2 && s == 6)
                temperature = NaN;
            pass.take(reading(device.address, time, outside || s <= device.answered, outside ? value + 100.0 : value,
                              temperature));
        }
    }
}

QStandardItem *device(int address, std::optional<double> accuracy, bool reference = false)
{
    QStandardItem *item = newDeviceItem(newDeviceRecord(quint8(address), KPa, 3, 1));
    if (accuracy) {
        CalibrationSettings settings;
        settings.serialNumber = QStringLiteral("SN-%1").arg(address);
        settings.rangeLow = 0.0;
        settings.rangeHigh = 1000.0;
        settings.accuracy = accuracy;
        item->setData(QVariant::fromValue(settings), CalibrationRole);
    }
    item->setData(reference, ReferenceRole);
    return item;
}

// Reference 1 (with settings of its own, never judged), devices 2–4 and 6 of
// class 0.25 (permitted 2.5 kPa), device 5 of class 0.5 (5 kPa), device 7
// without settings.
void fillBench(QStandardItemModel &model)
{
    model.appendRow(device(1, 0.05, true));
    for (int address = 2; address <= 6; ++address)
        model.appendRow(device(address, address == 5 ? 0.5 : 0.25));
    model.appendRow(device(7, std::nullopt));
}

CalibrationSetup setupWithReference(int address)
{
    CalibrationSetup setup;
    setup.nominalPercents = {0, 50, 100};
    setup.averagingMs = 10000;
    setup.reference.address = address;
    // ±500 Pa: 0.5 kPa in the devices' unit.
    setup.reference.accuracy = 500.0;
    setup.reference.accuracyUnit = QStringLiteral("Pa");
    return setup;
}

bool near(double actual, double expected, double tolerance = 1e-6)
{
    return std::isnan(expected) ? std::isnan(actual) : std::abs(actual - expected) <= tolerance;
}

// The file's rows after its header, split into fields without the empty one
// after the last comma; none when the header is not the calibration file's.
QList<QStringList> fileRows(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    if (lines.isEmpty() || lines.takeFirst() + '\n' != calibrationHeader().toUtf8())
        return {};
    QList<QStringList> rows;
    for (const QByteArray &line : lines) {
        if (!line.isEmpty())
            rows << QString::fromUtf8(line).split(QLatin1Char(','));
    }
    return rows;
}

} // namespace

class TestCalibrationPass : public QObject
{
    Q_OBJECT

private slots:
    void passOverTheBench();
    void typedReference();
    void refused_data();
    void refused();
    void rowsOfAPoint_data();
    void rowsOfAPoint();
    void logNotCreated();
    void pointsOutliveAKill();
    void keepsTheAveragingTimeOnly();
};

// 0, 50, 100, 50, 0 % against reference device 1, with a point at 100 % taken
// too early, taken back and taken again at 50 %; the file follows every step.
void TestCalibrationPass::passOverTheBench()
{
    QStandardItemModel model;
    fillBench(model);
    CalibrationPass pass(&model);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());

    QVERIFY(pass.begin(setupWithReference(1), T0).ok());
    QCOMPARE(pass.devices(), (QVector<int>{2, 3, 4, 5, 6}));
    QCOMPARE(pass.setup().reference.unit, KPa);
    // A tenth of the smallest permitted error, 2.5 kPa: 0.25 kPa = 250 Pa.
    QVERIFY(near(pass.steadyThresholdPa(), 250.0));

    auto log = std::make_unique<CalibrationLog>(folder.filePath(calibrationFileName(T0)), pass.deviceDecimals(),
                                                nullptr);
    QSignalSpy logFailed(log.get(), &CalibrationLog::failed);
    connect(&pass, &CalibrationPass::pointTaken, log.get(), &CalibrationLog::append);
    connect(&pass, &CalibrationPass::pointUndone, log.get(), &CalibrationLog::retract);
    QSignalSpy taken(&pass, &CalibrationPass::pointTaken);
    QSignalSpy undone(&pass, &CalibrationPass::pointUndone);

    // Expected before each point: 0 ↑, 50 ↑, 100 ↑, 50 ↓, 0 ↓.
    const QVector<double> expectedPercents{0, 50, 100, 50, 0};
    const QVector<bool> expectedRising{true, true, true, false, false};
    const PointFeed points[] = {
        {T0.addSecs(60), 0.3, 21.0, bench(3.0)},
        {T0.addSecs(180), 500.4, 22.0, bench(3.0, 1.0)},
        {T0.addSecs(240), 999.6, 23.0, bench(3.5, 0.0, 4)},
        {T0.addSecs(300), 499.7, 24.0, bench(-3.0, 0.0, 5)},
        {T0.addSecs(360), 0.2, 25.0, bench(-3.0)},
    };

    for (int i = 0; i < 5; ++i) {
        QCOMPARE(pass.expectedPercent(), expectedPercents.at(i));
        QCOMPARE(pass.expectedRising(), expectedRising.at(i));
        if (i == 1) {
            // Too early at the top: taken back, which leaves 50 % expected again.
            const PointFeed early{T0.addSecs(120), 999.6, 29.0, bench(3.5)};
            feed(pass, early);
            QVERIFY(pass.takePoint(early.clicked).ok());
            QCOMPARE(pass.expectedPercent(), 100.0);
            const QVector<PointOutcome> back = pass.undoPoint();
            QCOMPARE(back.size(), 5);
            QCOMPARE(back.first().pointIndex, 2);
            QCOMPARE(back.first().nominalPercent, 100.0);
            QCOMPARE(undone.size(), 1);
            QCOMPARE(pass.expectedPercent(), 50.0);
            // Nothing read by the reference over the 10 s before 08:02:30.
            const auto none = pass.takePoint(T0.addSecs(150));
            QVERIFY(!none.ok());
            QCOMPARE(none.error(), QStringLiteral("参考表在平均时间内没有读数"));
        }
        feed(pass, points[i]);
        if (i == 0) {
            // 0.3 kPa with one reading 0.1 above, one below: s = √(0.02 ÷ 9) kPa = 47.140 Pa.
            const LiveReference live = pass.liveReference(points[i].clicked);
            QVERIFY(live.known && live.steady);
            QCOMPARE(live.count, 10);
            QVERIFY(near(live.meanPa, 300.0));
            QVERIFY(near(live.standardDeviationPa, 47.1404521));
        }
        const auto point = pass.takePoint(points[i].clicked);
        QVERIFY2(point.ok(), qPrintable(point.error()));
        QCOMPARE(point.value().first().pointIndex, i + 1);
    }
    QCOMPARE(taken.size(), 6);
    QCOMPARE(pass.pointCount(), 5);
    const CalibrationResult result = pass.finish(T0.addSecs(400));
    QVERIFY(!pass.isRunning());

    // a = 0.5 kPa, s_ref = √(0.02 ÷ 9) over n = 10: (a/√3)² = 0.0833333, (s_ref/√n)² = 0.0002222.
    // Device 2 scatters ±0.2: s = √(0.08 ÷ 9) = 0.0942809, (s/√n)² = 0.0008889,
    //   U = 2·√0.0844444 = 0.5811865.
    // A steady device: U = 2·√0.0835556 = 0.5781196.
    // Device 3 at 50 % ↑ scatters ±1.0: s = √(2 ÷ 9) = 0.4714045 > 0.25 kPa (not steady),
    //   U = 2·√(0.0835556 + 0.0222222) = 0.6504699.
    // Device 6 at 100 % answers 4 s of 10: below half, no value; at 50 % ↓ 5 of 10: a value.
    struct Expected
    {
        int address;
        QVector<double> errors;
        QVector<double> uncertainties;
        QVector<bool> steady;
        double maxError;
        double hysteresis;
        double ratio;
        bool passed;
    };
    const double u2 = 0.5811865, uc = 0.5781196, u3 = 0.6504699;
    const Expected expected[] = {
        {2, {0.5, 0.5, 0.5, 0.5, 0.5}, {u2, u2, u2, u2, u2}, {true, true, true, true, true}, 0.5, 0.0, 5.0, true},
        {3, {2.0, 2.0, 2.0, 2.0, 2.0}, {uc, u3, uc, uc, uc}, {true, false, true, true, true}, 2.0, 0.0, 5.0, true},
        {4, {-6, -6, -6, -6, -6}, {uc, uc, uc, uc, uc}, {true, true, true, true, true}, -6.0, 0.0, 5.0, false},
        // |3 − (−3)| ÷ 1000 × 100 = 0.6 % at 0 % and at 50 %; 3.5 at the top is the largest.
        {5, {3, 3, 3.5, -3, -3}, {uc, uc, uc, uc, uc}, {true, true, true, true, true}, 3.5, 0.6, 10.0, true},
        {6, {0, 0, NaN, 0, 0}, {uc, uc, NaN, uc, uc}, {true, true, false, true, true}, 0.0, 0.0, 5.0, false},
    };
    const QVector<double> references{0.3, 500.4, 999.6, 499.7, 0.2};
    QCOMPARE(result.devices.size(), 5);
    for (int d = 0; d < 5; ++d) {
        const Expected &want = expected[d];
        const DeviceCalibration &got = result.devices.at(d);
        const QByteArray where = QByteArray::number(want.address);
        QVERIFY2(got.address == want.address && got.points.size() == 5, where);
        for (int p = 0; p < 5; ++p) {
            const PointOutcome &point = got.points.at(p);
            const QByteArray at = where + " point " + QByteArray::number(p + 1);
            QVERIFY2(point.nominalPercent == expectedPercents.at(p) && point.rising == expectedRising.at(p), at);
            QVERIFY2(near(point.nominal, expectedPercents.at(p) * 10.0), at);
            QVERIFY2(near(point.reference, references.at(p)), at);
            QVERIFY2(point.hasValue == !std::isnan(want.errors.at(p)), at);
            QVERIFY2(near(point.error, want.errors.at(p)), at);
            QVERIFY2(near(point.errorPercentFs, want.errors.at(p) / 10.0), at);
            QVERIFY2(near(point.permittedError, want.address == 5 ? 5.0 : 2.5), at);
            QVERIFY2(near(point.expandedUncertainty, want.uncertainties.at(p)), at);
            QVERIFY2(point.steady == want.steady.at(p), at);
            QVERIFY2(point.passed == (point.hasValue && std::abs(want.errors.at(p)) <= point.permittedError), at);
            // 21…25 °C point by point, the undone point's 29 gone.
            QVERIFY2(near(point.temperature, 21.0 + p), at);
        }
        QVERIFY2(near(got.maxError, want.maxError) && near(got.maxErrorPercentFs, want.maxError / 10.0), where);
        QVERIFY2(near(got.hysteresisPercentFs, want.hysteresis), where);
        QVERIFY2(near(got.referenceAccuracy, 0.5) && near(got.testUncertaintyRatio, want.ratio), where);
        QVERIFY2(near(got.meanTemperature, 23.0), where);
        QVERIFY2(got.passed == want.passed, where);
    }
    QCOMPARE(result.devices.at(0).points.at(0).count, 10);
    QCOMPARE(result.devices.at(0).points.at(0).standardDeviation, std::sqrt(0.08 / 9));
    QCOMPARE(result.devices.at(4).points.at(2).count, 4);
    QCOMPARE(result.devices.at(4).points.at(3).count, 5);

    // The writer's rows all reach the file before it closes.
    const QString path = log->path();
    log.reset();
    QCOMPARE(logFailed.size(), 0);
    const QList<QStringList> rows = fileRows(path);
    // Six points of five devices, and the point taken back written again.
    QCOMPARE(rows.size(), 35);
    const int fields = calibrationHeader().count(QLatin1Char(',')) + 1;
    for (const QStringList &row : rows)
        QCOMPARE(row.size(), fields);
    QCOMPARE(rows.at(0).join(','), QStringLiteral("2026-03-05 08:01:00,2,SN-2,1,0.00000,上行,0.30000,0.80000,KPa,"
                                                  "0.50000,0.050,2.50000,0.58119,0.09428,10,是,合格,"));
    // The point taken too early, device 4 (−6 kPa) failing, then the same rows taken back.
    const QStringList early{"合格", "合格", "不合格", "合格", "合格"};
    for (int row = 5; row < 15; ++row) {
        QCOMPARE(rows.at(row).mid(0, 6), (QStringList{"2026-03-05 08:02:00", QString::number(row % 5 + 2),
                                                      QStringLiteral("SN-%1").arg(row % 5 + 2), "2", "1000.00000",
                                                      "上行"}));
        QCOMPARE(rows.at(row).at(16), row < 10 ? early.at(row - 5) : QStringLiteral("撤销"));
    }
    // Device 6 silent at the top: no indication, error, uncertainty or deviation.
    QCOMPARE(rows.at(24).join(','), QStringLiteral("2026-03-05 08:04:00,6,SN-6,3,1000.00000,上行,999.60000,,KPa,,,"
                                                   "2.50000,,,4,否,不合格,"));
}

// A dead-weight tester read in MPa, typed at the point, for kPa devices.
void TestCalibrationPass::typedReference()
{
    QStandardItemModel model;
    fillBench(model);
    CalibrationPass pass(&model);
    CalibrationSetup setup = setupWithReference(0);
    setup.reference.unit = QStringLiteral("MPa");
    setup.reference.accuracy = 0.0005;
    setup.reference.accuracyUnit = QStringLiteral("MPa");
    QVERIFY(pass.begin(setup, T0).ok());
    // No device is the reference now: device 1 is judged too.
    QCOMPARE(pass.devices(), (QVector<int>{1, 2, 3, 4, 5, 6}));

    const PointFeed point{T0.addSecs(60), 500.4, 20.0, bench(3.0)};
    feed(pass, point, false);
    QVERIFY(!pass.liveReference(point.clicked).known);
    const auto untyped = pass.takePoint(point.clicked);
    QVERIFY(!untyped.ok());
    QCOMPARE(pass.pointCount(), 0);

    const auto taken = pass.takePoint(point.clicked, 0.5004);
    QVERIFY2(taken.ok(), qPrintable(taken.error()));
    // Device 1 was not read at all: no value.
    const PointOutcome &first = taken.value().at(0);
    QVERIFY(first.address == 1 && !first.hasValue && !first.passed);
    // 0.5004 MPa = 500.4 kPa; device 2 reads 500.9 with ±0.2 at two seconds.
    // a = 0.0005 MPa = 0.5 kPa; a typed reference has no scatter:
    // U = 2·√(0.25 ÷ 3 + 0.08 ÷ 90) = 2·√0.0842222 = 0.5804213.
    const PointOutcome &second = taken.value().at(1);
    QCOMPARE(second.address, 2);
    QCOMPARE(second.unit, KPa);
    QVERIFY(near(second.reference, 500.4));
    QVERIFY(near(second.indication, 500.9));
    QVERIFY(near(second.error, 0.5));
    QVERIFY(near(second.expandedUncertainty, 0.5804213));
    QCOMPARE(second.nominalPercent, 50.0);
    // Device 1 of class 0.05 takes part: the threshold is 0.5 kPa ÷ 10 = 50 Pa,
    // which device 2's s = 0.0943 kPa exceeds; device 4 (no scatter) stays within.
    QVERIFY(near(pass.steadyThresholdPa(), 50.0));
    QVERIFY(!second.steady && second.passed);
    QVERIFY(taken.value().at(3).steady);
    const CalibrationResult result = pass.finish(T0.addSecs(100));
    QVERIFY(near(result.devices.at(1).referenceAccuracy, 0.5));
    QVERIFY(std::isnan(result.devices.at(1).hysteresisPercentFs));
}

void TestCalibrationPass::refused_data()
{
    QTest::addColumn<int>("reference");
    QTest::addColumn<bool>("withSettings");
    QTest::addColumn<QString>("reason");

    QTest::newRow("reference not listed") << 9 << true << QStringLiteral("参考表（地址 9）不在设备列表中");
    QTest::newRow("nothing to judge") << 1 << false << QStringLiteral("没有可校准的设备");
}

void TestCalibrationPass::refused()
{
    QFETCH(int, reference);
    QFETCH(bool, withSettings);
    QFETCH(QString, reason);

    QStandardItemModel model;
    model.appendRow(device(1, 0.05, true));
    model.appendRow(device(2, withSettings ? std::optional<double>(0.25) : std::nullopt));
    CalibrationPass pass(&model);
    const Result<bool> begun = pass.begin(setupWithReference(reference), T0);
    QVERIFY(!begun.ok());
    QVERIFY2(begun.error().startsWith(reason), qPrintable(begun.error()));
    QVERIFY(!pass.isRunning());
    QVERIFY(!pass.takePoint(T0).ok());
}

void TestCalibrationPass::rowsOfAPoint_data()
{
    QTest::addColumn<PointOutcome>("outcome");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<bool>("retracted");
    QTest::addColumn<QString>("row");

    PointOutcome falling;
    falling.time = T0.addSecs(75);
    falling.address = 12;
    falling.serialNumber = QStringLiteral("A7");
    falling.pointIndex = 4;
    falling.nominalPercent = 50.0;
    falling.nominal = 50.0;
    falling.rising = false;
    falling.reference = 49.98765;
    falling.hasValue = true;
    falling.indication = 50.1234;
    falling.unit = QStringLiteral("Bar");
    falling.error = 0.13575;
    falling.errorPercentFs = 0.13575;
    falling.permittedError = 0.25;
    falling.expandedUncertainty = 0.0123;
    falling.standardDeviation = 0.004;
    falling.count = 9;
    falling.steady = false;
    falling.passed = true;
    // One decimal: three places; %FS always three.
    QTest::newRow("falling, passed") << falling << 1 << false
                                     << "2026-03-05 08:01:15,12,A7,4,50.000,下行,49.988,50.123,Bar,0.136,0.136,0.250,"
                                        "0.012,0.004,9,否,合格,\n";
    QTest::newRow("taken back") << falling << 0 << true
                                << "2026-03-05 08:01:15,12,A7,4,50.00,下行,49.99,50.12,Bar,0.14,0.136,0.25,0.01,0.00,"
                                   "9,否,撤销,\n";
    PointOutcome silent = falling;
    silent.hasValue = false;
    silent.passed = false;
    silent.count = 2;
    QTest::newRow("no value") << silent << 1 << false
                              << "2026-03-05 08:01:15,12,A7,4,50.000,下行,49.988,,Bar,,,0.250,,,2,否,不合格,\n";
}

void TestCalibrationPass::rowsOfAPoint()
{
    QFETCH(PointOutcome, outcome);
    QFETCH(int, decimals);
    QFETCH(bool, retracted);
    QFETCH(QString, row);

    QCOMPARE(calibrationRow(outcome, decimals, retracted), row);
    QCOMPARE(row.count(QLatin1Char(',')), calibrationHeader().count(QLatin1Char(',')));
}

void TestCalibrationPass::logNotCreated()
{
    QTemporaryDir folder;
    CalibrationLog log(folder.filePath(QStringLiteral("gone/") + calibrationFileName(T0)), {}, nullptr);
    QSignalSpy failed(&log, &CalibrationLog::failed);
    QTRY_COMPARE(failed.size(), 1);
    QVERIFY(failed.at(0).at(0).toString().contains(QStringLiteral("无法创建校准文件")));
}

// The points a pass has taken stand in its file, whole, when the program is
// killed in the middle of the pass: the same test, run as a child, takes
// three points, says so once its writer has nothing waiting, and waits to be
// killed.
void TestCalibrationPass::pointsOutliveAKill()
{
    const QString childFolder = qEnvironmentVariable("VELMORA_CALIBRATION_CHILD");
    if (!childFolder.isEmpty()) {
        QStandardItemModel model;
        fillBench(model);
        CalibrationPass pass(&model);
        QVERIFY(pass.begin(setupWithReference(1), T0).ok());
        RowWriter writer;
        CalibrationLog log(QDir(childFolder).filePath(calibrationFileName(T0)), pass.deviceDecimals(), &writer);
        connect(&pass, &CalibrationPass::pointTaken, &log, &CalibrationLog::append);
        for (int point = 0; point < 3; ++point) {
            const QDateTime clicked = T0.addSecs(60 * (point + 1));
            feed(pass, {clicked, 500.0 * point, 20.0, bench(0.0)});
            QVERIFY(pass.takePoint(clicked).ok());
        }
        QVERIFY(QTest::qWaitFor([&writer] { return writer.isIdle(); }, 10000));
        std::fputs("taken\n", stdout);
        std::fflush(stdout);
        QTest::qWait(60000);
        QFAIL("not killed");
    }

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    ChildProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELMORA_CALIBRATION_CHILD"), folder.path());
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("pointsOutliveAKill")});
    QVERIFY(child.waitForStarted(10000));
    QVERIFY(QTest::qWaitFor([&child] { return child.readAllStandardOutput().contains("taken"); }, 30000));
    child.kill();
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    // Three points of the five devices taking part, each row whole: its
    // fields, then the empty one after the last comma.
    const QList<QStringList> rows = fileRows(folder.filePath(calibrationFileName(T0)));
    QCOMPARE(rows.size(), 3 * 5);
    for (int i = 0; i < rows.size(); ++i) {
        QCOMPARE(rows.at(i).size(), 18);
        QCOMPARE(rows.at(i).at(3), QString::number(i / 5 + 1));
        QCOMPARE(rows.at(i).at(1), QString::number(2 + i % 5));
        QCOMPARE(rows.at(i).last(), QString());
    }
}

// A long unattended run keeps no more readings than a point needs: with
// 2 s of averaging (and the second kept beyond it), a reading a second for
// 20 s, then 10 s asked for, the point holds the three readings kept
// (t = 18, 19 and 20 s), not ten.
void TestCalibrationPass::keepsTheAveragingTimeOnly()
{
    QStandardItemModel model;
    fillBench(model);
    CalibrationPass pass(&model);
    pass.setAveragingMs(2000);
    for (int s = 1; s <= 20; ++s) {
        const QDateTime time = T0.addSecs(s);
        pass.take(reading(1, time, true, 500.0, 20.0));
        for (int address = 2; address <= 6; ++address)
            pass.take(reading(address, time, true, 500.0, 20.0));
    }
    QVERIFY(pass.begin(setupWithReference(1), T0.addSecs(20)).ok());
    const Result<QVector<PointOutcome>> point = pass.takePoint(T0.addSecs(20));
    QVERIFY(point.ok());
    QCOMPARE(pass.liveReference(T0.addSecs(20)).count, 3);
    for (const PointOutcome &outcome : point.value())
        QCOMPARE(outcome.count, 3);
}

QTEST_MAIN(TestCalibrationPass)
#include "tst_calibrationpass.moc"
