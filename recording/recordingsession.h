#pragma once

#include "devices/itemdata.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class QStandardItemModel;
class QWidget;
class RecordWriteNotice;
class RowWriter;

// One recording and the record files it writes: the chosen folder, each
// device's file, the record clock and its ticks, the rule of which rows are
// due, and what the operator was told about rows that got lost. Rows are
// composed on the window's thread at their tick and written by a RowWriter
// on a thread of its own, which outlives a recording: rows still waiting at
// Stop are written in order while the next recording goes on.
class RecordingSession : public QObject
{
    Q_OBJECT

public:
    // `portIsClosed` is asked at every tick: no rows while the port is closed.
    RecordingSession(QStandardItemModel *devices, QWidget *window, std::function<bool()> portIsClosed);
    // Waits at most 2 s for the rows still waiting; those it cannot write are
    // named on the debug output.
    ~RecordingSession() override;

    // Creates a record file per listed device in `folder` and starts the
    // record clock. The first tick after it starts the count; rows begin with
    // the second.
    void start(const QString &folder);
    // Composes and hands over the rows due since the last tick.
    void tick();
    // Stop, or the port closed: returns at once; rows already given are still written.
    void end();

    bool isRecording() const { return recording; }
    QString folder() const { return folderPath; }
    // The writer of the record files, for other files of a recording too.
    RowWriter *writer() const { return rowWriter; }

signals:
    // Each listed device as Start left it: its address, settings and file
    // (empty when the file could not be created).
    void started(const QString &folder, const QDateTime &at, const QList<ItemData> &devices);
    // Stop, the port closed or the window closing.
    void ended();

private:
    int lastPassedTick() const;

    QStandardItemModel *const devices;
    QWidget *const window;
    const std::function<bool()> portIsClosed;
    RowWriter *const rowWriter;
    RecordWriteNotice *const notice;

    QString folderPath;
    QElapsedTimer clock;
    // Record ticks since Start, minus one: -1 until the first tick after Start.
    int recordTick = -1;
    // Ticks that reached the write loop since the program started; diagnostics only.
    int saveCount = 0;
    bool recording = false;
};
