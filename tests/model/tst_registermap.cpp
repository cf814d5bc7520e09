#include "inputregisters.h"
#include "registerdecoding.h"
#include "registermap.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr float NoValue = std::numeric_limits<float>::quiet_NaN();

quint32 bitsOf(float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Equal to the bit, the sign of a zero included; any NaN equals any NaN.
bool sameFloat(float a, float b)
{
    return (std::isnan(a) && std::isnan(b)) || bitsOf(a) == bitsOf(b);
}

QJsonObject objectOf(const QString &json)
{
    return QJsonDocument::fromJson(json.toUtf8()).object();
}

// "标准" names the built-in map; anything else is a map's JSON.
RegisterMap mapOf(const QString &json)
{
    if (json == standardMapName())
        return standardMap();
    const Result<RegisterMap> read = mapFromJson(objectOf(json));
    if (!read.ok())
        qWarning() << read.error();
    return read.valueOr(RegisterMap());
}

// What a poll with the map reads from a transmitter holding `registers`
// from address 0 (0 beyond them).
MapRegisters readWith(const RegisterMap &map, const QVector<quint16> &registers)
{
    MapRegisters read;
    read.ranges = registerRanges(map);
    for (const RegisterRange &range : qAsConst(read.ranges)) {
        for (int address = range.start; address < range.end(); ++address)
            read.values.append(registers.value(address));
    }
    return read;
}

QString oneValue(const QString &type, const QString &extra = QString())
{
    return QStringLiteral(R"({"name": "m", "register": "holding", "pressure": {"address": 0, "type": "%1"%2}})")
        .arg(type, extra);
}

const QString Int16DecUnit = QStringLiteral(
    R"({"name": "int16-dec-unit", "register": "holding", "pressure": {"address": 4, "type": "INT16",)"
    R"( "decimalsRegister": 3, "unitRegister": 2, "unitCodes": {"0": "MPa", "1": "KPa", "2": "Pa", "3": "Bar"}}})");
const QString FloatAbcdBar = QStringLiteral(
    R"({"name": "float-abcd-bar", "register": "holding", "pressure": {"address": 0, "type": "FLOAT32",)"
    R"( "byteOrder": "ABCD", "unit": "Bar"}, "temperature": {"address": 2, "type": "FLOAT32", "byteOrder": "ABCD",)"
    R"( "unit": "°C"}})");
const QString Int32Fixed = QStringLiteral(
    R"({"name": "int32-fixed", "register": "input", "pressure": {"address": 0, "type": "INT32", "byteOrder": "ABCD",)"
    R"( "scale": 0.01, "unit": "mBar"}, "temperature": {"address": 2, "type": "INT32", "byteOrder": "ABCD",)"
    R"( "scale": 0.01, "unit": "°C"}})");
const QString TemperatureDecimals = QStringLiteral(
    R"({"name": "t", "register": "holding", "pressure": {"address": 0, "type": "UINT16", "unit": "Pa"},)"
    R"( "temperature": {"address": 1, "type": "INT16", "decimalsRegister": 2}})");

} // namespace

class TestRegisterMap : public QObject
{
    Q_OBJECT

private slots:
    void decodes_data();
    void decodes();
    void standardMapDecodesAsTheFixedLayout();
    void readsItsRegistersInRanges_data();
    void readsItsRegistersInRanges();
    void refusesABadMapWhole_data();
    void refusesABadMapWhole();
    void roundTripsThroughJson();
    void sampleMapsAreGood();
};

