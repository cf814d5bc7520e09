#include "app/mainwindow.h"

#include "devices/devicerecords.h"
#include "recording/recordfile.h"
#include "recording/recordformat.h"
#include "recording/recordnotices.h"
#include "recording/recordtick.h"

#include <QDateTime>
#include <QDebug>
#include <QStandardItemModel>

int recordTick = -1;

namespace {

// Ticks that reached the write loop since the program started; diagnostics only.
int saveCount = 0;

} // namespace

void MainWindow::saved_process()
{
    if (portIsClosed())
        return;
    // The first tick after Start only starts the count: rows begin 2 s after Start.
    if (recordTick < 0) {
        recordTick = 0;
        return;
    }

    QStringList newlyLost;
    const int deviceCount = deviceModel->rowCount();
    for (int row = 0; row < deviceCount; ++row) {
        ItemData record = readRecord(deviceModel, row);
        if (!recordIsDue(recordTick, record.recordPeriod))
            continue;
        ++record.recordIndex;
        writeRecord(deviceModel, row, record);

        // A device added after Start has no file in this recording; that is no loss.
        if (record.filePath.isEmpty())
            continue;
        const bool written = appendRecordRow(record.filePath, recordRow(record, QDateTime::currentDateTime()));
        if (!written && !reportedRecordFiles.contains(record.filePath)) {
            reportedRecordFiles << record.filePath;
            newlyLost << record.filePath;
        }
    }
    if (!newlyLost.isEmpty())
        reportLostRows(this, newlyLost);

    ++recordTick;
    qDebug().noquote() << QStringLiteral("saved %1").arg(saveCount);
    ++saveCount;
}
