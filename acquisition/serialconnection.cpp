#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "acquisition/lineaddress.h"
#include "acquisition/modbusline.h"
#include "acquisition/pollcycle.h"

#include <QMessageBox>
#include <QTimer>

void MainWindow::on_btnOpen_clicked()
{
    if (!portIsClosed()) {
        // The pass ends here; the line's owner lets go of the context once the
        // request in flight has returned.
        pollCycle->abort();
        modbusLine->close();
        recordTimer->stop();
        pollTimer->stop();
        pollingStopped = true;
        ui->btnOpen->setText(tr("打开串口"));
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
