#include "faultschedule.h"
#include "linestats.h"
#include "linetiming.h"
#include "transmitter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>

using namespace sim;

Q_DECLARE_METATYPE(std::vector<FaultRule>)
Q_DECLARE_METATYPE(sim::Waveform)

namespace {

FaultRule first(Fault fault, int count)
{
    return {FaultRule::Trigger::First, fault, count, 0.0};
}

FaultRule every(Fault fault, int count)
{
    return {FaultRule::Trigger::Every, fault, count, 0.0};
}

FaultRule chance(Fault fault, double probability)
{
    return {FaultRule::Trigger::Probability, fault, 0, probability};
}

// One letter per request: '.' correct, otherwise the first letter of the fault.
QString faultLetters(FaultSchedule &schedule, int requests)
{
    QString letters;
    for (int i = 0; i < requests; ++i) {
        const Fault fault = schedule.next();
        letters += fault == Fault::None ? QChar('.') : faultName(fault).at(0);
    }
    return letters;
}

// The float registers 0 and 1 hold, low half first.
float decodedPressure(const RegisterBlock &registers)
{
    const quint32 bits = quint32(registers[1]) << 16 | registers[0];
    float pascals = 0.0f;
    std::memcpy(&pascals, &bits, sizeof pascals);
    return pascals;
}

} // namespace

class TestSimTransmitter : public QObject {
    Q_OBJECT

private slots:
    void pressureRegisters_data()
    {
        QTest::addColumn<float>("pascals");
        QTest::addColumn<int>("low");
        QTest::addColumn<int>("high");
        QTest::newRow("101325 Pa") << 101325.0f << 0xE680 << 0x47C5;
        QTest::newRow("100 Pa") << 100.0f << 0x0000 << 0x42C8;
        QTest::newRow("-1.5 Pa") << -1.5f << 0x0000 << 0xBFC0;
        QTest::newRow("0.1 Pa") << 0.1f << 0xCCCD << 0x3DCC;
        QTest::newRow("infinity") << std::numeric_limits<float>::infinity() << 0x0000 << 0x7F80;
    }
    void pressureRegisters()
    {
        QFETCH(float, pascals);
        QFETCH(int, low);
        QFETCH(int, high);
        const auto [r0, r1] = encodePressure(pascals);
        QCOMPARE(int(r0), low);
        QCOMPARE(int(r1), high);
    }

    void temperatureRegister_data()
    {
        QTest::addColumn<double>("celsius");
        QTest::addColumn<int>("reg");
        QTest::newRow("23.5") << 23.5 << 235;
        QTest::newRow("-1.0") << -1.0 << 0xFFF6;
        QTest::newRow("rounds 19.96") << 19.96 << 200;
        QTest::newRow("rounds -0.04 to zero") << -0.04 << 0;
        QTest::newRow("clamped high") << 4000.0 << 0x7FFF;
        QTest::newRow("clamped low") << -4000.0 << 0x8000;
    }
    void temperatureRegister()
    {
        QFETCH(double, celsius);
        QFETCH(int, reg);
        QCOMPARE(int(encodeTemperature(celsius)), reg);
    }

