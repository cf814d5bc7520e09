#include "pollrecord.h"

#include <QtTest>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

InputRegisters registersFor(quint32 pressureBits, quint16 temperature = 0)
{
    return {quint16(pressureBits & 0xFFFF), quint16(pressureBits >> 16), 0, 0, 0, 0, temperature};
}

quint32 bitsOf(float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// `value` with `decimals` decimals, rounded half away from zero as the
// program's printf formatting rounds, from the exact decimal expansion that
// the C library prints.
QString fixedText(double value, int decimals)
{
    char exact[512];
    std::snprintf(exact, sizeof exact, "%.200f", std::fabs(value));
    QByteArray digits(exact);
    const int point = digits.indexOf('.');
    bool roundUp = digits.at(point + decimals + 1) >= '5';
    digits.truncate(decimals > 0 ? point + decimals + 1 : point);
    for (int at = digits.size() - 1; roundUp; --at) {
        if (at < 0) {
            digits.prepend('1');
            break;
        }
        if (digits.at(at) == '.')
            continue;
        roundUp = digits.at(at) == '9';
        digits[at] = roundUp ? '0' : char(digits.at(at) + 1);
    }
    return QString::fromLatin1(std::signbit(value) ? "-" + digits : digits);
}

// The expected text, worked out apart from the program: the float32 product,
// truncated to an int for no decimals, otherwise rounded to its decimals.
QString expectedPressureText(float pascals, double factor, int decimals)
{
    const float value = float(double(pascals) * factor);
    if (decimals == 0)
        return QString::number(int(value));
    return fixedText(double(value), decimals);
}

// The same text for each of the decimals 0 to 5.
QStringList forEveryDecimals(const char *text)
{
    QStringList texts;
    for (int decimals = 0; decimals <= 5; ++decimals)
        texts << QString::fromLatin1(text);
    return texts;
}

ItemData device(const QString &unit, int decimals)
{
    ItemData record;
    record.address = 1;
    record.unit = unit;
    record.decimals = quint16(decimals);
    return record;
}

} // namespace

class TestPollReadings : public QObject
{
    Q_OBJECT

private slots:
    void convertsAndFormatsPressure_data();
    void convertsAndFormatsPressure();
    void matchesKnownReadings_data();
    void matchesKnownReadings();
    void formatsOddPressures_data();
    void formatsOddPressures();
    void formatsTemperature_data();
    void formatsTemperature();
    void classifiesStatus_data();
    void classifiesStatus();
    void failedPollKeepsLastReading();
};

void TestPollReadings::convertsAndFormatsPressure_data()
{
    QTest::addColumn<quint32>("pressureBits");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("expected");

    const struct {
        const char *unit;
        double factor;
    } units[] = {
        {"KPa", 0.001},      {"MPa", 0.000001}, {"psi", 0.0001450377},      {"Bar", 0.00001},
        {"mBar", 0.01},      {"Kgf/cm2", 0.00001019716}, {"mmH2O", 0.1021553}, {"Pa", 1.0},
    };
    const float pressures[] = {100.0f, 101325.0f, 12.9f, -0.7f, 2345678.9f, -98765.43f, 0.0f};
    for (const float pascals : pressures) {
        for (const auto &unit : units) {
            for (int decimals = 0; decimals <= 5; ++decimals) {
                QTest::addRow("%g Pa in %s, %d decimals", double(pascals), unit.unit, decimals)
                    << bitsOf(pascals) << QString::fromLatin1(unit.unit) << decimals
                    << expectedPressureText(pascals, unit.factor, decimals);
            }
        }
    }
}

void TestPollReadings::convertsAndFormatsPressure()
{
    QFETCH(quint32, pressureBits);
    QFETCH(QString, unit);
    QFETCH(int, decimals);
    QFETCH(QString, expected);

    ItemData record = device(unit, decimals);
    recordAnswer(record, registersFor(pressureBits));
    QCOMPARE(record.pressureText, expected);
}

