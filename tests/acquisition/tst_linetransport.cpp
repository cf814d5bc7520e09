#include "rtutcptransport.h"
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
    // `stale` is there to be read before the request is sent.
    ScriptedPeer(int requestBytes, std::function<QList<Step>(quint16)> reply, const QByteArray &stale = {})
    {
        int ends[2];
        QVERIFY(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) == 0);
        near = ends[0];
        far = ends[1];
        if (!stale.isEmpty())
            ::send(far, stale.constData(), size_t(stale.size()), MSG_NOSIGNAL);
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

enum class Line { Serial, Tcp, RtuOverTcp };

struct Row
{
    const char *name;
    Line line;
    int address;
    std::function<QList<Step>(quint16)> reply;
    TransactionOutcome outcome;
    // An outcome that comes with the reply must not wait out the time-out.
    bool early;
    QByteArray stale = {};
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
        {"tcp: an earlier request's late reply is dropped", Line::Tcp, 1,
         [&](quint16 t) { return QList<Step>{{0, mbap(quint16(t - 1), 1, OtherPdu)}, {50, mbap(t, 1, AtmospherePdu)}}; },
         TransactionOutcome::Answered, true},
        {"tcp: a reply for another unit is dropped", Line::Tcp, 1,
         [&](quint16 t) { return QList<Step>{{0, mbap(t, 2, OtherPdu) + mbap(t, 1, AtmospherePdu)}}; },
         TransactionOutcome::Answered, true},
        {"tcp: a reply in pieces", Line::Tcp, 1,
         [&](quint16 t) {
             const QByteArray frame = mbap(t, 1, AtmospherePdu);
             return QList<Step>{{0, frame.left(5)}, {100, frame.mid(5, 9)}, {100, frame.mid(14)}};
         },
         TransactionOutcome::Answered, true},
        {"tcp: the gateway's 0x0B ends the wait", Line::Tcp, 1,
         [&](quint16 t) { return QList<Step>{{0, mbap(t, 1, gatewayFailed)}}; }, TransactionOutcome::GatewayException,
         true},
        {"tcp: the device's exception", Line::Tcp, 1,
         [&](quint16 t) { return QList<Step>{{0, mbap(t, 1, deviceFailure)}}; }, TransactionOutcome::SlaveException,
         true},
        {"tcp: only a late reply", Line::Tcp, 1,
         [&](quint16 t) { return QList<Step>{{0, mbap(quint16(t - 1), 1, AtmospherePdu)}}; },
         TransactionOutcome::NoReply, false},
        {"tcp: the peer closes", Line::Tcp, 1, [&](quint16) { return QList<Step>{{0, {}}}; }, TransactionOutcome::LineGone,
         true},
        {"tcp: not Modbus TCP", Line::Tcp, 1,
         [&](quint16) { return QList<Step>{{0, QByteArray("HTTP/1.1 400 Bad Request\r\n\r\n")}}; },
         TransactionOutcome::LineGone, true},
        {"rtu: a frame for another address is dropped", Line::Serial, 1,
         [&](quint16) { return QList<Step>{{0, rtu("02", OtherPdu)}, {30, rtu("01", AtmospherePdu)}}; },
         TransactionOutcome::Answered, true},
        {"rtu: noise before the reply", Line::Serial, 1,
         [&](quint16) { return QList<Step>{{0, QByteArray::fromHex("00ff13") + rtu("01", AtmospherePdu)}}; },
         TransactionOutcome::Answered, true},
        {"rtu: a bad checksum", Line::Serial, 1,
         [&](quint16) {
             QByteArray frame = rtu("01", AtmospherePdu);
             frame[frame.size() - 1] = char(frame[frame.size() - 1] ^ 0x5A);
             return QList<Step>{{0, frame}};
         },
         TransactionOutcome::NoReply, false},
        // The parts of a reply torn apart for longer than the gap allowed
        // between its bytes do not make a reply.
        {"rtu: torn apart for 600 ms", Line::Serial, 1,
         [&](quint16) {
             const QByteArray frame = rtu("01", AtmospherePdu);
             return QList<Step>{{0, frame.left(6)}, {600, frame.mid(6)}};
         },
         TransactionOutcome::NoReply, false},
        {"rtu: the device's exception", Line::Serial, 1,
         [&](quint16) { return QList<Step>{{0, rtu("01", deviceFailure)}}; }, TransactionOutcome::SlaveException, true},
        {"rtu: no address above 247", Line::Serial, 248, [&](quint16) { return QList<Step>{}; }, TransactionOutcome::NotSent,
         true},
        // The same device's frame, there before the request went out, would
        // pass for its reply.
        {"rtu+tcp: what came before the request is discarded", Line::RtuOverTcp, 1,
         [&](quint16) { return QList<Step>{{30, rtu("01", AtmospherePdu)}}; }, TransactionOutcome::Answered, true,
         rtu("01", OtherPdu)},
        {"rtu+tcp: a late frame for another address is dropped", Line::RtuOverTcp, 1,
         [&](quint16) { return QList<Step>{{0, rtu("02", OtherPdu)}, {30, rtu("01", AtmospherePdu)}}; },
         TransactionOutcome::Answered, true},
        {"rtu+tcp: a frame for another function is dropped", Line::RtuOverTcp, 1,
         [&](quint16) {
             return QList<Step>{{0, rtu("01", QByteArray::fromHex("0302abcd")) + rtu("01", AtmospherePdu)}};
         },
         TransactionOutcome::Answered, true},
        // A converter's stream has no gap between bytes to run out.
        {"rtu+tcp: a reply in three segments", Line::RtuOverTcp, 1,
         [&](quint16) {
             const QByteArray frame = rtu("01", AtmospherePdu);
             return QList<Step>{{0, frame.left(2)}, {150, frame.mid(2, 8)}, {150, frame.mid(10)}};
         },
         TransactionOutcome::Answered, true},
        // What follows a bad checksum is never taken, though it would pass.
        {"rtu+tcp: a bad checksum fails at once", Line::RtuOverTcp, 1,
         [&](quint16) {
             QByteArray frame = rtu("01", AtmospherePdu);
             frame[3] = char(frame[3] ^ 0x01);
             return QList<Step>{{0, frame + rtu("01", AtmospherePdu)}};
         },
         TransactionOutcome::NoReply, true},
        {"rtu+tcp: the device's exception", Line::RtuOverTcp, 1,
         [&](quint16) { return QList<Step>{{0, rtu("01", deviceFailure)}}; }, TransactionOutcome::SlaveException,
         true},
        {"rtu+tcp: only a frame for another address", Line::RtuOverTcp, 1,
         [&](quint16) { return QList<Step>{{0, rtu("02", AtmospherePdu)}}; }, TransactionOutcome::NoReply, false},
        {"rtu+tcp: the peer closes", Line::RtuOverTcp, 1, [&](quint16) { return QList<Step>{{0, {}}}; },
         TransactionOutcome::LineGone, true},
        {"rtu+tcp: no address above 247", Line::RtuOverTcp, 248, [&](quint16) { return QList<Step>{}; },
         TransactionOutcome::NotSent, true},
    };

    for (const Row &row : rows) {
        const ScriptedPeer peer(row.line == Line::Tcp ? 12 : 8, row.reply, row.stale);
        std::unique_ptr<RegisterTransport> transport;
        if (row.line == Line::Tcp)
            transport = std::make_unique<TcpTransport>(peer.near);
        else if (row.line == Line::Serial)
            transport = std::make_unique<RtuTransport>(peer.near);
        else
            transport = std::make_unique<RtuOverTcpTransport>(peer.near);
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