void TestRegisterMap::decodes_data()
{
    QTest::addColumn<QString>("map");
    QTest::addColumn<QVector<quint16>>("registers");
    QTest::addColumn<bool>("failed");
    QTest::addColumn<float>("pressurePa");
    QTest::addColumn<bool>("hasTemperature");
    QTest::addColumn<float>("temperature");

    const QString standard = standardMapName();
    QTest::newRow("标准 101325 Pa, 23.5 °C") << standard << QVector<quint16>{0xE680, 0x47C5, 9, 9, 9, 9, 235}
                                           << false << 101325.0f << true << 23.5f;
    QTest::newRow("标准 temperature is signed") << standard << QVector<quint16>{0, 0x42C8, 0, 0, 0, 0, 0xFFF6}
                                              << false << 100.0f << true << -1.0f;
    QTest::newRow("标准 0x8000 is below absolute zero")
        << standard << QVector<quint16>{0, 0x42C8, 0, 0, 0, 0, 0x8000} << false << 100.0f << true << NoValue;
    QTest::newRow("标准 NaN pressure") << standard << QVector<quint16>{0, 0x7FC0, 0, 0, 0, 0, 235} << false
                                     << NoValue << true << 23.5f;
    QTest::newRow("标准 keeps a negative zero") << standard << QVector<quint16>{0, 0x8000, 0, 0, 0, 0, 0} << false
                                              << -0.0f << true << 0.0f;

    // 123456.0 is 0x47F12000: bytes A = 47, B = F1, C = 20, D = 00.
    const QString pascals = QStringLiteral(R"(, "byteOrder": "%1", "unit": "Pa")");
    QTest::newRow("FLOAT32 ABCD") << oneValue("FLOAT32", pascals.arg("ABCD")) << QVector<quint16>{0x47F1, 0x2000}
                                  << false << 123456.0f << false << NoValue;
    QTest::newRow("FLOAT32 CDAB") << oneValue("FLOAT32", pascals.arg("CDAB")) << QVector<quint16>{0x2000, 0x47F1}
                                  << false << 123456.0f << false << NoValue;
    QTest::newRow("FLOAT32 BADC") << oneValue("FLOAT32", pascals.arg("BADC")) << QVector<quint16>{0xF147, 0x0020}
                                  << false << 123456.0f << false << NoValue;
    QTest::newRow("FLOAT32 DCBA") << oneValue("FLOAT32", pascals.arg("DCBA")) << QVector<quint16>{0x0020, 0xF147}
                                  << false << 123456.0f << false << NoValue;
    QTest::newRow("FLOAT32 infinity") << oneValue("FLOAT32", pascals.arg("ABCD")) << QVector<quint16>{0x7F80, 0}
                                      << false << NoValue << false << NoValue;
    QTest::newRow("FLOAT32 offset") << oneValue("FLOAT32", pascals.arg("ABCD") + R"(, "offset": 100)")
                                    << QVector<quint16>{0x47F1, 0x2000} << false << 123556.0f << false << NoValue;
    // 70000 is 0x00011170; -2 is 0xFFFFFFFE.
    QTest::newRow("UINT32 CDAB") << oneValue("UINT32", pascals.arg("CDAB")) << QVector<quint16>{0x1170, 0x0001}
                                 << false << 70000.0f << false << NoValue;
    QTest::newRow("UINT32 DCBA") << oneValue("UINT32", pascals.arg("DCBA")) << QVector<quint16>{0x7011, 0x0100}
                                 << false << 70000.0f << false << NoValue;
    QTest::newRow("UINT32 ABCD all ones") << oneValue("UINT32", pascals.arg("ABCD"))
                                          << QVector<quint16>{0xFFFF, 0xFFFF} << false << 4294967296.0f << false
                                          << NoValue;
    QTest::newRow("INT32 BADC") << oneValue("INT32", pascals.arg("BADC")) << QVector<quint16>{0xFFFF, 0xFEFF}
                                << false << -2.0f << false << NoValue;
    QTest::newRow("INT32 marker") << oneValue("INT32", pascals.arg("ABCD") + R"(, "invalid": ["0x7FFFFFFF"])")
                                  << QVector<quint16>{0x7FFF, 0xFFFF} << false << NoValue << false << NoValue;

    // 0.01 mbar and 0.01 °C per count: 100000 counts and -2350 counts.
    QTest::newRow("INT32 fixed point") << Int32Fixed << QVector<quint16>{0x0001, 0x86A0, 0xFFFF, 0xF6D2} << false
                                       << 100000.0f << true << -23.5f;
    QTest::newRow("UINT16") << oneValue("UINT16", R"(, "unit": "Pa")") << QVector<quint16>{0xFFFF} << false
                            << 65535.0f << false << NoValue;
    QTest::newRow("INT16") << oneValue("INT16", R"(, "unit": "Pa")") << QVector<quint16>{0xFFFF} << false << -1.0f
                           << false << NoValue;
    // A share of a 0–1000 kPa span offset by -100 kPa: 5000 / 10000 × 1000 - 100.
    QTest::newRow("INT16 share of span") << oneValue("INT16", R"(, "unit": "KPa", "scale": 0.1, "offset": -100)")
                                         << QVector<quint16>{5000} << false << 400000.0f << false << NoValue;

    const QString markers = QStringLiteral(R"(, "unit": "Pa", "invalid": [32767, "0x8000"])");
    QTest::newRow("INT16 marker 0x7FFF") << oneValue("INT16", markers) << QVector<quint16>{0x7FFF} << false
                                         << NoValue << false << NoValue;
    QTest::newRow("INT16 marker 0x8000") << oneValue("INT16", markers) << QVector<quint16>{0x8000} << false
                                         << NoValue << false << NoValue;
    QTest::newRow("INT16 beside a marker") << oneValue("INT16", markers) << QVector<quint16>{0x7FFE} << false
                                           << 32766.0f << false << NoValue;
    QTest::newRow("UINT16 marker -1") << oneValue("UINT16", R"(, "unit": "Pa", "invalid": [-1])")
                                      << QVector<quint16>{0xFFFF} << false << NoValue << false << NoValue;

    // Registers 2 = unit code, 3 = decimals, 4 = value; -1234 is 0xFB2E.
    QTest::newRow("unit KPa, 2 decimals") << Int16DecUnit << QVector<quint16>{0, 0, 1, 2, 12345} << false
                                          << 123450.0f << false << NoValue;
    QTest::newRow("unit Bar, 3 decimals") << Int16DecUnit << QVector<quint16>{0, 0, 3, 3, 0xFB2E} << false
                                          << -123400.0f << false << NoValue;
    QTest::newRow("unit Pa, no decimals") << Int16DecUnit << QVector<quint16>{0, 0, 2, 0, 500} << false << 500.0f
                                          << false << NoValue;
    QTest::newRow("4 decimals") << Int16DecUnit << QVector<quint16>{0, 0, 2, 4, 12345} << false << 1.2345f << false
                                << NoValue;
    QTest::newRow("5 decimals fail") << Int16DecUnit << QVector<quint16>{0, 0, 1, 5, 12345} << true << NoValue
                                     << false << NoValue;
    QTest::newRow("unknown unit code fails") << Int16DecUnit << QVector<quint16>{0, 0, 7, 2, 12345} << true
                                             << NoValue << false << NoValue;

    // 2.5 bar is 0x40200000, 21.5 °C is 0x41AC0000.
    QTest::newRow("float bar and °C") << FloatAbcdBar << QVector<quint16>{0x4020, 0, 0x41AC, 0} << false
                                      << 250000.0f << true << 21.5f;
    QTest::newRow("NaN temperature only") << FloatAbcdBar << QVector<quint16>{0x4020, 0, 0x7FC0, 0} << false
                                          << 250000.0f << true << NoValue;
    QTest::newRow("temperature decimals") << TemperatureDecimals << QVector<quint16>{100, 2345, 2} << false
                                          << 100.0f << true << 23.45f;
    QTest::newRow("temperature decimals fail") << TemperatureDecimals << QVector<quint16>{100, 2345, 9} << true
                                               << NoValue << false << NoValue;
}

