#include "failureshare.h"

#include <QtTest>

// The lamp turns yellow and a run fails above 5 %; a device's summary passes
// at 5 % and below: one boundary, met by all three.
class TestFailureShare : public QObject
{
    Q_OBJECT

private slots:
    void boundary_data();
    void boundary();
};

void TestFailureShare::boundary_data()
{
    QTest::addColumn<qint64>("failed");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<bool>("exceeds");

    QTest::newRow("nothing yet") << qint64(0) << qint64(0) << false;
    QTest::newRow("one poll, failed") << qint64(1) << qint64(1) << true;
    QTest::newRow("1 of 20 polls") << qint64(1) << qint64(20) << false;
    QTest::newRow("1 of 19 polls") << qint64(1) << qint64(19) << true;
    QTest::newRow("counts near 2^32, exactly 5 %") << qint64(214748364) << qint64(4294967280) << false;
    QTest::newRow("counts near 2^32, one more") << qint64(214748365) << qint64(4294967280) << true;
    QTest::newRow("3 s lost of a minute") << qint64(3000) << qint64(60000) << false;
    QTest::newRow("3.001 s lost of a minute") << qint64(3001) << qint64(60000) << true;
}

void TestFailureShare::boundary()
{
    QFETCH(qint64, failed);
    QFETCH(qint64, total);
    QFETCH(bool, exceeds);

    QCOMPARE(exceedsFailureShare(failed, total), exceeds);
}

QTEST_GUILESS_MAIN(TestFailureShare)
#include "tst_failureshare.moc"
