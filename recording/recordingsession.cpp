#include "recordingsession.h"

#include "devicerecords.h"
#include "logging.h"
#include "recordformat.h"
#include "rowwriter.h"

#include <QStandardItemModel>

#include <algorithm>

namespace {

// How long closing the window waits for rows still on their way to the disk.
constexpr int CloseWaitMs = 2000;

} // namespace

RecordingSession::RecordingSession(QStandardItemModel *devices, std::function<bool()> portIsClosed,
                                   QObject *parent)
    : QObject(parent)
    , devices(devices)
    , portIsClosed(std::move(portIsClosed))
    , rowWriter(new RowWriter(this))
{
    qRegisterMetaType<QList<ItemData>>();
    connect(rowWriter, &RowWriter::created, this, &RecordingSession::fileCreated);
    connect(rowWriter, &RowWriter::written, this, [this](const QString &path, int) {
        if (!closing)
            emit rowsWritten(path);
    });
    connect(rowWriter, &RowWriter::lost, this, [this](const QString &path, int rows, bool mayBeTorn) {
        if (!closing && !neverCreated.contains(path))
            emit rowsLost(path, rows, mayBeTorn);
    });
    connect(rowWriter, &RowWriter::cutBack, this, [this](const QString &path, bool done) {
        if (!closing)
            emit cutBack(path, done);
    });
}

RecordingSession::~RecordingSession()
{
    finish(QDeadlineTimer(CloseWaitMs));
}

void RecordingSession::start(const QString &folder)
{
    folderPath = folder;
    qCDebug(lcDiagnostics).noquote() << QStringLiteral("saved_file_path=") + folderPath;

    emit newRecording();
    QList<ItemData> listed;
    const QDateTime startedAt = QDateTime::currentDateTime();
    for (int row = 0; row < devices->rowCount(); ++row) {
        ItemData record = readRecord(devices, row);
        // Named anew for each device, so two names may differ by a second.
        record.recordIndex = 0;
        record.filePath = folderPath + recordFileName(record.address, QDateTime::currentDateTime());
        writeRecord(devices, row, record);
        listed << record;
        // Made with its header on the writer's thread, ahead of any row for it.
        creating.insert(record.filePath);
        rowWriter->create(record.filePath, recordHeader().toUtf8(), true);
    }

    recordTick = -1;
    clock.start();
    recording = true;
    emit started(folderPath, startedAt, listed);
}

void RecordingSession::fileCreated(const QString &path, const QString &createdAs)
{
    if (!creating.remove(path))
        return;
    if (createdAs.isEmpty()) {
        // Without a file the device records nothing, like one added after Start.
        uncreated << path;
        neverCreated.insert(path);
        moveDevices(path, QString());
    } else if (createdAs != path) {
        moveDevices(path, createdAs);
    }
    if (creating.isEmpty() && !uncreated.isEmpty()) {
        emit filesNotCreated(uncreated);
        uncreated.clear();
    }
}

void RecordingSession::moveDevices(const QString &path, const QString &createdAs)
{
    for (int row = 0; row < devices->rowCount(); ++row) {
        ItemData record = readRecord(devices, row);
        if (record.filePath != path)
            continue;
        record.filePath = createdAs;
        writeRecord(devices, row, record);
    }
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
        if (rowWriter->append(record.filePath, recordRow(record, now, current).toUtf8()))
            emit rowAccepted(record.filePath);
        else
            emit rowRefused(record.filePath);
    }

    recordTick = lastTick + 1;
    qCDebug(lcDiagnostics).noquote() << QStringLiteral("saved %1").arg(saveCount);
    ++saveCount;
}

void RecordingSession::end()
{
    if (!recording)
        return;
    recording = false;
    emit ended();
}

void RecordingSession::finish(QDeadlineTimer deadline)
{
    end();
    // The window is going: outcomes taken in from here on change no notice.
    closing = true;
    const QHash<QString, RowWriter::Unwritten> unwritten = rowWriter->finish(deadline);
    for (auto file = unwritten.cbegin(); file != unwritten.cend(); ++file) {
        if (neverCreated.contains(file.key()))
            continue;
        qCWarning(lcRecording).noquote()
            << QStringLiteral("%1: %2 rows lost, not written when the window closed (%3 refused by the disk, %4 still queued)")
                   .arg(file.key())
                   .arg(file->refused + file->queued)
                   .arg(file->refused)
                   .arg(file->queued);
    }
}

int RecordingSession::lastPassedTick() const
{
    // Tick k of the timer, k seconds after Start, carries the value k - 2.
    return int(clock.elapsed() / 1000) - 2;
}
