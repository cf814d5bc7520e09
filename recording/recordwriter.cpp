#include "app/mainwindow.h"

#include "devices/devicerecords.h"
#include "recording/recordfile.h"
#include "recording/recordformat.h"
#include "recording/recordnotices.h"
#include "recording/recordtick.h"

#include <QDateTime>
#include <QDebug>
#include <QElapsedTimer>
#include <QStandardItemModel>

#include <algorithm>

int recordTick = -1;

namespace {

// Ticks that reached the write loop since the program started; diagnostics only.
int saveCount = 0;

QElapsedTimer recordClock;

// The last record tick whose second has passed: tick k of the timer, k
// seconds after Start, carries the value k - 2.
int lastPassedTick()
{
    return int(recordClock.elapsed() / 1000) - 2;
}

} // namespace

void restartRecordClock()
{
    recordClock.start();
}

void MainWindow::saved_process()
{
    if (portIsClosed())
        return;
    // The first tick after Start only starts the count: rows begin 2 s after Start.
    if (recordTick < 0) {
        recordTick = 0;
        return;
    }

    // The timer drops the ticks it could not deliver while the thread was
    // held (a slow disk, a process swapped out). The seconds since Start are
    // what count: a row that fell due in a dropped tick is written now, so
    // rows keep to their period.
    const int lastTick = std::max(recordTick, lastPassedTick());

    QStringList newlyLost;
    const int deviceCount = deviceModel->rowCount();
    for (int row = 0; row < deviceCount; ++row) {
        ItemData record = readRecord(deviceModel, row);
        if (!recordIsDue(recordTick, lastTick, record.recordPeriod))
            continue;
        ++record.recordIndex;
        writeRecord(deviceModel, row, record);

        // A device added after Start has no file in this recording; that is no loss.
        if (record.filePath.isEmpty())
            continue;
        // A device whose latest poll failed is red: its row has no readings.
        const bool current = readStatus(deviceModel->index(row, 0)) != Offline;
        const bool written
            = appendRecordRow(record.filePath, recordRow(record, QDateTime::currentDateTime(), current));
        if (!written && !reportedRecordFiles.contains(record.filePath)) {
            reportedRecordFiles << record.filePath;
            newlyLost << record.filePath;
        }
    }
    if (!newlyLost.isEmpty())
        reportLostRows(this, newlyLost);

    recordTick = lastTick + 1;
    qDebug().noquote() << QStringLiteral("saved %1").arg(saveCount);
    ++saveCount;
}