void TestRegisterMap::decodes()
{
    QFETCH(QString, map);
    QFETCH(QVector<quint16>, registers);
    QFETCH(bool, failed);
    QFETCH(float, pressurePa);
    QFETCH(bool, hasTemperature);
    QFETCH(float, temperature);

    const RegisterMap registerMap = mapOf(map);
    QVERIFY(mapProblem(registerMap).isEmpty());
    const DecodedValues decoded = decodeRegisters(registerMap, readWith(registerMap, registers));
    QCOMPARE(decoded.failed(), failed);
    if (failed)
        return;
    QVERIFY2(sameFloat(decoded.pressurePa, pressurePa), qPrintable(QString::number(double(decoded.pressurePa), 'g', 9)));
    QCOMPARE(decoded.hasTemperature, hasTemperature);
    if (hasTemperature)
        QVERIFY2(sameFloat(decoded.temperature, temperature), qPrintable(QString::number(double(decoded.temperature))));
}

// The built-in map gives the very numbers the fixed seven-register layout
// always gave: every temperature register, and pressures of every kind.
void TestRegisterMap::standardMapDecodesAsTheFixedLayout()
{
    const RegisterMap map = standardMap();
    const quint32 pressures[] = {0x47C5E680, 0x80000000, 0x00000001, 0x007FFFFF, 0x7F7FFFFF, 0xFF7FFFFF,
                                 0x7F800000, 0xFF800000, 0x7FC00000, 0xFFFFFFFF, 0x3F800001, 0xC2C80000};
    for (const quint32 bits : pressures) {
        for (int temperature = 0; temperature <= 0xFFFF; temperature += bits == pressures[0] ? 1 : 4099) {
            const InputRegisters fixed{quint16(bits), quint16(bits >> 16), 0, 0, 0, 0, quint16(temperature)};
            const DecodedValues decoded = decodeRegisters(
                map, readWith(map, QVector<quint16>(fixed.begin(), fixed.end())));
            const float pascals = pressureFromRegisters(fixed);
            const float celsius = temperatureFromRegisters(fixed);
            QVERIFY(!decoded.failed());
            QVERIFY2(sameFloat(decoded.pressurePa, isValidPressure(pascals) ? pascals : NoValue),
                     qPrintable(QString::number(bits, 16)));
            QVERIFY2(sameFloat(decoded.temperature, isValidTemperature(celsius) ? celsius : NoValue),
                     qPrintable(QString::number(temperature)));
        }
    }
}

