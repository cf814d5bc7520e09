#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "acquisition/lineaddress.h"
#include "acquisition/modbusline.h"
#include "acquisition/polling.h"
#include "recording/recordingsession.h"

#include <QMessageBox>
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
    const LineChoice choice = chooseLine(ui->cboxPortName->currentText(), ui->cboxBaudRate->currentText(),
                                         ui->cboxParity->currentText(), ui->cboxDataBit->currentText(),
                                         ui->cboxStopBit->currentText());
    if (!choice.settings) {
        QMessageBox::information(this, tr("提示"), choice.refusal);
        return;
    }
    // The caption changes when the line's owner reports the port open; a port
    // that cannot be opened leaves it as it is.
    modbusLine->open(*choice.settings);
}
