#include "mapencoding.h"
#include "simoptions.h"
#include "transmitter.h"

#include "simulatorprocess.h"

#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

#include <modbus.h>

#include <cerrno>
#include <limits>
#include <memory>

using namespace sim;

namespace {

const QByteArray Int16DecUnit = R"({"name": "int16-dec-unit", "register": "holding", "pressure": {"address": 4,)"
                                R"( "type": "INT16", "decimalsRegister": 3, "unitRegister": 2,)"
                                R"( "unitCodes": {"0": "MPa", "1": "KPa", "2": "Pa", "3": "Bar"}}})";
const QByteArray FloatAbcdBar = R"({"name": "float-abcd-bar", "register": "holding", "pressure": {"address": 0,)"
                                R"( "type": "FLOAT32", "byteOrder": "ABCD", "unit": "Bar"}, "temperature":)"
                                R"( {"address": 2, "type": "FLOAT32", "byteOrder": "ABCD", "unit": "°C"}})";
const QByteArray Int32Fixed = R"({"name": "int32-fixed", "register": "input", "pressure": {"address": 0,)"
                              R"( "type": "INT32", "byteOrder": "ABCD", "scale": 0.01, "unit": "mBar"},)"
                              R"( "temperature": {"address": 2, "type": "INT32", "byteOrder": "ABCD", "scale": 0.01}})";
const QByteArray Gaps = R"({"name": "gaps", "register": "input", "pressure": {"address": 0, "type": "FLOAT32",)"
                        R"( "byteOrder": "CDAB", "unit": "Pa"}, "temperature": {"address": 10, "type": "INT16",)"
                        R"( "scale": 0.1, "invalid": [32767]}})";

RegisterMap mapOf(const QByteArray &json)
{
    if (json.isEmpty())
        return standardMap();
    const Result<RegisterMap> map = mapFromJson(QJsonDocument::fromJson(json).object());
    if (!map.ok())
        qWarning() << map.error();
    return map.valueOr(RegisterMap());
}

// A request for `quantity` registers from `start`, framed for slave 1.
QByteArray request(quint8 function, int start, int quantity)
{
    return rtuFrame(1, readRegistersRequest(function, start, quantity));
}

struct ModbusCloser {
    void operator()(modbus_t *context) const
    {
        modbus_close(context);
        modbus_free(context);
    }
};

} // namespace

class TestSimMaps : public QObject {
    Q_OBJECT

private slots:
    void encodes_data()
    {
        QTest::addColumn<QByteArray>("map"); // empty: the built-in one
        QTest::addColumn<double>("pascals");
        QTest::addColumn<double>("celsius");
        QTest::addColumn<int>("function");
        // Address and value of every register served, in address order.
        QTest::addColumn<QVector<int>>("registers");

        QTest::newRow("标准") << QByteArray() << 101325.0 << 23.5 << 4
                            << QVector<int>{0, 0xE680, 1, 0x47C5, 2, 0, 3, 0, 4, 0, 5, 0, 6, 235};
        // 0.25 MPa, the lowest unit code, with the most decimals an INT16 holds: 2500 × 10^-4.
        QTest::newRow("int16, decimals and unit") << Int16DecUnit << 250000.0 << 20.0 << 3
                                                  << QVector<int>{2, 0, 3, 4, 4, 2500};
        // 2.5 bar is 0x40200000; 21.5 °C is 0x41AC0000.
        QTest::newRow("float ABCD bar") << FloatAbcdBar << 250000.0 << 21.5 << 3
                                        << QVector<int>{0, 0x4020, 1, 0, 2, 0x41AC, 3, 0};
        // 1000 mbar is 100000 counts of 0.01 mbar; -23.5 °C is -2350 counts, 0xFFFFF6D2.
        QTest::newRow("int32 fixed point") << Int32Fixed << 100000.0 << -23.5 << 4
                                           << QVector<int>{0, 0x0001, 1, 0x86A0, 2, 0xFFFF, 3, 0xF6D2};
        // Gaps are not served; a temperature that is no number is the marker.
        QTest::newRow("gaps, no temperature") << Gaps << 100.0 << std::numeric_limits<double>::quiet_NaN() << 4
                                              << QVector<int>{0, 0, 1, 0x42C8, 10, 0x7FFF};
        // 0.000123 MPa needs more than four decimals: 1.23 rounds to 1 at the fourth.
        QTest::newRow("decimals run out") << Int16DecUnit << 123.0 << 20.0 << 3 << QVector<int>{2, 0, 3, 4, 4, 1};
    }
    void encodes()
    {
        QFETCH(QByteArray, map);
        QFETCH(double, pascals);
        QFETCH(double, celsius);
        QFETCH(int, function);
        QFETCH(QVector<int>, registers);

        const RegisterTable table = encodeWithMap(mapOf(map), pascals, celsius);
        QCOMPARE(int(table.function), function);
        QVector<int> served;
        for (auto it = table.registers.cbegin(); it != table.registers.cend(); ++it)
            served << it.key() << it.value();
        QCOMPARE(served, registers);
    }

