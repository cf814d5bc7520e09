#include "rtutransport.h"
#include "tcptransport.h"
#include "crc16.h"

#include <QElapsedTimer>
#include <QtTest>

#include <chrono>
#include <sys/socket.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int TimeoutMs = 1000;

// 101325 Pa and 23.5 °C, and another device's 250000 Pa and 20.5 °C.
const InputRegisters Atmosphere = {0xE680, 0x47C5, 0, 0, 0, 0, 235};
const QByteArray AtmospherePdu = QByteArray::fromHex("040e" "e680" "47c5" "0000" "0000" "0000" "0000" "00eb");
const QByteArray OtherPdu = QByteArray::fromHex("040e" "2400" "4874" "0000" "0000" "0000" "0000" "00cd");

QByteArray rtu(const char *addressHex, const QByteArray &pdu)
{
    return modbusframe::withCrc(QByteArray::fromHex(addressHex) + pdu);
}

QByteArray mbap(quint16 transaction, quint8 unit, const QByteArray &pdu)
{
    QByteArray frame;
    frame.append(char(transaction >> 8)).append(char(transaction & 0xFF)).append('\0').append('\0');
    frame.append(char((pdu.size() + 1) >> 8)).append(char((pdu.size() + 1) & 0xFF)).append(char(unit));
    return frame + pdu;
}

// What the far end sends once it has the request: bytes after a pause, or
// the end of the connection when `bytes` is empty.
struct Step
{
    int afterMs;
    QByteArray bytes;
};

// A line end in a socket pair whose far end answers as `reply` says, given the
// request's transaction identifier.
class ScriptedPeer
{
public:
    ScriptedPeer(int requestBytes, std::function<QList<Step>(quint16)> reply)
    {
        int ends[2];
        QVERIFY(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) == 0);
        near = ends[0];
        far = ends[1];
        const timeval bound{3, 0};
        ::setsockopt(far, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
        thread = std::thread([this, requestBytes, reply] {
            QByteArray request(requestBytes, '\0');
            if (::recv(far, request.data(), size_t(requestBytes), MSG_WAITALL) != requestBytes)
                return;
            const quint16 transaction = quint16(quint8(request[0]) << 8 | quint8(request[1]));
            for (const Step &step : reply(transaction)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(step.afterMs));
                if (step.bytes.isEmpty()) {
                    ::shutdown(far, SHUT_WR);
                    return;
                }
                ::send(far, step.bytes.constData(), size_t(step.bytes.size()), MSG_NOSIGNAL);
            }
        });
    }
    ~ScriptedPeer()
    {
        ::shutdown(near, SHUT_RDWR);
        thread.join();
        ::close(near);
        ::close(far);
    }

    int near = -1;

private:
    int far = -1;
    std::thread thread;
};

struct Row
{
    const char *name;
    bool overTcp;
    int address;
    std::function<QList<Step>(quint16)> reply;
    TransactionOutcome outcome;
    // An outcome that comes with the reply must not wait out the time-out.
    bool early;
};

} // namespace

class TestLineTransport : public QObject
{
    Q_OBJECT

private slots:
    void takesOnlyTheReplyToTheRequest();
};

