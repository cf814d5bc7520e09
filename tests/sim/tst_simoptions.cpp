#include "simoptions.h"

#include <QtTest>

#include <cmath>

using namespace sim;

namespace {

QVector<double> stepsOf(const Waveform &wave)
{
    return QVector<double>(wave.stepValues.cbegin(), wave.stepValues.cend());
}

} // namespace

class TestSimOptions : public QObject {
    Q_OBJECT

private slots:
    void goodSpecs_data()
    {
        QTest::addColumn<QString>("spec");
        QTest::addColumn<int>("address");
        QTest::addColumn<QString>("registersAtZero"); // r0..r6 in hex
        QTest::addColumn<int>("faultRules");
        QTest::addColumn<int>("delayMs");
        QTest::newRow("address only") << "1" << 1 << "e680 47c5 0 0 0 0 c8" << 0 << 0;
        QTest::newRow("constants") << "247,pressure=100,temp=23.5" << 247 << "0 42c8 0 0 0 0 eb" << 0 << 0;
        QTest::newRow("negative temperature") << "3,temp=-1.0" << 3 << "e680 47c5 0 0 0 0 fff6" << 0 << 0;
        QTest::newRow("waves start at the mean")
            << "4,pressure=wave:100:50:10,temp=wave:-1:3:60" << 4 << "0 42c8 0 0 0 0 fff6" << 0 << 0;
        // The first step, without hysteresis before any change: 100 Pa, -1.0 degC.
        QTest::newRow("steps start at the first") << "6,pressure=steps:100/200:5,temp=steps:-1/23.5:10,hysteresis=50"
                                                  << 6 << "0 42c8 0 0 0 0 fff6" << 0 << 0;
        // 100 - 99 = 1.0, 0x3F800000.
        QTest::newRow("offset") << "7,pressure=100,offset=-99" << 7 << "0 3f80 0 0 0 0 c8" << 0 << 0;
        QTest::newRow("raw registers") << "5,regs=1:0x2:3:4:5:6:0xFFFF" << 5 << "1 2 3 4 5 6 ffff" << 0 << 0;
        QTest::newRow("raw registers win") << "5,regs=0:0:0:0:0:0:7,pressure=5" << 5 << "0 0 0 0 0 0 7" << 0 << 0;
        QTest::newRow("faults and delay")
            << "9,fault=crc:0.5,first=silent:3,every=truncated:4,fault=foreign:1,every=exception:2,delay=150" << 9
            << "e680 47c5 0 0 0 0 c8" << 5 << 150;
    }
    void goodSpecs()
    {
        QFETCH(QString, spec);
        QFETCH(int, address);
        QFETCH(QString, registersAtZero);
        QFETCH(int, faultRules);
        QFETCH(int, delayMs);
        QString error;
        const auto config = parseSlaveSpec(spec, &error);
        QVERIFY2(config, qPrintable(error));
        QCOMPARE(config->address, address);
        QStringList registers;
        for (const quint16 value : registersAt(*config, 0.0))
            registers << QString::number(value, 16);
        QCOMPARE(registers.join(' '), registersAtZero);
        QCOMPARE(int(config->faults.size()), faultRules);
        QCOMPARE(config->delayMs, delayMs);
    }

    void calibrationKeys_data()
    {
        QTest::addColumn<QString>("spec");
        QTest::addColumn<QVector<double>>("pressureSteps");
        QTest::addColumn<double>("dwellSeconds");
        QTest::addColumn<QVector<double>>("temperatureSteps");
        QTest::addColumn<double>("offset");
        QTest::addColumn<double>("hysteresis");
        QTest::newRow("a pass") << "1,pressure=steps:0/500000/1000000/500000/0:30"
                                << QVector<double>{0, 500000, 1000000, 500000, 0} << 30.0 << QVector<double>{}
                                << 0.0 << 0.0;
        QTest::newRow("one step, negative, exponent, fraction of a second")
            << "2,pressure=steps:-1.5e3:0.25" << QVector<double>{-1500} << 0.25 << QVector<double>{} << 0.0 << 0.0;
        QTest::newRow("offset and hysteresis") << "3,pressure=steps:1/2:5,offset=-500,hysteresis=3000"
                                               << QVector<double>{1, 2} << 5.0 << QVector<double>{} << -500.0
                                               << 3000.0;
        QTest::newRow("offset on a constant") << "4,pressure=100,offset=0.5" << QVector<double>{} << 0.0
                                              << QVector<double>{} << 0.5 << 0.0;
        QTest::newRow("temperature steps") << "5,temp=steps:-40/20/85:60" << QVector<double>{} << 0.0
                                           << QVector<double>{-40, 20, 85} << 0.0 << 0.0;
    }
    void calibrationKeys()
    {
        QFETCH(QString, spec);
        QFETCH(QVector<double>, pressureSteps);
        QFETCH(double, dwellSeconds);
        QFETCH(QVector<double>, temperatureSteps);
        QFETCH(double, offset);
        QFETCH(double, hysteresis);
        QString error;
        const auto config = parseSlaveSpec(spec, &error);
        QVERIFY2(config, qPrintable(error));
        QCOMPARE(stepsOf(config->pressure), pressureSteps);
        if (!pressureSteps.isEmpty())
            QCOMPARE(config->pressure.dwellSeconds, dwellSeconds);
        QCOMPARE(stepsOf(config->temperature), temperatureSteps);
        QCOMPARE(config->pressureOffset, offset);
        QCOMPARE(config->hysteresis, hysteresis);
    }