void TestRegisterMap::readsItsRegistersInRanges_data()
{
    QTest::addColumn<QString>("map");
    // Start and count of each request, in order.
    QTest::addColumn<QVector<int>>("ranges");

    const QString gaps = QStringLiteral(
        R"({"name": "g", "register": "input", "pressure": {"address": 0, "type": "FLOAT32", "byteOrder": "ABCD",)"
        R"( "unit": "Pa"}, "temperature": {"address": 10, "type": "INT16"}%1})");
    QTest::newRow("标准: seven from 0") << standardMapName() << QVector<int>{0, 7};
    QTest::newRow("unit, decimals, value") << Int16DecUnit << QVector<int>{2, 3};
    QTest::newRow("two floats") << FloatAbcdBar << QVector<int>{0, 4};
    QTest::newRow("gap left out") << gaps.arg(QString()) << QVector<int>{0, 2, 10, 1};
    QTest::newRow("gap read as a block") << gaps.arg(R"(, "block": true)") << QVector<int>{0, 11};
    QTest::newRow("decimals far below") << oneValue("INT16", R"(, "unit": "Pa", "decimalsRegister": 300)")
                                        << QVector<int>{0, 1, 300, 1};
    QTest::newRow("block of 125") << QStringLiteral(
        R"({"name": "b", "register": "input", "block": true, "pressure": {"address": 1000, "type": "INT16",)"
        R"( "unit": "Pa"}, "temperature": {"address": 1124, "type": "INT16"}})") << QVector<int>{1000, 125};
}

void TestRegisterMap::readsItsRegistersInRanges()
{
    QFETCH(QString, map);
    QFETCH(QVector<int>, ranges);

    const RegisterMap registerMap = mapOf(map);
    QVERIFY(mapProblem(registerMap).isEmpty());
    QVector<int> read;
    for (const RegisterRange &range : registerRanges(registerMap))
        read << range.start << range.count;
    QCOMPARE(read, ranges);
}

