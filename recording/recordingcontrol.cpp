#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "acquisition/polling.h"
#include "devices/devicerecords.h"
#include "recording/recordfile.h"
#include "recording/recordformat.h"
#include "recording/recordnotices.h"
#include "recording/recordtick.h"

#include <QDateTime>
#include <QDebug>
#include <QFileDialog>
#include <QMessageBox>
#include <QStandardItemModel>
#include <QTimer>

namespace {

// Directory chosen by the last Start; empty after a cancelled dialog. An empty
// string to begin with: nothing is run before main that could use it.
QString saved_file_path; // clazy:exclude=non-pod-global-static

} // namespace

void MainWindow::on_btnStart_clicked()
{
    const int deviceCount = deviceModel->rowCount();
    if (portIsClosed()) {
        QMessageBox::information(this, tr("提示"), tr("串口未打开"), QMessageBox::Ok);
        return;
    }
    if (deviceCount == 0) {
        QMessageBox::information(this, tr("提示"), tr("采集列表无设备，请添加设备"), QMessageBox::Ok);
        return;
    }

    saved_file_path = QFileDialog::getExistingDirectory(this, tr("选择存储的路径"), QStringLiteral("/"),
                                                        QFileDialog::ShowDirsOnly);
    if (!saved_file_path.isEmpty()) {
        qDebug().noquote() << QStringLiteral("saved_file_path=") + saved_file_path;

        QStringList uncreated;
        for (int row = 0; row < deviceCount; ++row) {
            ItemData record = readRecord(deviceModel, row);
            // Named anew for each device, so two names may differ by a second.
            const QDateTime named = QDateTime::currentDateTime();
            record.recordIndex = 0;
            // Without a file the device records nothing, like one added after Start.
            record.filePath = createRecordFile(saved_file_path, record.address, named);
            if (record.filePath.isEmpty())
                uncreated << saved_file_path + recordFileName(record.address, named);
            writeRecord(deviceModel, row, record);
        }
        if (!uncreated.isEmpty())
            reportUncreatedFiles(this, uncreated);

        reportedRecordFiles.clear();
        recordTimer->setInterval(1000);
        recordTick = -1;
        restartRecordClock();
        recordTimer->start();
    }

    polling->start();
}

void MainWindow::on_btnStop_clicked()
{
    polling->stop();
    recordTimer->stop();
}
