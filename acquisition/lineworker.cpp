#include "acquisition/lineworker.h"

#include "acquisition/serialline.h"
#include "acquisition/tcpconnection.h"

#include <QDateTime>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace {

constexpr int DefaultSlave = 1;
constexpr int ResponseTimeoutSeconds = 1;
// Every address where nothing answers costs a whole time-out: 247 of them
// take under half a minute at 100 ms.
constexpr int ProbeTimeoutMicroseconds = 100000;
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

void LineWorker::poll(quint64 request, int address, QDeadlineTimer notBefore)
{
    // The event loop wakes in whole milliseconds; the last one is slept here.
    std::this_thread::sleep_for(std::chrono::nanoseconds(notBefore.remainingTimeNSecs()));
    PollResult result;
    result.request = request;
    result.answered = readRegisters(address, result.registers, ResponseTimeoutSeconds * 1000000) == 0;
    // No context left: it was gone before the request, or the request lost it.
    result.lineLost = !context;
    result.finishedAt = QDateTime::currentMSecsSinceEpoch();
    emit polled(result);
}

void LineWorker::probe(quint64 request, int address)
{
    InputRegisters registers{};
    const int error = readRegisters(address, registers, ProbeTimeoutMicroseconds);
    emit probed(request, error == 0 || isSlaveException(error));
}

int LineWorker::readRegisters(int address, InputRegisters &registers, int timeoutMicroseconds)
{
    // The RTU backend refuses addresses above 247: no request goes out.
    // Over TCP the address is the unit identifier.
    if (!context || modbus_set_slave(context, address) != 0)
        return EINVAL;
    // Whatever arrived after the previous transaction ended (the tail of a
    // reply cut short, a reply later than the time-out) must not be read as
    // this device's answer.
    modbus_flush(context);
    modbus_set_response_timeout(context, timeoutMicroseconds / 1000000, timeoutMicroseconds % 1000000);
    const bool answered = modbus_read_input_registers(context, 0, InputRegisterCount, registers.data()) >= 0;
    const int error = answered ? 0 : errno;
    modbus_set_response_timeout(context, ResponseTimeoutSeconds, 0);
    // A slave that does not answer, or answers badly, leaves the line as it
    // is; only a device that is gone loses it.
    if (isLostDeviceError(error))
        loseLine();
    return error;
}

bool LineWorker::connectLine(QString *reason)
{
    if (settings.transport == LineSettings::Transport::Tcp) {
        context = connectTcp(settings.host, settings.port, ResponseTimeoutSeconds, reason);
        if (context)
            modbus_set_slave(context, DefaultSlave);
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
    modbus_set_response_timeout(context, ResponseTimeoutSeconds, 0);
    return true;
}

void LineWorker::loseLine()
{
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