void TestLineTransport::takesOnlyTheReplyToTheRequest()
{
    const QByteArray gatewayFailed = QByteArray::fromHex("840b");
    const QByteArray deviceFailure = QByteArray::fromHex("8404");
    const QList<Row> rows = {
        {"tcp: an earlier request's late reply is dropped", true, 1,
         [&](quint16 t) { return QList<Step>{{0, mbap(quint16(t - 1), 1, OtherPdu)}, {50, mbap(t, 1, AtmospherePdu)}}; },
         TransactionOutcome::Answered, true},
        {"tcp: a reply for another unit is dropped", true, 1,
         [&](quint16 t) { return QList<Step>{{0, mbap(t, 2, OtherPdu) + mbap(t, 1, AtmospherePdu)}}; },
         TransactionOutcome::Answered, true},
        {"tcp: a reply in pieces", true, 1,
         [&](quint16 t) {
             const QByteArray frame = mbap(t, 1, AtmospherePdu);
             return QList<Step>{{0, frame.left(5)}, {100, frame.mid(5, 9)}, {100, frame.mid(14)}};
         },
         TransactionOutcome::Answered, true},
        {"tcp: the gateway's 0x0B ends the wait", true, 1,
         [&](quint16 t) { return QList<Step>{{0, mbap(t, 1, gatewayFailed)}}; }, TransactionOutcome::GatewayException,
         true},
        {"tcp: the device's exception", true, 1,
         [&](quint16 t) { return QList<Step>{{0, mbap(t, 1, deviceFailure)}}; }, TransactionOutcome::SlaveException,
         true},
        {"tcp: only a late reply", true, 1,
         [&](quint16 t) { return QList<Step>{{0, mbap(quint16(t - 1), 1, AtmospherePdu)}}; },
         TransactionOutcome::NoReply, false},
        {"tcp: the peer closes", true, 1, [&](quint16) { return QList<Step>{{0, {}}}; }, TransactionOutcome::LineGone,
         true},
        {"tcp: not Modbus TCP", true, 1,
         [&](quint16) { return QList<Step>{{0, QByteArray("HTTP/1.1 400 Bad Request\r\n\r\n")}}; },
         TransactionOutcome::LineGone, true},
        {"rtu: a frame for another address is dropped", false, 1,
         [&](quint16) { return QList<Step>{{0, rtu("02", OtherPdu)}, {30, rtu("01", AtmospherePdu)}}; },
         TransactionOutcome::Answered, true},
        {"rtu: noise before the reply", false, 1,
         [&](quint16) { return QList<Step>{{0, QByteArray::fromHex("00ff13") + rtu("01", AtmospherePdu)}}; },
         TransactionOutcome::Answered, true},
        {"rtu: a bad checksum", false, 1,
         [&](quint16) {
             QByteArray frame = rtu("01", AtmospherePdu);
             frame[frame.size() - 1] = char(frame[frame.size() - 1] ^ 0x5A);
             return QList<Step>{{0, frame}};
         },
         TransactionOutcome::NoReply, false},
        // The parts of a reply torn apart for longer than the gap allowed
        // between its bytes do not make a reply.
        {"rtu: torn apart for 600 ms", false, 1,
         [&](quint16) {
             const QByteArray frame = rtu("01", AtmospherePdu);
             return QList<Step>{{0, frame.left(6)}, {600, frame.mid(6)}};
         },
         TransactionOutcome::NoReply, false},
        {"rtu: the device's exception", false, 1,
         [&](quint16) { return QList<Step>{{0, rtu("01", deviceFailure)}}; }, TransactionOutcome::SlaveException, true},
        {"rtu: no address above 247", false, 248, [&](quint16) { return QList<Step>{}; }, TransactionOutcome::NotSent,
         true},
    };

    for (const Row &row : rows) {
        const ScriptedPeer peer(row.overTcp ? 12 : 8, row.reply);
        std::unique_ptr<RegisterTransport> transport;
        if (row.overTcp)
            transport = std::make_unique<TcpTransport>(peer.near);
        else
            transport = std::make_unique<RtuTransport>(peer.near);
        InputRegisters registers{};
        QElapsedTimer clock;
        clock.start();
        const TransactionOutcome outcome = transport->readInputRegisters(row.address, TimeoutMs, registers);
        const qint64 tookMs = clock.elapsed();
        QVERIFY2(outcome == row.outcome, row.name);
        if (outcome == TransactionOutcome::Answered)
            QVERIFY2(registers == Atmosphere, row.name);
        QVERIFY2(row.early ? tookMs < TimeoutMs / 2 : tookMs >= TimeoutMs - 10,
                 qPrintable(QStringLiteral("%1: %2 ms").arg(QLatin1String(row.name)).arg(tookMs)));
    }
}

QTEST_GUILESS_MAIN(TestLineTransport)
#include "tst_linetransport.moc"
