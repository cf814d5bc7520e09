#include "app/mainwindow.h"

#include "acquisition/inputregisters.h"
#include "acquisition/pollpause.h"
#include "acquisition/pollrecord.h"
#include "devices/devicerecords.h"

#include <QStandardItemModel>
#include <QTimer>

namespace {

constexpr int PauseAfterDeviceMs = 50;

} // namespace

void MainWindow::MB_POLL()
{
    if (portIsClosed())
        return;

    // Devices added during this cycle wait for the next one; rows removed
    // during a pause are not polled. Nothing runs between two skipped rows,
    // so the first missing row ends the loop.
    const int rows = deviceModel->rowCount();
    for (int row = 0; row < rows && row < deviceModel->rowCount(); ++row) {
        ItemData record = readRecord(deviceModel, row);
        InputRegisters registers{};
        // The RTU backend refuses addresses above 247: no request goes out.
        const bool selected = modbus_set_slave(modbusContext, record.address) == 0;
        // Whatever arrived after the previous transaction ended (the tail of a
        // reply cut short, a reply later than the time-out) must not be read
        // as this device's answer.
        if (selected)
            modbus_flush(modbusContext);
        const bool answered
            = selected && modbus_read_input_registers(modbusContext, 0, InputRegisterCount, registers.data()) >= 0;
        const int status = answered ? recordAnswer(record, registers) : recordFailure(record);
        writeStatus(deviceModel, row, status);
        writeRecord(deviceModel, row, record);

        pauseWithEvents(PauseAfterDeviceMs);
        // The context was released if the port was closed during the pause.
        if (portIsClosed())
            return;
    }

    if (!pollingStopped)
        pollTimer->start();
}
