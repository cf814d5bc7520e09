#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "acquisition/serialline.h"

#include <QTimer>

namespace {

constexpr int DefaultSlave = 1;
constexpr int ResponseTimeoutSeconds = 1;

} // namespace

void MainWindow::on_btnOpen_clicked()
{
    if (!portIsClosed()) {
        releaseContext(modbusContext);
        recordTimer->stop();
        pollTimer->stop();
        pollingStopped = true;
        ui->btnOpen->setText(tr("打开串口"));
        return;
    }

    const QByteArray device = serialDeviceString(ui->cboxPortName->currentText()).toLatin1();
    modbusContext = modbus_new_rtu(device.constData(),
                                   ui->cboxBaudRate->currentText().toInt(),
                                   parityCharacter(ui->cboxParity->currentText()),
                                   ui->cboxDataBit->currentText().toInt(),
                                   ui->cboxStopBit->currentText().toInt());
    // A null context fails every call below, so it takes the failure path.
    modbus_set_slave(modbusContext, DefaultSlave);
    modbus_set_debug(modbusContext, 0);
    if (modbus_connect(modbusContext) == -1) {
        releaseContext(modbusContext);
        return;
    }
    modbus_set_response_timeout(modbusContext, ResponseTimeoutSeconds, 0);
    ui->btnOpen->setText(tr("关闭串口"));
}
