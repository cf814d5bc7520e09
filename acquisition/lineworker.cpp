#include "acquisition/lineworker.h"

#include "acquisition/serialline.h"

namespace {

constexpr int DefaultSlave = 1;
constexpr int ResponseTimeoutSeconds = 1;

} // namespace

LineWorker::LineWorker(const LineSettings &settings)
    : settings(settings)
{
}

LineWorker::~LineWorker()
{
    releaseContext(context);
}

void LineWorker::open()
{
    context = modbus_new_rtu(settings.device.constData(), settings.baud, settings.parity, settings.dataBits,
                             settings.stopBits);
    // A null context fails every call below, so it takes the failure path.
    modbus_set_slave(context, DefaultSlave);
    modbus_set_debug(context, 0);
    if (modbus_connect(context) == -1) {
        releaseContext(context);
        emit opened(false);
        return;
    }
    modbus_set_response_timeout(context, ResponseTimeoutSeconds, 0);
    emit opened(true);
}

void LineWorker::poll(quint64 request, int address)
{
    PollResult result;
    result.request = request;
    // The RTU backend refuses addresses above 247: no request goes out.
    if (context && modbus_set_slave(context, address) == 0) {
        // Whatever arrived after the previous transaction ended (the tail of a
        // reply cut short, a reply later than the time-out) must not be read
        // as this device's answer.
        modbus_flush(context);
        result.answered = modbus_read_input_registers(context, 0, InputRegisterCount, result.registers.data()) >= 0;
    }
    emit polled(result);
}