    void faultRuleContents()
    {
        QString error;
        const auto config
            = parseSlaveSpec("2,every=foreign:5,fault=exception:0.25,first=truncated:0,every=split:3", &error);
        QVERIFY2(config, qPrintable(error));
        QCOMPARE(int(config->faults.size()), 4);
        QCOMPARE(config->faults[0].trigger, FaultRule::Trigger::Every);
        QCOMPARE(config->faults[0].fault, Fault::Foreign);
        QCOMPARE(config->faults[0].count, 5);
        QCOMPARE(config->faults[1].trigger, FaultRule::Trigger::Probability);
        QCOMPARE(config->faults[1].fault, Fault::Exception);
        QCOMPARE(config->faults[1].probability, 0.25);
        QCOMPARE(config->faults[2].trigger, FaultRule::Trigger::First);
        QCOMPARE(config->faults[2].fault, Fault::Truncated);
        QCOMPARE(config->faults[2].count, 0);
        QCOMPARE(config->faults[3].trigger, FaultRule::Trigger::Every);
        QCOMPARE(config->faults[3].fault, Fault::Split);
        QCOMPARE(config->faults[3].count, 3);
    }

    void badSpecs_data()
    {
        QTest::addColumn<QString>("spec");
        QTest::newRow("empty") << "";
        QTest::newRow("address 0") << "0";
        QTest::newRow("address 248") << "248";
        QTest::newRow("address not a number") << "one";
        QTest::newRow("unknown key") << "1,colour=red";
        QTest::newRow("item without value") << "1,pressure";
        QTest::newRow("pressure not a number") << "1,pressure=high";
        QTest::newRow("wave missing period") << "1,pressure=wave:1:2";
        QTest::newRow("wave zero period") << "1,pressure=wave:1:2:0";
        QTest::newRow("temperature out of range") << "1,temp=3276.8";
        QTest::newRow("temperature wave out of range") << "1,temp=wave:3000:300:10";
        QTest::newRow("temperature not finite") << "1,temp=nan";
        QTest::newRow("six registers") << "1,regs=1:2:3:4:5:6";
        QTest::newRow("register too large") << "1,regs=1:2:3:4:5:6:65536";
        QTest::newRow("unknown fault kind") << "1,fault=slow:0.5";
        QTest::newRow("hostile is not per slave") << "1,fault=hostile:0.5";
        QTest::newRow("probability above 1") << "1,fault=crc:1.5";
        QTest::newRow("probability missing") << "1,fault=crc";
        QTest::newRow("every 0") << "1,every=crc:0";
        QTest::newRow("first negative") << "1,first=crc:-1";
        QTest::newRow("negative delay") << "1,delay=-5";
        QTest::newRow("steps: empty list") << "1,pressure=steps::30";
        QTest::newRow("steps: empty item") << "1,pressure=steps:1//3:30";
        QTest::newRow("steps: dwell 0") << "1,pressure=steps:1/2:0";
        QTest::newRow("steps: negative dwell") << "1,pressure=steps:1/2:-30";
        QTest::newRow("steps: no dwell") << "1,pressure=steps:1/2";
        QTest::newRow("steps: dwell not a number") << "1,pressure=steps:1/2:half";
        QTest::newRow("steps: value not a number") << "1,pressure=steps:1/high:30";
        QTest::newRow("steps: value not finite") << "1,pressure=steps:1/inf:30";
        QTest::newRow("steps: dwell not finite") << "1,pressure=steps:1/2:nan";
        QTest::newRow("temperature step out of range") << "1,temp=steps:20/3276.8:10";
        QTest::newRow("offset not a number") << "1,offset=high";
        QTest::newRow("offset not finite") << "1,offset=nan";
        QTest::newRow("hysteresis negative") << "1,hysteresis=-1";
        QTest::newRow("hysteresis not finite") << "1,hysteresis=inf";
    }
    void badSpecs()
    {
        QFETCH(QString, spec);
        QString error;
        QVERIFY(!parseSlaveSpec(spec, &error));
        QVERIFY(!error.isEmpty());
    }

