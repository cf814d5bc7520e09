#include "app/mainwindow.h"

#include "acquisition/lineaddress.h"
#include "acquisition/modbusline.h"
#include "acquisition/polling.h"
#include "app/formchoices.h"
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
    const LineChoices line = formChoices->lineChoices();
    const LineChoice choice = chooseLine(line.port, line.baudRate, line.parity, line.dataBits, line.stopBits);
    if (!choice.settings) {
        // The port's text may come from a device-list file: never markup.
        QMessageBox box(QMessageBox::Information, tr("提示"), choice.refusal, QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        box.exec();
        return;
    }
    // The caption changes when the line's owner reports the port open; a port
    // that cannot be opened leaves it as it is.
    modbusLine->open(*choice.settings);
}
