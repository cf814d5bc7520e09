#include "devices/itemdata.h"
#include "recording/recordformat.h"

#include <QDateTime>
#include <QtTest>

class TestRecordFormat : public QObject
{
    Q_OBJECT

private slots:
    void namesFiles_data();
    void namesFiles();
    void composesRows_data();
    void composesRows();
};

static QDateTime at(const char *text)
{
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate);
}

void TestRecordFormat::namesFiles_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<QDateTime>("named");
    QTest::addColumn<int>("copy");
    QTest::addColumn<QString>("name");

    QTest::newRow("device 12") << 12 << at("2024-03-05T08:09:10") << 1 << "/设备地址12__2024_03_05_08_09_10.csv";
    QTest::newRow("device 1, afternoon") << 1 << at("2026-12-07T13:05:09") << 1 << "/设备地址1__2026_12_07_13_05_09.csv";
    QTest::newRow("device 254") << 254 << at("2025-01-01T00:00:00") << 1 << "/设备地址254__2025_01_01_00_00_00.csv";
    QTest::newRow("second copy") << 5 << at("2026-12-07T10:00:00") << 2 << "/设备地址5__2026_12_07_10_00_00_2.csv";
    QTest::newRow("tenth copy") << 5 << at("2026-12-07T10:00:00") << 10 << "/设备地址5__2026_12_07_10_00_00_10.csv";
}

void TestRecordFormat::namesFiles()
{
    QFETCH(int, address);
    QFETCH(QDateTime, named);
    QFETCH(int, copy);
    QFETCH(QString, name);

    QCOMPARE(recordFileName(address, named, copy), name);
}

void TestRecordFormat::composesRows_data()
{
    QTest::addColumn<uint>("index");
    QTest::addColumn<QString>("pressure");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("temperature");
    QTest::addColumn<QDateTime>("written");
    QTest::addColumn<QString>("row");

    QTest::newRow("first row") << 1u << "101.325" << "KPa" << "23.5" << at("2024-03-05T08:09:12")
                               << "1,2024-03-05 08:09:12,101.325,KPa,23.5,\n";
    QTest::newRow("never read") << 3u << "" << "psi" << "" << at("2026-12-07T21:00:01")
                                << "3,2026-12-07 21:00:01,,psi,,\n";
    QTest::newRow("long recording") << 86400u << "-0.7" << "Kgf/cm2" << "6552.6" << at("2026-01-02T03:04:05")
                                    << "86400,2026-01-02 03:04:05,-0.7,Kgf/cm2,6552.6,\n";
}

void TestRecordFormat::composesRows()
{
    QFETCH(uint, index);
    QFETCH(QString, pressure);
    QFETCH(QString, unit);
    QFETCH(QString, temperature);
    QFETCH(QDateTime, written);
    QFETCH(QString, row);

    ItemData record;
    record.recordIndex = index;
    record.pressureText = pressure;
    record.unit = unit;
    record.temperatureText = temperature;
    QCOMPARE(recordRow(record, written), row);
}

QTEST_APPLESS_MAIN(TestRecordFormat)
#include "tst_recordformat.moc"