void TestPollReadings::matchesKnownReadings_data()
{
    QTest::addColumn<quint16>("low");
    QTest::addColumn<quint16>("high");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("expected");

    QTest::newRow("100 Pa in Pa") << quint16(0x0000) << quint16(0x42C8) << "Pa" << 0 << "100";
    QTest::newRow("100 Pa in KPa") << quint16(0x0000) << quint16(0x42C8) << "KPa" << 2 << "0.10";
    QTest::newRow("100 Pa in mBar") << quint16(0x0000) << quint16(0x42C8) << "mBar" << 1 << "1.0";
    QTest::newRow("100 Pa in mmH2O") << quint16(0x0000) << quint16(0x42C8) << "mmH2O" << 3 << "10.216";
    QTest::newRow("101325 Pa in Bar") << quint16(0xE680) << quint16(0x47C5) << "Bar" << 4 << "1.0132";
    QTest::newRow("101325 Pa in psi") << quint16(0xE680) << quint16(0x47C5) << "psi" << 3 << "14.696";
    QTest::newRow("101325 Pa in KPa") << quint16(0xE680) << quint16(0x47C5) << "KPa" << 3 << "101.325";
    // 1013.25 exactly: half away from zero, as printf-style formatting in Qt rounds.
    QTest::newRow("101325 Pa in mBar, a tie") << quint16(0xE680) << quint16(0x47C5) << "mBar" << 1 << "1013.3";
    QTest::newRow("12.9 truncated") << quint16(0x6666) << quint16(0x414E) << "Pa" << 0 << "12";
    QTest::newRow("-0.7 truncated") << quint16(0x3333) << quint16(0xBF33) << "Pa" << 0 << "0";
    QTest::newRow("-12.9 truncated") << quint16(0x6666) << quint16(0xC14E) << "Pa" << 0 << "-12";
    QTest::newRow("six decimals give no text") << quint16(0x0000) << quint16(0x42C8) << "Pa" << 6 << "";
}

void TestPollReadings::matchesKnownReadings()
{
    QFETCH(quint16, low);
    QFETCH(quint16, high);
    QFETCH(QString, unit);
    QFETCH(int, decimals);
    QFETCH(QString, expected);

    ItemData record = device(unit, decimals);
    record.pressureText = QStringLiteral("old");
    record.temperatureText = QStringLiteral("old");
    recordAnswer(record, {low, high, 0, 0, 0, 0, 235});
    QCOMPARE(record.pressureText, expected);
    QCOMPARE(record.temperatureText, QStringLiteral("23.5"));
}

void TestPollReadings::formatsOddPressures_data()
{
    QTest::addColumn<quint32>("pressureBits");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QStringList>("expectedByDecimals");

    // No number is no reading: no text, marked invalid.
    const QStringList invalid = forEveryDecimals("");
    QTest::newRow("quiet nan") << 0x7FC00000u << "Pa" << invalid;
    QTest::newRow("negative nan") << 0xFFC00000u << "KPa" << invalid;
    QTest::newRow("signalling nan") << 0x7F800001u << "psi" << invalid;
    QTest::newRow("inf") << 0x7F800000u << "Bar" << invalid;
    QTest::newRow("-inf") << 0xFF800000u << "mmH2O" << invalid;
    // A unit nobody knows never passes pascals off under its name.
    QTest::newRow("100 Pa in an unknown unit") << bitsOf(100.0f) << "kPa" << invalid;
    QTest::newRow("100 Pa in no unit") << bitsOf(100.0f) << "" << invalid;

    // Beyond the int range the truncated value prints in full.
    QTest::newRow("largest float")
        << 0x7F7FFFFFu << "Pa"
        << QStringList{"340282346638528859811704183484516925440",
                       "340282346638528859811704183484516925440.0",
                       "340282346638528859811704183484516925440.00",
                       "340282346638528859811704183484516925440.000",
                       "340282346638528859811704183484516925440.0000",
                       "340282346638528859811704183484516925440.00000"};
    QTest::newRow("-3e9") << bitsOf(-3e9f) << "Pa"
                          << QStringList{"-3000000000", "-3000000000.0", "-3000000000.00", "-3000000000.000",
                                         "-3000000000.0000", "-3000000000.00000"};
    QTest::newRow("2^31") << bitsOf(2147483648.0f) << "Pa"
                          << QStringList{"2147483648", "2147483648.0", "2147483648.00", "2147483648.000",
                                         "2147483648.0000", "2147483648.00000"};
    QTest::newRow("just inside the int range")
        << bitsOf(2147483520.0f) << "Pa"
        << QStringList{"2147483520", "2147483520.0", "2147483520.00", "2147483520.000", "2147483520.0000",
                       "2147483520.00000"};
    QTest::newRow("smallest subnormal") << 0x00000001u << "Pa"
                                        << QStringList{"0", "0.0", "0.00", "0.000", "0.0000", "0.00000"};
}

