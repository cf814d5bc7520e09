#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "acquisition/polling.h"
#include "recording/recordingsession.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QStandardItemModel>
#include <QTimer>

void MainWindow::on_btnStart_clicked()
{
    if (portIsClosed()) {
        QMessageBox::information(this, tr("提示"), tr("串口未打开"), QMessageBox::Ok);
        return;
    }
    if (deviceModel->rowCount() == 0) {
        QMessageBox::information(this, tr("提示"), tr("采集列表无设备，请添加设备"), QMessageBox::Ok);
        return;
    }

    const QString folder = QFileDialog::getExistingDirectory(this, tr("选择存储的路径"), QStringLiteral("/"),
                                                             QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty()) {
        recordingSession->start(folder);
        recordTimer->setInterval(1000);
        recordTimer->start();
    }

    polling->start();
}

void MainWindow::on_btnStop_clicked()
{
    polling->stop();
    recordTimer->stop();
    recordingSession->end();
}

void MainWindow::saved_process()
{
    recordingSession->tick();
}
