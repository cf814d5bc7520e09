#include "recording/recordingsession.h"

#include "devices/devicerecords.h"
#include "recording/recordfile.h"
#include "recording/recordformat.h"
#include "recording/recordnotices.h"
#include "recording/rowwriter.h"

#include <QDebug>
#include <QStandardItemModel>
#include <QWidget>

#include <algorithm>

namespace {

// How long closing the window waits for rows still on their way to the disk.
constexpr int CloseWaitMs = 2000;

} // namespace

RecordingSession::RecordingSession(QStandardItemModel *devices, QWidget *window,
                                   std::function<bool()> portIsClosed)
    : QObject(window)
    , devices(devices)
    , window(window)
    , portIsClosed(std::move(portIsClosed))
    , rowWriter(new RowWriter(this))
    , notice(new RecordWriteNotice(window))
{
    qRegisterMetaType<QList<ItemData>>();
    connect(rowWriter, &RowWriter::written, notice,
            [this](const QString &path, int) { notice->rowsWritten(path); });
    connect(rowWriter, &RowWriter::lost, notice, &RecordWriteNotice::rowsLost);
}

RecordingSession::~RecordingSession()
{
    end();
    // The window is going: outcomes taken in from here on change no notice.
    disconnect(rowWriter, nullptr, notice, nullptr);
    const QHash<QString, int> notWritten = rowWriter->finish(QDeadlineTimer(CloseWaitMs));
    for (auto file = notWritten.cbegin(); file != notWritten.cend(); ++file)
        qWarning().noquote() << QStringLiteral("%1: %2 rows lost, not written when the window closed")
                                    .arg(file.key())
                                    .arg(file.value());
}

void RecordingSession::start(const QString &folder)
{
    folderPath = folder;
    qDebug().noquote() << QStringLiteral("saved_file_path=") + folderPath;

    QStringList uncreated;
    QList<ItemData> listed;
    const QDateTime startedAt = QDateTime::currentDateTime();
    for (int row = 0; row < devices->rowCount(); ++row) {
        ItemData record = readRecord(devices, row);
        // Named anew for each device, so two names may differ by a second.
        const QDateTime named = QDateTime::currentDateTime();
        record.recordIndex = 0;
        // Without a file the device records nothing, like one added after Start.
        record.filePath = createRecordFile(folderPath, record.address, named);
        if (record.filePath.isEmpty())
            uncreated << folderPath + recordFileName(record.address, named);
        writeRecord(devices, row, record);
        listed << record;
    }
    notice->forget();
    if (!uncreated.isEmpty())
        reportUncreatedFiles(window, uncreated);

    recordTick = -1;
    clock.start();
    recording = true;
    emit started(folderPath, startedAt, listed);
}

void RecordingSession::tick()
{
    if (portIsClosed())
        return;
    // The first tick after Start only starts the count: rows begin 2 s after Start.
    if (recordTick < 0) {
        recordTick = 0;
        return;
    }

    // The timer drops the ticks it could not deliver while the thread was
    // held (a process swapped out). The seconds since Start are what count: a
    // row that fell due in a dropped tick is composed now, so rows keep to
    // their period.
    const int lastTick = std::max(recordTick, lastPassedTick());

    const QDateTime now = QDateTime::currentDateTime();
    for (int row = 0; row < devices->rowCount(); ++row) {
        ItemData record = readRecord(devices, row);
        if (!recordIsDue(recordTick, lastTick, record.recordPeriod))
            continue;
        ++record.recordIndex;
        writeRecord(devices, row, record);

        // A device added after Start has no file in this recording; that is no loss.
        if (record.filePath.isEmpty())
            continue;
        // A device whose latest poll failed is red: its row has no readings.
        const bool current = readStatus(devices->index(row, 0)) != Offline;
        // A row the writer has no room for is lost like one the disk refused:
        // its number is not given again.
        if (!rowWriter->append(record.filePath, recordRow(record, now, current).toUtf8()))
            notice->rowsLost(record.filePath, 1, false);
    }

    recordTick = lastTick + 1;
    qDebug().noquote() << QStringLiteral("saved %1").arg(saveCount);
    ++saveCount;
}

void RecordingSession::end()
{
    if (!recording)
        return;
    recording = false;
    emit ended();
}

int RecordingSession::lastPassedTick() const
{
    // Tick k of the timer, k seconds after Start, carries the value k - 2.
    return int(clock.elapsed() / 1000) - 2;
}