void TestPollReadings::formatsOddPressures()
{
    QFETCH(quint32, pressureBits);
    QFETCH(QString, unit);
    QFETCH(QStringList, expectedByDecimals);

    for (int decimals = 0; decimals <= 5; ++decimals) {
        ItemData record = device(unit, decimals);
        recordAnswer(record, registersFor(pressureBits));
        QCOMPARE(record.pressureText, expectedByDecimals.at(decimals));
        QCOMPARE(record.pressureInvalid, expectedByDecimals.at(decimals).isEmpty());
        QVERIFY(!record.temperatureInvalid);
    }
}

void TestPollReadings::formatsTemperature_data()
{
    QTest::addColumn<quint16>("reg");
    QTest::addColumn<QString>("expected");

    QTest::newRow("23.5") << quint16(235) << "23.5";
    QTest::newRow("zero") << quint16(0) << "0.0";
    QTest::newRow("-1.0 in two's complement") << quint16(0xFFF6) << "-1.0";
    QTest::newRow("-0.1") << quint16(0xFFFF) << "-0.1";
    QTest::newRow("highest") << quint16(0x7FFF) << "3276.7";
    QTest::newRow("-40.3") << quint16(65536 - 403) << "-40.3";
    QTest::newRow("-273.1, just above absolute zero") << quint16(65536 - 2731) << "-273.1";
    // Below absolute zero is no temperature: no text, marked invalid.
    QTest::newRow("-273.2") << quint16(65536 - 2732) << "";
    QTest::newRow("lowest") << quint16(0x8000) << "";
}

void TestPollReadings::formatsTemperature()
{
    QFETCH(quint16, reg);
    QFETCH(QString, expected);

    ItemData record = device(QStringLiteral("Pa"), 0);
    recordAnswer(record, registersFor(bitsOf(100.0f), reg));
    QCOMPARE(record.temperatureText, expected);
    QCOMPARE(record.temperatureInvalid, expected.isEmpty());
    QCOMPARE(record.pressureText, QStringLiteral("100"));
}

void TestPollReadings::classifiesStatus_data()
{
    QTest::addColumn<quint32>("failCount");
    QTest::addColumn<quint32>("totalCount");
    QTest::addColumn<int>("status");

    QTest::newRow("first poll") << 0u << 1u << int(Good);
    QTest::newRow("19 failures in 20 polls") << 19u << 20u << int(Good);
    QTest::newRow("20 failures, success at poll 21") << 20u << 21u << int(Poor);
    QTest::newRow("1 failure in 21") << 1u << 21u << int(Good);
    QTest::newRow("2 failures in 21") << 2u << 21u << int(Poor);
    QTest::newRow("exactly 5 % of 100") << 5u << 100u << int(Good);
    QTest::newRow("exactly 5 % of 40") << 2u << 40u << int(Good);
    QTest::newRow("just above 5 %") << 2u << 39u << int(Poor);
    QTest::newRow("6 in 100") << 6u << 100u << int(Poor);
    QTest::newRow("huge counts, exactly 5 %") << 214748364u << 4294967280u << int(Good);
}

void TestPollReadings::classifiesStatus()
{
    QFETCH(quint32, failCount);
    QFETCH(quint32, totalCount);
    QFETCH(int, status);

    QCOMPARE(statusAfterSuccess(failCount, totalCount), status);

    // The same counts reached through a successful poll.
    ItemData record = device(QStringLiteral("Pa"), 0);
    record.failCount = failCount;
    record.totalCount = totalCount - 1;
    QCOMPARE(recordAnswer(record, registersFor(bitsOf(1.0f))), status);
    QCOMPARE(record.failCount, failCount);
    QCOMPARE(record.totalCount, totalCount);
}

void TestPollReadings::failedPollKeepsLastReading()
{
    ItemData record = device(QStringLiteral("KPa"), 3);
    recordAnswer(record, registersFor(bitsOf(101325.0f), 235));

    QCOMPARE(recordFailure(record), int(Offline));
    QCOMPARE(record.failCount, 1u);
    QCOMPARE(record.totalCount, 2u);
    QCOMPARE(record.pressureText, QStringLiteral("101.325"));
    QCOMPARE(record.temperatureText, QStringLiteral("23.5"));
}

QTEST_GUILESS_MAIN(TestPollReadings)
#include "tst_pollreadings.moc"
