#include "lineworker.h"

#include "rtutcptransport.h"
#include "rtutransport.h"
#include "serialdevice.h"
#include "tcpconnection.h"
#include "tcptransport.h"

#include <QDateTime>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

constexpr int DefaultSlave = 1;
constexpr int ResponseTimeoutSeconds = 1;
// Every address where nothing answers on a serial line costs a whole
// time-out: 247 of them take under half a minute at 100 ms.
constexpr int SerialProbeTimeoutMs = 100;
constexpr int FirstReopenMs = 1000;
constexpr int LongestReopenMs = 10000;

} // namespace

LineWorker::LineWorker(const LineSettings &settings)
    : settings(settings)
    , reopenTimer(new QTimer(this))
{
    reopenTimer->setSingleShot(true);
    connect(reopenTimer, &QTimer::timeout, this, &LineWorker::reopen);
}

LineWorker::~LineWorker()
{
    transport.reset();
    releaseContext(context);
}

void LineWorker::open()
{
    QString reason;
    const bool ok = connectLine(&reason);
    if (!ok && !reason.isEmpty())
        emit openFailed(reason);
    emit opened(ok);
}

void LineWorker::poll(quint64 request, int address, const QVector<RegisterRequest> &requests,
                      QDeadlineTimer notBefore)
{
    // The event loop wakes in whole milliseconds; the last one is slept here.
    std::this_thread::sleep_for(std::chrono::nanoseconds(notBefore.remainingTimeNSecs()));
    PollResult result;
    result.request = request;
    result.answered = !requests.isEmpty();
    QVector<quint16> values;
    for (const RegisterRequest &part : requests) {
        if (readRegisters(address, part, values, ResponseTimeoutSeconds * 1000) != TransactionOutcome::Answered) {
            result.answered = false;
            result.registers = MapRegisters();
            break;
        }
        result.registers.ranges.append({part.start, part.count});
        result.registers.values += values;
    }
    // No context left: it was gone before the request, or the request lost it.
    result.lineLost = !context;
    result.finishedAt = QDateTime::currentMSecsSinceEpoch();
    emit polled(result);
}

void LineWorker::probe(quint64 request, int address, const RegisterRequest &probeRequest)
{
    QVector<quint16> values;
    // A converter's baud rate is not known here: its probe waits as long as
    // a poll.
    const bool overTcp = settings.transport != LineSettings::Transport::Serial;
    const TransactionOutcome outcome = readRegisters(address, probeRequest, values,
                                                     overTcp ? ResponseTimeoutSeconds * 1000 : SerialProbeTimeoutMs);
    emit probed(request, outcome == TransactionOutcome::Answered || outcome == TransactionOutcome::SlaveException);
}

void LineWorker::testRead(quint64 request, int address, const QVector<RegisterRequest> &requests)
{
    TestReadResult result;
    result.request = request;
    result.outcome = requests.isEmpty() ? TransactionOutcome::NotSent : TransactionOutcome::Answered;
    QVector<quint16> values;
    for (const RegisterRequest &part : requests) {
        const TransactionOutcome outcome = readRegisters(address, part, values, ResponseTimeoutSeconds * 1000);
        if (outcome != TransactionOutcome::Answered) {
            result.outcome = outcome;
            result.failedRequest = part;
            const bool exception
                = outcome == TransactionOutcome::SlaveException || outcome == TransactionOutcome::GatewayException;
            result.exceptionCode = exception ? quint8(values.value(0)) : 0;
            break;
        }
        result.registers.ranges.append({part.start, part.count});
        result.registers.values += values;
    }
    emit testReadFinished(result);
}

TransactionOutcome LineWorker::readRegisters(int address, const RegisterRequest &request, QVector<quint16> &values,
                                             int timeoutMs)
{
    if (!transport)
        return TransactionOutcome::NotSent;
    const TransactionOutcome outcome = transport->readRegisters(address, request, timeoutMs, values);
    // A slave that does not answer, or answers badly, leaves the line as it
    // is; only a device that is gone loses it.
    if (outcome == TransactionOutcome::LineGone)
        loseLine();
    return outcome;
}

bool LineWorker::connectLine(QString *reason)
{
    if (settings.transport != LineSettings::Transport::Serial) {
        // libmodbus connects the socket; the frames on it are the transport's.
        context = connectTcp(settings.host, settings.port, ResponseTimeoutSeconds, reason);
        if (context && settings.transport == LineSettings::Transport::Tcp)
            transport = std::make_unique<TcpTransport>(modbus_get_socket(context));
        else if (context)
            transport = std::make_unique<RtuOverTcpTransport>(modbus_get_socket(context));
        return context != nullptr;
    }
    context = modbus_new_rtu(settings.device.constData(), settings.baud, settings.parity, settings.dataBits,
                             settings.stopBits);
    // A null context fails every call below, so it takes the failure path.
    modbus_set_slave(context, DefaultSlave);
    modbus_set_debug(context, 0);
    if (modbus_connect(context) == -1) {
        releaseContext(context);
        return false;
    }
    transport = std::make_unique<RtuTransport>(modbus_get_socket(context));
    return true;
}

void LineWorker::loseLine()
{
    transport.reset();
    releaseContext(context);
    reopenTimer->start(FirstReopenMs);
    emit lineLost();
}

void LineWorker::reopen()
{
    // Why each attempt fails is no news while the line is known to be lost.
    QString reason;
    if (connectLine(&reason)) {
        emit lineRestored();
        return;
    }
    reopenTimer->start(std::min(2 * reopenTimer->interval(), LongestReopenMs));
}