    void registerMap_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<float>("pressure");
        QTest::addColumn<int>("temperature");
        // pressure wave 1000 +- 100 over 8 s, temperature wave 20 +- 5 over 4 s
        QTest::newRow("start") << 0.0 << 1000.0f << 200;
        QTest::newRow("quarter period") << 2.0 << 1100.0f << 200;
        QTest::newRow("temperature peak") << 1.0 << float(1000.0 + 100.0 * std::sin(M_PI / 4)) << 250;
        QTest::newRow("temperature trough") << 3.0 << float(1000.0 + 100.0 * std::sin(3 * M_PI / 4)) << 150;
    }
    void registerMap()
    {
        QFETCH(double, seconds);
        QFETCH(float, pressure);
        QFETCH(int, temperature);
        TransmitterConfig config;
        config.pressure = {1000.0, 100.0, 8.0};
        config.temperature = {20.0, 5.0, 4.0};
        const RegisterBlock registers = registersAt(config, seconds);
        const auto [low, high] = encodePressure(pressure);
        QCOMPARE(registers[0], low);
        QCOMPARE(registers[1], high);
        for (int r = 2; r <= 5; ++r)
            QCOMPARE(int(registers[r]), 0);
        QCOMPARE(int(registers[6]), temperature);
    }

    void calibrationDevice_data()
    {
        QTest::addColumn<Waveform>("pressure");
        QTest::addColumn<double>("offset");
        QTest::addColumn<double>("hysteresis");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<int>("trend");
        QTest::addColumn<float>("served");
        // Up and down again: 0, 500 kPa, 1 MPa, 500 kPa, 0, 30 s each.
        const Waveform pass = Waveform::steps({0.0, 500000.0, 1000000.0, 500000.0, 0.0}, 30.0);
        QTest::newRow("end of the first step") << pass << 0.0 << 0.0 << 29.99 << 0 << 0.0f;
        QTest::newRow("second step") << pass << 0.0 << 0.0 << 30.0 << 1 << 500000.0f;
        QTest::newRow("top") << pass << 0.0 << 0.0 << 89.5 << 1 << 1000000.0f;
        QTest::newRow("on the way down") << pass << 0.0 << 0.0 << 90.0 << -1 << 500000.0f;
        QTest::newRow("last step") << pass << 0.0 << 0.0 << 149.0 << -1 << 0.0f;
        // No wrap-around: 10000 s is step 333, still the last one.
        QTest::newRow("long after the last step") << pass << 0.0 << 0.0 << 10000.0 << -1 << 0.0f;
        QTest::newRow("before start-up") << pass << 0.0 << 0.0 << -5.0 << 0 << 0.0f;
        // 500 Pa high: 1000000 + 500.
        QTest::newRow("offset at the top") << pass << 500.0 << 0.0 << 60.0 << 1 << 1000500.0f;
        // 3000 Pa of hysteresis: none before the first change, then 500000 + 3000
        // rising and 500000 - 3000 falling at the same pressure.
        QTest::newRow("hysteresis at start") << pass << 0.0 << 3000.0 << 10.0 << 0 << 0.0f;
        QTest::newRow("hysteresis rising") << pass << 0.0 << 3000.0 << 45.0 << 1 << 503000.0f;
        QTest::newRow("hysteresis falling") << pass << 0.0 << 3000.0 << 105.0 << -1 << 497000.0f;
        QTest::newRow("hysteresis back at zero") << pass << 0.0 << 3000.0 << 135.0 << -1 << -3000.0f;
        // Both: 500000 + 500 - 3000.
        QTest::newRow("offset and hysteresis falling") << pass << 500.0 << 3000.0 << 100.0 << -1 << 497500.0f;
        // A repeated step changes nothing: at 200 (from 100) the last change is
        // still upward; 50 after the second 200 is downward.
        const Waveform plateau = Waveform::steps({100.0, 200.0, 200.0, 50.0}, 2.0);
        QTest::newRow("repeated step keeps the rise") << plateau << 0.0 << 10.0 << 5.0 << 1 << 210.0f;
        QTest::newRow("after the plateau") << plateau << 0.0 << 10.0 << 7.0 << -1 << 40.0f;
        // One step never changes.
        QTest::newRow("a single step") << Waveform::steps({42.0}, 1.0) << 0.0 << 10.0 << 99.0 << 0 << 42.0f;
        // Sine 1000 +- 100 over 8 s: up to its crest at 2 s, down to its trough
        // at 6 s, up again; the way it came counts at the crest and the trough.
        const Waveform sine{1000.0, 100.0, 8.0};
        QTest::newRow("sine at start") << sine << 0.0 << 10.0 << 0.0 << 0 << 1000.0f;
        QTest::newRow("sine rising") << sine << 0.0 << 10.0 << 1.0 << 1
                                     << float(1000.0 + 100.0 * std::sin(M_PI / 4) + 10.0);
        QTest::newRow("sine crest") << sine << 0.0 << 10.0 << 2.0 << 1 << 1110.0f;
        QTest::newRow("sine falling") << sine << 0.0 << 10.0 << 3.0 << -1
                                      << float(1000.0 + 100.0 * std::sin(3 * M_PI / 4) - 10.0);
        QTest::newRow("sine trough") << sine << 0.0 << 10.0 << 6.0 << -1 << 890.0f;
        QTest::newRow("sine second cycle") << sine << 0.0 << 10.0 << 11.0 << -1
                                           << float(1000.0 + 100.0 * std::sin(3 * M_PI / 4) - 10.0);
        // A negative amplitude falls first.
        QTest::newRow("inverted sine") << Waveform{1000.0, -100.0, 8.0} << 0.0 << 10.0 << 1.0 << -1
                                       << float(1000.0 - 100.0 * std::sin(M_PI / 4) - 10.0);
    }
    void calibrationDevice()
    {
        QFETCH(Waveform, pressure);
        QFETCH(double, offset);
        QFETCH(double, hysteresis);
        QFETCH(double, seconds);
        QFETCH(int, trend);
        QFETCH(float, served);
        QCOMPARE(pressure.trendAt(seconds), trend);
        TransmitterConfig config;
        config.pressure = pressure;
        config.pressureOffset = offset;
        config.hysteresis = hysteresis;
        QCOMPARE(decodedPressure(registersAt(config, seconds)), served);
        QCOMPARE(int(registersAt(config, seconds)[6]), 200); // the temperature stays as it is
    }

    void rawRegistersOverride()
    {
        TransmitterConfig config;
        config.rawRegisters = RegisterBlock{1, 2, 3, 4, 5, 6, 0xFFFF};
        QCOMPARE(registersAt(config, 12.5), *config.rawRegisters);
    }

    void faultSchedule_data()
    {
        QTest::addColumn<std::vector<FaultRule>>("rules");
        QTest::addColumn<QString>("letters");
        QTest::newRow("no rules") << std::vector<FaultRule>{} << "........";
        QTest::newRow("first 3") << std::vector<FaultRule>{first(Fault::Silent, 3)} << "sss.....";
        QTest::newRow("first 0") << std::vector<FaultRule>{first(Fault::Silent, 0)} << "........";
        QTest::newRow("every 3rd") << std::vector<FaultRule>{every(Fault::Crc, 3)} << "..c..c..";
        QTest::newRow("every request") << std::vector<FaultRule>{every(Fault::Truncated, 1)} << "tttttttt";
        QTest::newRow("probability 0") << std::vector<FaultRule>{chance(Fault::Exception, 0.0)} << "........";
        QTest::newRow("probability 1") << std::vector<FaultRule>{chance(Fault::Exception, 1.0)} << "eeeeeeee";
        QTest::newRow("first wins over every")
            << std::vector<FaultRule>{every(Fault::Crc, 2), first(Fault::Foreign, 3)} << "fffc.c.c";
        QTest::newRow("every wins over probability")
            << std::vector<FaultRule>{chance(Fault::Silent, 1.0), every(Fault::Crc, 4)} << "ssscsssc";
        QTest::newRow("earlier first rule wins")
            << std::vector<FaultRule>{first(Fault::Silent, 2), first(Fault::Crc, 4)} << "sscc....";
    }
    void faultSchedule()
    {
        QFETCH(std::vector<FaultRule>, rules);
        QFETCH(QString, letters);
        FaultSchedule schedule(rules, 1);
        QCOMPARE(faultLetters(schedule, letters.size()), letters);
    }

    void faultProbabilityIsSeededAndFair()
    {
        const std::vector<FaultRule> rules{chance(Fault::Silent, 0.25)};
        FaultSchedule a(rules, 42);
        FaultSchedule b(rules, 42);
        FaultSchedule c(rules, 43);
        const QString runA = faultLetters(a, 4000);
        QCOMPARE(faultLetters(b, 4000), runA);
        QVERIFY(faultLetters(c, 4000) != runA);
        const int faults = runA.count('s');
        QVERIFY2(faults > 850 && faults < 1150, qPrintable(QString::number(faults)));
    }

    void lineTiming_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("bitsPerChar");
        QTest::addColumn<qint64>("replyDelayUs");
        QTest::addColumn<qint64>("silenceUs");
        // 8-byte request + 19-byte reply + 3.5 characters
        QTest::newRow("no emulation") << 0 << 10 << qint64(0) << qint64(2000);
        QTest::newRow("9600 8N1") << 9600 << 10 << qint64(31771) << qint64(3646);
        QTest::newRow("9600 8E1") << 9600 << 11 << qint64(34948) << qint64(4010);
        QTest::newRow("115200 floor") << 115200 << 10 << qint64(2648) << qint64(2000);
    }
    void lineTiming()
    {
        QFETCH(int, baud);
        QFETCH(int, bitsPerChar);
        QFETCH(qint64, replyDelayUs);
        QFETCH(qint64, silenceUs);
        const LineTiming timing{baud, bitsPerChar};
        QCOMPARE(qint64(timing.replyDelay(8, 19).count()), replyDelayUs);
        QCOMPARE(qint64(timing.silenceGap().count()), silenceUs);
    }

    void statsJson()
    {
        LineStats stats({7, 2});
        stats.slave(2).requests = 5;
        stats.slave(2).answers = 3;
        stats.slave(2).faults[Fault::Crc] = 2;
        stats.slave(7).faults[Fault::Hostile] = 1;
        stats.ignoredFrames = 4;
        stats.badCrcFrames = 6;

        const QByteArray json = stats.toJson();
        QVERIFY(!json.contains('\n'));
        QJsonParseError error{};
        const QJsonObject object = QJsonDocument::fromJson(json, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(object.value("ignored_frames").toInt(), 4);
        QCOMPARE(object.value("bad_crc_frames").toInt(), 6);
        const QJsonArray slaves = object.value("slaves").toArray();
        QCOMPARE(slaves.size(), 2);
        QCOMPARE(slaves[0].toObject().value("address").toInt(), 2);
        QCOMPARE(slaves[0].toObject().value("requests").toInt(), 5);
        QCOMPARE(slaves[0].toObject().value("answers").toInt(), 3);
        const QJsonObject faults = slaves[0].toObject().value("faults").toObject();
        QCOMPARE(faults.keys(), (QStringList{"crc", "exception", "foreign", "hostile", "silent", "split", "truncated"}));
        QCOMPARE(faults.value("crc").toInt(), 2);
        QCOMPARE(faults.value("silent").toInt(), 0);
        QCOMPARE(slaves[1].toObject().value("address").toInt(), 7);
        QCOMPARE(slaves[1].toObject().value("faults").toObject().value("hostile").toInt(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSimTransmitter)
#include "tst_simtransmitter.moc"