    void nonFinitePressureIsAllowed()
    {
        QString error;
        const auto config = parseSlaveSpec("1,pressure=nan", &error);
        QVERIFY2(config, qPrintable(error));
        QVERIFY(std::isnan(config->pressure.valueAt(0.0)));
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action");
        QTest::newRow("defaults") << QStringList{} << int(CommandLine::Action::Run);
        QTest::newRow("help") << QStringList{"--help"} << int(CommandLine::Action::Help);
        QTest::newRow("unknown option") << QStringList{"--speed", "3"} << int(CommandLine::Action::Fail);
        QTest::newRow("positional argument") << QStringList{"extra"} << int(CommandLine::Action::Fail);
        QTest::newRow("bad slave") << QStringList{"--slave", "1,temp=x"} << int(CommandLine::Action::Fail);
        QTest::newRow("duplicate address") << QStringList{"--slave", "3", "--slave", "3,temp=1"}
                                           << int(CommandLine::Action::Fail);
        QTest::newRow("baud zero") << QStringList{"--baud", "0"} << int(CommandLine::Action::Fail);
        QTest::newRow("bits per char 8") << QStringList{"--bits-per-char", "8"} << int(CommandLine::Action::Fail);
        QTest::newRow("seed negative") << QStringList{"--seed", "-1"} << int(CommandLine::Action::Fail);
        QTest::newRow("odd baud for a device") << QStringList{"--device", "/dev/null", "--baud", "12345"}
                                               << int(CommandLine::Action::Fail);
        QTest::newRow("odd baud on a pty") << QStringList{"--baud", "12345"} << int(CommandLine::Action::Run);
        QTest::newRow("tcp port") << QStringList{"--tcp", "0"} << int(CommandLine::Action::Run);
        QTest::newRow("tcp host and port") << QStringList{"--tcp", "127.0.0.1:1502"} << int(CommandLine::Action::Run);
        QTest::newRow("tcp IPv6 host") << QStringList{"--tcp", "[::1]:1502", "--gateway", "300"}
                                       << int(CommandLine::Action::Run);
        QTest::newRow("tcp IPv6 unbracketed") << QStringList{"--tcp", "::1:1502"} << int(CommandLine::Action::Fail);
        QTest::newRow("tcp port too big") << QStringList{"--tcp", "65536"} << int(CommandLine::Action::Fail);
        QTest::newRow("tcp host without port") << QStringList{"--tcp", "localhost:"} << int(CommandLine::Action::Fail);
        QTest::newRow("tcp with a device") << QStringList{"--tcp", "0", "--device", "/dev/null"}
                                           << int(CommandLine::Action::Fail);
        QTest::newRow("gateway without tcp") << QStringList{"--gateway", "300"} << int(CommandLine::Action::Fail);
        QTest::newRow("rtu over tcp") << QStringList{"--tcp", "127.0.0.1:0", "--rtu-over-tcp"}
                                      << int(CommandLine::Action::Run);
        QTest::newRow("rtu over tcp without tcp") << QStringList{"--rtu-over-tcp"} << int(CommandLine::Action::Fail);
        QTest::newRow("rtu over tcp with a gateway") << QStringList{"--tcp", "0", "--rtu-over-tcp", "--gateway", "300"}
                                                     << int(CommandLine::Action::Fail);
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, action);
        const CommandLine parsed = parseCommandLine(QStringList{"velmora-sim"} + arguments);
        QCOMPARE(int(parsed.action), action);
        if (parsed.action != CommandLine::Action::Run)
            QVERIFY(!parsed.message.isEmpty());
    }

    void commandLineValues()
    {
        const CommandLine parsed = parseCommandLine(
            {"velmora-sim", "--slave", "9", "--slave", "2", "--baud", "19200", "--bits-per-char", "11", "--seed",
             "99", "--hostile", "--link", "/tmp/x", "--stats-file", "/tmp/s.json", "--die-with-parent"});
        QCOMPARE(parsed.action, CommandLine::Action::Run);
        const SimOptions &options = parsed.options;
        QCOMPARE(int(options.slaves.size()), 2);
        QCOMPARE(options.slaves[0].address, 2); // sorted by address
        QCOMPARE(options.slaves[1].address, 9);
        QCOMPARE(options.baud, 19200);
        QCOMPARE(options.bitsPerChar, 11);
        QCOMPARE(options.seed, 99u);
        QVERIFY(options.hostile);
        QVERIFY(options.dieWithParent);
        QCOMPARE(options.linkPath, QString("/tmp/x"));
        QCOMPARE(options.statsFile, QString("/tmp/s.json"));
        QVERIFY(options.devicePath.isEmpty());

        const CommandLine defaults = parseCommandLine({"velmora-sim"});
        QCOMPARE(int(defaults.options.slaves.size()), 1);
        QCOMPARE(defaults.options.slaves[0].address, 1);
        QCOMPARE(defaults.options.baud, 0);
        QCOMPARE(defaults.options.bitsPerChar, 10);
        QCOMPARE(defaults.options.seed, 1u);
        QVERIFY(!defaults.options.hostile);
    }
};

QTEST_GUILESS_MAIN(TestSimOptions)
#include "tst_simoptions.moc"