void TestRegisterMap::refusesABadMapWhole_data()
{
    QTest::addColumn<QString>("map");
    // What the refusal must name.
    QTest::addColumn<QStringList>("named");

    const QString p = QStringLiteral(R"({"name": "m", "register": "holding", "pressure": {%1}%2})");
    const QString int16 = QStringLiteral(R"("address": 0, "type": "INT16", "unit": "Pa")");
    const QString float32 = QStringLiteral(R"("address": 0, "type": "FLOAT32", "byteOrder": "ABCD", "unit": "Pa")");
    const auto row = [](const char *name, const QString &json, const QStringList &named) {
        QTest::newRow(name) << json << named;
    };
    row("no name", R"({"register": "input", "pressure": {"address": 0, "type": "INT16", "unit": "Pa"}})", {"name"});
    row("the built-in name", p.arg(int16, QString()).replace(R"("m")", R"("标准")"), {"name", "标准"});
    row("unknown register kind", p.arg(int16, QString()).replace("holding", "coil"), {"register", "coil"});
    row("no pressure", R"({"name": "m", "register": "input"})", {"pressure"});
    row("unknown type", p.arg(QString(int16).replace("INT16", "FLOAT"), QString()), {"pressure", "type", "FLOAT"});
    row("32 bits without byte order", p.arg(R"("address": 0, "type": "UINT32", "unit": "Pa")", QString()),
        {"pressure", "byteOrder"});
    row("byte order of 16 bits", p.arg(int16 + R"(, "byteOrder": "ABCD")", QString()), {"pressure", "byteOrder"});
    row("unknown byte order", p.arg(QString(float32).replace("ABCD", "ACBD"), QString()), {"byteOrder", "ACBD"});
    row("negative address", p.arg(R"("address": -1, "type": "INT16", "unit": "Pa")", QString()), {"address", "-1"});
    row("address beyond 65535", p.arg(R"("address": 65536, "type": "INT16", "unit": "Pa")", QString()),
        {"address", "65536"});
    row("fractional address", p.arg(R"("address": 1.5, "type": "INT16", "unit": "Pa")", QString()), {"address"});
    row("float in the last register", p.arg(QString(float32).replace(R"("address": 0)", R"("address": 65535)"), QString()),
        {"pressure", "address", "65535"});
    row("zero scale", p.arg(int16 + R"(, "scale": 0)", QString()), {"pressure", "scale"});
    row("scale as text", p.arg(int16 + R"(, "scale": "0.1")", QString()), {"pressure", "scale"});
    row("unknown unit", p.arg(R"("address": 0, "type": "INT16", "unit": "furlong")", QString()),
        {"pressure", "unit", "furlong"});
    row("no unit at all", p.arg(R"("address": 0, "type": "INT16")", QString()), {"pressure", "unit", "unitRegister"});
    row("unit and unit register", p.arg(int16 + R"(, "unitRegister": 1, "unitCodes": {"0": "Pa"})", QString()),
        {"unit", "unitRegister"});
    row("unit register without codes", p.arg(R"("address": 0, "type": "INT16", "unitRegister": 1)", QString()),
        {"unitRegister", "unitCodes"});
    row("a code that is no number",
        p.arg(R"("address": 0, "type": "INT16", "unitRegister": 1, "unitCodes": {"x": "Pa"})", QString()),
        {"unitCodes", "x"});
    row("a code for no known unit",
        p.arg(R"("address": 0, "type": "INT16", "unitRegister": 1, "unitCodes": {"3": "inHg"})", QString()),
        {"unitCodes", "3", "inHg"});
    row("temperature in kelvin", p.arg(int16, R"(, "temperature": {"address": 5, "type": "INT16", "unit": "K"})"),
        {"temperature", "unit", "K"});
    row("marker beyond 16 bits", p.arg(int16 + R"(, "invalid": [65536])", QString()), {"pressure", "invalid", "65536"});
    row("marker that is no integer", p.arg(int16 + R"(, "invalid": ["0xZZ"])", QString()), {"pressure", "invalid"});
    row("overlapping values", p.arg(float32, R"(, "temperature": {"address": 1, "type": "INT16"})"),
        {"1", "pressure", "temperature"});
    row("decimals in the value", p.arg(float32 + R"(, "decimalsRegister": 1)", QString()),
        {"1", "decimalsRegister"});
    row("block beyond 125", p.arg(int16, R"(, "block": true, "temperature": {"address": 125, "type": "INT16"})"),
        {"block", "126"});
    row("block that is no flag", p.arg(int16, R"(, "block": "yes")"), {"block"});
    row("misspelt key", p.arg(int16 + R"(, "scal": 10)", QString()), {"pressure", "scal"});
}

