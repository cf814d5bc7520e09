#pragma once

#include "itemdata.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

class QStandardItemModel;
class RowWriter;

// One recording and the record files it writes: the chosen folder, each
// device's file, the record clock and its ticks, the rule of which rows are
// due, and what the operator was told about rows that got lost. Files are
// created and rows written by a RowWriter on a thread of its own, which
// outlives a recording: rows still waiting at Stop are written in order
// while the next recording goes on.
class RecordingSession : public QObject
{
    Q_OBJECT

public:
    // `portIsClosed` is asked at every tick: no rows while the port is closed.
    RecordingSession(QStandardItemModel *devices, std::function<bool()> portIsClosed, QObject *parent = nullptr);
    // Finishes, if finish() was not called, within 2 s.
    ~RecordingSession() override;

    // Names a record file per listed device in `folder`, has the writer
    // create them, and starts the record clock; nothing here waits for the
    // folder. The first tick after it starts the count; rows begin with the second.
    void start(const QString &folder);
    // Composes and hands over the rows due since the last tick.
    void tick();
    // Stop, or the port closed: returns at once; rows already given are still written.
    void end();
    // The window is closing: waits until `deadline` at most for the rows
    // still waiting; those not written are named on the debug output.
    void finish(QDeadlineTimer deadline);

    bool isRecording() const { return recording; }
    QString folder() const { return folderPath; }
    // The writer of the record files, for other files of a recording too.
    RowWriter *writer() const { return rowWriter; }

signals:
    // Each listed device as Start left it: its address, settings and file.
    void started(const QString &folder, const QDateTime &at, const QList<ItemData> &devices);
    // Stop, the port closed or the window closing.
    void ended();

    // What the operator is to be told of the record files, until the window
    // closes: files Start could not create (those devices record nothing),
    // rows lost and written again, rows refused for want of room, files cut
    // back to their last whole row; and a new recording, which starts the
    // telling afresh.
    void filesNotCreated(const QStringList &paths);
    void rowsLost(const QString &path, int rows, bool mayBeTorn);
    void rowsWritten(const QString &path);
    void rowRefused(const QString &path);
    void rowAccepted(const QString &path);
    void cutBack(const QString &path, bool done);
    void newRecording();

private:
    int lastPassedTick() const;
    void fileCreated(const QString &path, const QString &createdAs);
    // Gives every device whose file is `path` the file `createdAs` instead.
    void moveDevices(const QString &path, const QString &createdAs);

    QStandardItemModel *const devices;
    const std::function<bool()> portIsClosed;
    RowWriter *const rowWriter;
    bool closing = false;

    QString folderPath;
    QElapsedTimer clock;
    // Record ticks since Start, minus one: -1 until the first tick after Start.
    int recordTick = -1;
    // Ticks that reached the write loop since the program started; diagnostics only.
    int saveCount = 0;
    bool recording = false;
    // Record files asked of the writer and not yet reported.
    QSet<QString> creating;
    // Files that could not be created, told once every file asked for is reported.
    QStringList uncreated;
    // Their rows are no loss: such a device records nothing.
    QSet<QString> neverCreated;
};
