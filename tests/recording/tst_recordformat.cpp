#include "itemdata.h"
#include "recordformat.h"

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
    void findsDueTicks_data();
    void findsDueTicks();
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
    QTest::addColumn<bool>("current");
    QTest::addColumn<QString>("row");

    QTest::newRow("first row") << 1u << "101.325" << "KPa" << "23.5" << at("2024-03-05T08:09:12") << true
                               << "1,2024-03-05 08:09:12,101.325,KPa,23.5,\n";
    QTest::newRow("never read") << 3u << "" << "psi" << "" << at("2026-12-07T21:00:01") << false
                                << "3,2026-12-07 21:00:01,,psi,,\n";
    QTest::newRow("long recording") << 86400u << "-0.7" << "Kgf/cm2" << "6552.6" << at("2026-01-02T03:04:05") << true
                                    << "86400,2026-01-02 03:04:05,-0.7,Kgf/cm2,6552.6,\n";
    // The tile keeps the last reading; the file does not claim it again.
    QTest::newRow("latest poll failed") << 12u << "0.2508" << "MPa" << "41.3" << at("2026-12-07T04:39:11") << false
                                        << "12,2026-12-07 04:39:11,,MPa,,\n";
}

void TestRecordFormat::composesRows()
{
    QFETCH(uint, index);
    QFETCH(QString, pressure);
    QFETCH(QString, unit);
    QFETCH(QString, temperature);
    QFETCH(QDateTime, written);
    QFETCH(bool, current);
    QFETCH(QString, row);

    ItemData record;
    record.recordIndex = index;
    record.pressureText = pressure;
    record.unit = unit;
    record.temperatureText = temperature;
    QCOMPARE(recordRow(record, written, current), row);
}

void TestRecordFormat::findsDueTicks_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<int>("period");
    QTest::addColumn<bool>("due");

    QTest::newRow("tick 0, every device") << 0 << 0 << 9999 << true;
    QTest::newRow("period 1, any tick") << 7 << 7 << 1 << true;
    QTest::newRow("period 3, tick 3") << 3 << 3 << 3 << true;
    QTest::newRow("period 3, tick 4") << 4 << 4 << 3 << false;
    QTest::newRow("period 3, ticks 4 and 5") << 4 << 5 << 3 << false;
    QTest::newRow("period 3, ticks 4 to 6") << 4 << 6 << 3 << true;
    QTest::newRow("period 60, ticks 55 to 61") << 55 << 61 << 60 << true;
    QTest::newRow("period 60, ticks 61 to 119") << 61 << 119 << 60 << false;
    QTest::newRow("period 9999, a day of ticks") << 1 << 86400 << 9999 << true;
}

void TestRecordFormat::findsDueTicks()
{
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(int, period);

    QTEST(recordIsDue(first, last, period), "due");
}

QTEST_APPLESS_MAIN(TestRecordFormat)
#include "tst_recordformat.moc"
