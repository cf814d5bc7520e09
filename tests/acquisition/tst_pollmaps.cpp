#include "devicerecords.h"
#include "modbusline.h"
#include "pollcycle.h"

#include "simulatorprocess.h"

#include <QJsonDocument>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

const QByteArray Int16DecUnit = R"({"name": "int16-dec-unit", "register": "holding", "pressure": {"address": 4,)"
                                R"( "type": "INT16", "decimalsRegister": 3, "unitRegister": 2,)"
                                R"( "unitCodes": {"0": "MPa", "1": "KPa", "2": "Pa", "3": "Bar"}}})";
const QByteArray FloatAbcdBar = R"({"name": "float-abcd-bar", "register": "holding", "pressure": {"address": 0,)"
                                R"( "type": "FLOAT32", "byteOrder": "ABCD", "unit": "Bar"}, "temperature":)"
                                R"( {"address": 2, "type": "FLOAT32", "byteOrder": "ABCD", "unit": "°C"}})";
// Two requests a poll: registers 0 and 1, then 10.
const QByteArray Gaps = R"({"name": "gaps", "register": "input", "pressure": {"address": 0, "type": "FLOAT32",)"
                        R"( "byteOrder": "CDAB", "unit": "Pa"}, "temperature": {"address": 10, "type": "INT16",)"
                        R"( "scale": 0.1}})";

RegisterMap mapOf(const QByteArray &json)
{
    return mapFromJson(QJsonDocument::fromJson(json).object()).valueOr(RegisterMap());
}

} // namespace

// Devices of different layouts on one line, polled by the poll cycle from
// velmora-sim serving each with its own map: every reading carries the
// numbers the map gives, decoded once.
class TestPollMaps : public QObject
{
    Q_OBJECT

private slots:
    void pollsEveryLayout_data();
    void pollsEveryLayout();
};

void TestPollMaps::pollsEveryLayout_data()
{
    QTest::addColumn<bool>("overTcp");
    QTest::newRow("serial") << false;
    QTest::newRow("tcp") << true;
}

void TestPollMaps::pollsEveryLayout()
{
    QFETCH(bool, overTcp);

    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    QStringList arguments;
    for (const QByteArray &json : {Int16DecUnit, FloatAbcdBar, Gaps}) {
        QFile file(directory.filePath(mapOf(json).name + ".json"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(json) == json.size());
        arguments << "--map" << file.fileName();
    }
    arguments << SimulatorProcess::slaveArguments({"1,pressure=101325,temp=23.5",
                                                   "2,map=int16-dec-unit,pressure=250000",
                                                   "3,map=float-abcd-bar,pressure=250000,temp=21.5",
                                                   "4,map=gaps,pressure=100,temp=23.5",
                                                   "5,pressure=100,temp=23.5"});
    if (overTcp)
        arguments << "--tcp" << "127.0.0.1:0";
    SimulatorProcess simulator(arguments);
    QVERIFY(simulator.start());

    QStandardItemModel devices;
    const QList<RegisterMap> maps{standardMap(), mapOf(Int16DecUnit), mapOf(FloatAbcdBar), mapOf(Gaps),
                                  // A holding-register map for a transmitter that has only input registers.
                                  mapOf(FloatAbcdBar)};
    for (int i = 0; i < maps.size(); ++i) {
        ItemData record = newDeviceRecord(quint8(i + 1), QStringLiteral("KPa"), 3, 1);
        record.map = maps.at(i);
        devices.appendRow(newDeviceItem(record));
    }

    ModbusLine line;
    LineSettings settings;
    if (overTcp) {
        settings.transport = LineSettings::Transport::Tcp;
        settings.host = "127.0.0.1";
        settings.port = simulator.devicePath().toLatin1();
    } else {
        settings.device = simulator.devicePath().toLocal8Bit();
    }
    QSignalSpy opened(&line, &ModbusLine::openFinished);
    line.open(settings);
    QVERIFY(opened.wait(5000));
    QCOMPARE(opened.first().first().toBool(), true);

    PollCycle cycle(&devices, &line);
    QSignalSpy finished(&cycle, &PollCycle::finished);
    QSignalSpy taken(&cycle, &PollCycle::readingTaken);
    cycle.start();
    QVERIFY(finished.wait(10000));
    QCOMPARE(taken.size(), maps.size());

    struct Expected {
        bool answered;
        double pressurePa;
        const char *pressureText;
        double temperature; // NaN: none
        const char *temperatureText;
    };
    const double none = std::nan("");
    const Expected expected[] = {
        {true, 101325.0, "101.325", 23.5, "23.5"},
        {true, 250000.0, "250.000", none, ""},
        {true, 250000.0, "250.000", 21.5, "21.5"},
        {true, 100.0, "0.100", 23.5, "23.5"},
        {false, 0.0, "", none, ""},
    };
    for (int i = 0; i < maps.size(); ++i) {
        const QString device = QStringLiteral("device %1").arg(i + 1);
        const Reading reading = taken.at(i).first().value<Reading>();
        const ItemData record = readRecord(&devices, i);
        QCOMPARE(reading.address, i + 1);
        QVERIFY2(reading.answered == expected[i].answered, qPrintable(device));
        QVERIFY2(record.failCount == (expected[i].answered ? 0u : 1u), qPrintable(device));
        QVERIFY2(record.pressureText == QLatin1String(expected[i].pressureText), qPrintable(record.pressureText));
        QVERIFY2(record.temperatureText == QLatin1String(expected[i].temperatureText),
                 qPrintable(record.temperatureText));
        if (!expected[i].answered)
            continue;
        QVERIFY2(reading.pressurePa == expected[i].pressurePa, qPrintable(device));
        QVERIFY2(std::isnan(expected[i].temperature) ? !reading.hasTemperature()
                                                      : reading.temperature == expected[i].temperature,
                 qPrintable(device));
        QVERIFY2(!record.pressureInvalid && !record.temperatureInvalid, qPrintable(device));
    }

    // The simulator saw two requests a poll for the map with a gap, and one for each other.
    const QJsonObject stats = simulator.stop();
    const int requestsPerDevice[] = {1, 1, 1, 2, 1};
    for (int i = 0; i < maps.size(); ++i)
        QCOMPARE(SimulatorProcess::slaveStats(stats, i + 1).value("requests").toInt(), requestsPerDevice[i]);
}

QTEST_MAIN(TestPollMaps)
#include "tst_pollmaps.moc"
