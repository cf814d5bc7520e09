#include "crc16.h"
#include "fault.h"
#include "hostile.h"
#include "slaveanswer.h"
#include "rtuframer.h"

#include <QtTest>

using namespace sim;

namespace {

const RegisterBlock Atmosphere = {0xE680, 0x47C5, 0, 0, 0, 0, 0xFFF6};

QByteArray request(const char *hexWithoutCrc)
{
    return withCrc(QByteArray::fromHex(hexWithoutCrc));
}

} // namespace

class TestSimProtocol : public QObject {
    Q_OBJECT

private slots:
    void crc_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("crc");
        QTest::newRow("read input registers 1") << QByteArray::fromHex("010400000007") << 0xC8B1;
        QTest::newRow("read holding registers 1") << QByteArray::fromHex("01030000000a") << 0xCDC5;
        QTest::newRow("read holding registers 17") << QByteArray::fromHex("11030000000a") << 0x5DC7;
        QTest::newRow("check string 123456789") << QByteArray("123456789") << 0x4B37;
    }
    void crc()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, crc);
        QCOMPARE(int(crc16Modbus(data)), crc);
        const QByteArray framed = withCrc(data);
        QCOMPARE(quint8(framed[framed.size() - 2]), quint8(crc & 0xFF)); // low byte first
        QCOMPARE(quint8(framed[framed.size() - 1]), quint8(crc >> 8));
        QVERIFY(hasValidCrc(framed));
        QByteArray corrupted = framed;
        corrupted[0] = char(corrupted[0] ^ 0x01);
        QVERIFY(!hasValidCrc(corrupted));
    }

    void framing_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<bool>("silentAtEnd");
        QTest::addColumn<QList<QByteArray>>("frames");
        QTest::addColumn<int>("droppedRuns");

        const QByteArray good = request("010400000007");
        const QByteArray other = request("020400000007");
        QByteArray badCrc = good;
        badCrc[7] = char(badCrc[7] ^ 0x55);

        QTest::newRow("whole frame") << QList<QByteArray>{good} << false << QList<QByteArray>{good} << 0;
        QTest::newRow("byte by byte")
            << QList<QByteArray>{good.left(1), good.mid(1, 3), good.mid(4, 1), good.mid(5)} << false
            << QList<QByteArray>{good} << 0;
        QTest::newRow("two frames in one chunk") << QList<QByteArray>{good + other} << false
                                                 << QList<QByteArray>{good, other} << 0;
        QTest::newRow("truncated waits") << QList<QByteArray>{good.left(5)} << false << QList<QByteArray>{} << 0;
        QTest::newRow("truncated then silence is noise") << QList<QByteArray>{good.left(5)} << true
                                                         << QList<QByteArray>{} << 1;
        QTest::newRow("bad crc") << QList<QByteArray>{badCrc} << true << QList<QByteArray>{} << 1;
        QTest::newRow("bad crc then good frame") << QList<QByteArray>{badCrc, good} << true
                                                 << QList<QByteArray>{good} << 1;
        QTest::newRow("garbage before frame") << QList<QByteArray>{QByteArray::fromHex("ff13"), good} << true
                                              << QList<QByteArray>{good} << 1;
        QTest::newRow("garbage with known function before frame")
            << QList<QByteArray>{QByteArray::fromHex("0704") + good} << false << QList<QByteArray>{good} << 1;
        const QByteArray unknownFunction = request("014100");
        QTest::newRow("unknown function waits for silence") << QList<QByteArray>{unknownFunction} << false
                                                             << QList<QByteArray>{} << 0;
        QTest::newRow("unknown function ended by silence") << QList<QByteArray>{unknownFunction} << true
                                                            << QList<QByteArray>{unknownFunction} << 0;
        const QByteArray writeMultiple = request("011000000002041234abcd");
        QTest::newRow("length from byte count") << QList<QByteArray>{writeMultiple.left(6), writeMultiple.mid(6)}
                                                << false << QList<QByteArray>{writeMultiple} << 0;
    }
    void framing()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(bool, silentAtEnd);
        QFETCH(QList<QByteArray>, frames);
        QFETCH(int, droppedRuns);

        RtuFramer framer;
        QList<QByteArray> taken;
        for (const QByteArray &chunk : chunks) {
            framer.append(chunk);
            while (const auto frame = framer.takeFrame(false))
                taken.append(*frame);
        }
        if (silentAtEnd) {
            while (const auto frame = framer.takeFrame(true))
                taken.append(*frame);
            QVERIFY(framer.idle());
        }
        QCOMPARE(taken, frames);
        QCOMPARE(framer.droppedRuns(), droppedRuns);
    }

    void answers_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("hasData");
        QTest::newRow("all seven registers")
            << request("010400000007") << request("01040ee68047c50000000000000000fff6") << true;
        QTest::newRow("last register alone") << request("070400060001") << request("070402fff6") << true;
        QTest::newRow("function 03 is illegal") << request("010300000007") << request("018301") << false;
        QTest::newRow("start 5 quantity 7 is out of range") << request("010400050007") << request("018402") << false;
        QTest::newRow("start 7 is out of range") << request("010400070001") << request("018402") << false;
        QTest::newRow("quantity 0") << request("010400000000") << request("018403") << false;
        QTest::newRow("quantity 126") << request("01040000007e") << request("018403") << false;
        QTest::newRow("short request") << request("01040000") << request("018403") << false;
    }
    void answers()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QFETCH(bool, hasData);
        const Answer answer = answerRequest(request, Atmosphere);
        QCOMPARE(answer.frame.toHex(), reply.toHex());
        QCOMPARE(answer.hasData, hasData);
    }

    void faults_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("isAnswer");
        const QByteArray good = request("01040ee68047c50000000000000000fff6");
        QByteArray badCrc = good;
        badCrc[badCrc.size() - 1] = char(badCrc[badCrc.size() - 1] ^ 0xFF);
        QTest::newRow("none") << int(Fault::None) << good << true;
        QTest::newRow("silent") << int(Fault::Silent) << QByteArray() << false;
        QTest::newRow("crc") << int(Fault::Crc) << badCrc << false;
        QTest::newRow("exception") << int(Fault::Exception) << request("018404") << false;
        QTest::newRow("foreign") << int(Fault::Foreign) << request("02040ee68047c50000000000000000fff6") << false;
        QTest::newRow("truncated") << int(Fault::Truncated) << good.left(5) << false;
    }
    void faults()
    {
        QFETCH(int, fault);
        QFETCH(QByteArray, reply);
        QFETCH(bool, isAnswer);
        const QByteArray req = request("010400000007");
        std::mt19937 random(1);
        const Reply result = injectFault(Fault(fault), req, answerRequest(req, Atmosphere), random);
        QCOMPARE(result.frame.toHex(), reply.toHex());
        QVERIFY(result.tail.isEmpty());
        QCOMPARE(result.isAnswer, isAnswer);
        QCOMPARE(int(result.fault), fault);
    }

    // A split carries the whole answer, cut anywhere, its tail due after a
    // master's 500 ms byte time-out and before its 1 s response time-out.
    void splitRepliesCarryTheWholeAnswer()
    {
        const QByteArray req = request("010400000007");
        const Answer answer = answerRequest(req, Atmosphere);
        std::mt19937 random(11);
        QSet<int> cuts;
        for (int i = 0; i < 400; ++i) {
            const Reply reply = injectFault(Fault::Split, req, answer, random);
            QCOMPARE(reply.fault, Fault::Split);
            QVERIFY(!reply.isAnswer);
            QVERIFY(!reply.frame.isEmpty());
            QVERIFY(!reply.tail.isEmpty());
            QCOMPARE(reply.frame + reply.tail, answer.frame);
            QVERIFY(reply.tailGapMs > 500 && reply.tailGapMs < 1000);
            cuts.insert(reply.frame.size());
        }
        QCOMPARE(cuts.size(), answer.frame.size() - 1);
    }

    void foreignAddressWraps_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("foreign");
        QTest::newRow("1") << 1 << 2;
        QTest::newRow("246") << 246 << 247;
        QTest::newRow("247") << 247 << 1;
    }
    void foreignAddressWraps()
    {
        QFETCH(int, address);
        QFETCH(int, foreign);
        QCOMPARE(int(foreignAddress(quint8(address))), foreign);
    }

    // Every reply of the hostile line must fail a careful master's checks,
    // and all four kinds of misbehaviour must come up.
    void hostileRepliesAreAllWrong()
    {
        const QByteArray correct = request("05040ee68047c50000000000000000fff6");
        std::mt19937 random(7);
        QSet<QString> kinds;
        for (int i = 0; i < 200; ++i) {
            const Reply reply = hostileReply(correct, random);
            QCOMPARE(reply.fault, Fault::Hostile);
            QVERIFY(!reply.isAnswer);
            QVERIFY(!reply.frame.isEmpty());
            if (!reply.tail.isEmpty()) {
                QCOMPARE(reply.frame + reply.tail, correct);
                QVERIFY(reply.tailGapMs > 500 && reply.tailGapMs < 1000);
                kinds.insert("split");
            } else if (reply.frame.size() >= 5 && hasValidCrc(reply.frame) && reply.frame[0] != correct[0]) {
                QCOMPARE(reply.frame.mid(1, reply.frame.size() - 3), correct.mid(1, correct.size() - 3));
                kinds.insert("address");
            } else if (reply.frame.size() >= 5 && hasValidCrc(reply.frame)) {
                QVERIFY(quint8(reply.frame[2]) != reply.frame.size() - 5);
                kinds.insert("byte count");
            } else {
                QVERIFY(reply.frame != correct);
                kinds.insert("noise");
            }
        }
        QCOMPARE(kinds.size(), 4);
    }
};

QTEST_GUILESS_MAIN(TestSimProtocol)
#include "tst_simprotocol.moc"
