#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "acquisition/modbusline.h"
#include "acquisition/polling.h"
#include "acquisition/serialline.h"
#include "recording/recordingsession.h"

#include <QTimer>

void MainWindow::on_btnOpen_clicked()
{
    // A click while the line is opening abandons the open, as closing would.
    if (modbusLine->state() != LineState::Closed) {
        // The pass ends here; the line's owner lets go of the context once the
        // request in flight has returned.
        polling->halt();
        recordTimer->stop();
        recordingSession->end();
        modbusLine->close();
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
