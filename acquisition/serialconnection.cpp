#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "acquisition/modbusline.h"
#include "acquisition/pollcycle.h"
#include "acquisition/serialline.h"
#include "recording/recordingsession.h"

#include <QTimer>

void MainWindow::on_btnOpen_clicked()
{
    if (!portIsClosed()) {
        // The pass ends here; the line's owner lets go of the context once the
        // request in flight has returned.
        pollCycle->abort();
        modbusLine->close();
        recordTimer->stop();
        recordingSession->end();
        pollTimer->stop();
        pollingStopped = true;
        ui->btnOpen->setText(tr("打开串口"));
        return;
    }
    LineSettings settings;
    settings.device = serialDeviceBytes(serialDeviceString(ui->cboxPortName->currentText()));
    settings.baud = ui->cboxBaudRate->currentText().toInt();
    settings.parity = parityCharacter(ui->cboxParity->currentText());
    settings.dataBits = ui->cboxDataBit->currentText().toInt();
    settings.stopBits = ui->cboxStopBit->currentText().toInt();
    // The caption changes when the line's owner reports the port open; a port
    // that cannot be opened leaves it as it is.
    modbusLine->open(settings);
}