void TestRegisterMap::refusesABadMapWhole()
{
    QFETCH(QString, map);
    QFETCH(QStringList, named);

    const QJsonObject object = objectOf(map);
    QVERIFY2(!object.isEmpty(), qPrintable(map));
    const Result<RegisterMap> read = mapFromJson(object);
    QVERIFY(!read.ok());
    for (const QString &part : qAsConst(named))
        QVERIFY2(read.error().contains(part), qPrintable(read.error()));
}

void TestRegisterMap::roundTripsThroughJson()
{
    const QString everything = QStringLiteral(
        R"({"name": "every field", "register": "input", "block": true,)"
        R"( "pressure": {"address": 10, "type": "UINT32", "byteOrder": "DCBA", "scale": 0.5, "offset": -3,)"
        R"( "decimalsRegister": 20, "unitRegister": 21, "unitCodes": {"7": "psi", "12": "Kgf/cm2"},)"
        R"( "invalid": [4294967295, -1]},)"
        R"( "temperature": {"address": 30, "type": "INT16", "unit": "°C", "decimalsRegister": 20,)"
        R"( "invalid": [-32768]}})");
    for (const QString &json : {Int16DecUnit, FloatAbcdBar, Int32Fixed, everything}) {
        const QJsonObject written = objectOf(json);
        const Result<RegisterMap> read = mapFromJson(written);
        QVERIFY2(read.ok(), qPrintable(read.error()));
        QCOMPARE(mapToJson(read.value()), written);
        QVERIFY(mapFromJson(mapToJson(read.value())).valueOr(RegisterMap()) == read.value());
    }

    // Written as the numbers they are, however they were typed.
    const Result<RegisterMap> hex = mapFromJson(objectOf(oneValue("INT16", R"(, "unit": "Pa", "invalid": ["0x7fff"])")));
    QVERIFY2(hex.ok(), qPrintable(hex.error()));
    QCOMPARE(mapToJson(hex.value()).value("pressure").toObject().value("invalid").toArray(), QJsonArray{32767});

    const RegisterMap standard = standardMap();
    QVERIFY(mapProblem(standard).isEmpty());
    QCOMPARE(mapToJson(standard),
             objectOf(R"({"name": "标准", "register": "input", "block": true,)"
                      R"( "pressure": {"address": 0, "type": "FLOAT32", "byteOrder": "CDAB", "unit": "Pa"},)"
                      R"( "temperature": {"address": 6, "type": "INT16", "scale": 0.1, "unit": "°C"}})"));
}

// The README's sample maps, one a file, each named as its file.
void TestRegisterMap::sampleMapsAreGood()
{
    const QDir samples(QStringLiteral(VELMORA_SOURCE_DIR "/docs/maps"));
    const QStringList files = samples.entryList({QStringLiteral("*.json")}, QDir::Files);
    QCOMPARE(files.size(), 6);
    for (const QString &name : files) {
        QFile file(samples.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject written = QJsonDocument::fromJson(file.readAll()).object();
        const Result<RegisterMap> read = mapFromJson(written);
        QVERIFY2(read.ok(), qPrintable(name + ": " + read.error()));
        QCOMPARE(read.value().name + ".json", name);
        QCOMPARE(mapToJson(read.value()), written);
    }
}

QTEST_GUILESS_MAIN(TestRegisterMap)
#include "tst_registermap.moc"