    // A transmitter with a map answers for the registers it maps, with the
    // function it maps them under, as one of that make would.
    void answersOnlyWhatItMaps()
    {
        TransmitterConfig config;
        config.map = mapOf(Gaps);
        config.pressure = {100.0, 0.0, 0.0};
        config.temperature = {23.5, 0.0, 0.0};
        Transmitter transmitter(config, 1);

        const Reply group = transmitter.respond(request(ReadInputRegisters, 0, 2), 0.0);
        QCOMPARE(group.frame, rtuFrame(1, QByteArray::fromHex("0404000042c8")));
        const Reply temperature = transmitter.respond(request(ReadInputRegisters, 10, 1), 0.0);
        QCOMPARE(temperature.frame, rtuFrame(1, QByteArray::fromHex("040200eb")));
        const Reply acrossTheGap = transmitter.respond(request(ReadInputRegisters, 0, 11), 0.0);
        QCOMPARE(acrossTheGap.frame, rtuFrame(1, QByteArray::fromHex("8402")));
        const Reply holding = transmitter.respond(request(ReadHoldingRegisters, 0, 2), 0.0);
        QCOMPARE(holding.frame, rtuFrame(1, QByteArray::fromHex("8301")));
    }

    // A device under test with a map reads off by its offset and hysteresis too.
    void mappedDeviceUnderTest()
    {
        TransmitterConfig config;
        config.map = mapOf(FloatAbcdBar);
        config.pressure = Waveform::steps({100000.0, 300000.0}, 10.0);
        config.pressureOffset = 50000.0;
        config.hysteresis = 25000.0;
        Transmitter transmitter(config, 1);

        // 100000 + 50000 Pa is 1.5 bar, 0x3FC00000; then, risen,
        // 300000 + 50000 + 25000 Pa is 3.75 bar, 0x40700000.
        QCOMPARE(transmitter.respond(request(ReadHoldingRegisters, 0, 2), 0.0).frame,
                 rtuFrame(1, QByteArray::fromHex("03043fc00000")));
        QCOMPARE(transmitter.respond(request(ReadHoldingRegisters, 0, 2), 10.0).frame,
                 rtuFrame(1, QByteArray::fromHex("030440700000")));
    }

    void refusesWhatItCannotServe_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("complaint");

        QTest::newRow("unknown map") << QStringList{"--slave", "3,map=other"} << "map=other";
        QTest::newRow("map file missing") << QStringList{"--map", "/nonexistent/map.json"} << "/nonexistent/map.json";
        QTest::newRow("bad map") << QStringList{"--map", "BAD"} << "byteOrder";
        QTest::newRow("map twice") << QStringList{"--map", "GOOD", "--map", "GOOD"} << "float-abcd-bar";
        QTest::newRow("raw registers and a map") << QStringList{"--map", "GOOD", "--slave", "3,map=float-abcd-bar,regs=1:2:3:4:5:6:7"}
                                                 << "regs=";
    }
    void refusesWhatItCannotServe()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, complaint);

        QTemporaryDir directory;
        QVERIFY(directory.isValid());
        const QString good = directory.filePath("good.json");
        const QString bad = directory.filePath("bad.json");
        QFile goodFile(good);
        QVERIFY(goodFile.open(QIODevice::WriteOnly) && goodFile.write(FloatAbcdBar) > 0);
        goodFile.close();
        QFile badFile(bad);
        QVERIFY(badFile.open(QIODevice::WriteOnly)
                && badFile.write(QByteArray(FloatAbcdBar).replace(R"("byteOrder": "ABCD", )", "")) > 0);
        badFile.close();
        arguments.replaceInStrings("GOOD", good);
        arguments.replaceInStrings("BAD", bad);

        const CommandLine line = parseCommandLine(QStringList{"velmora-sim"} + arguments);
        QCOMPARE(line.action, CommandLine::Action::Fail);
        QVERIFY2(line.message.contains(complaint), qPrintable(line.message));
    }

    // The program itself, read by libmodbus: a map from a file beside the
    // built-in layout on one line.
    void servesMapsOnTheLine()
    {
        QTemporaryDir directory;
        QVERIFY(directory.isValid());
        QFile file(directory.filePath("int16-dec-unit.json"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(Int16DecUnit) > 0);
        file.close();
        SimulatorProcess simulator({"--map", file.fileName(), "--slave", "3,map=int16-dec-unit,pressure=250000",
                                    "--slave", "4,pressure=100,temp=23.5"});
        QVERIFY(simulator.start());

        std::unique_ptr<modbus_t, ModbusCloser> master(
            modbus_new_rtu(simulator.devicePath().toLocal8Bit().constData(), 9600, 'N', 8, 1));
        QVERIFY(master && modbus_connect(master.get()) == 0);
        modbus_set_response_timeout(master.get(), 0, 300'000);

        quint16 registers[7] = {};
        modbus_set_slave(master.get(), 3);
        QCOMPARE(modbus_read_registers(master.get(), 2, 3, registers), 3);
        QCOMPARE((QVector<quint16>{registers[0], registers[1], registers[2]}), (QVector<quint16>{0, 4, 2500}));
        QCOMPARE(modbus_read_input_registers(master.get(), 2, 3, registers), -1);
        QCOMPARE(errno, int(EMBXILFUN));
        QCOMPARE(modbus_read_registers(master.get(), 0, 5, registers), -1);
        QCOMPARE(errno, int(EMBXILADD));

        modbus_set_slave(master.get(), 4);
        QCOMPARE(modbus_read_input_registers(master.get(), 0, 7, registers), 7);
        QCOMPARE(QVector<quint16>(std::begin(registers), std::end(registers)),
                 (QVector<quint16>{0x0000, 0x42C8, 0, 0, 0, 0, 235}));
        master.reset();
        simulator.stop();
    }
};

QTEST_GUILESS_MAIN(TestSimMaps)
#include "tst_simmaps.moc"
