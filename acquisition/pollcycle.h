#pragma once

#include "pollresult.h"
#include "reading.h"
#include "registermap.h"

#include <QDeadlineTimer>
#include <QList>
#include <QObject>
#include <QPersistentModelIndex>
#include <QTimer>

class ModbusLine;
class QStandardItemModel;

// One pass over the device list, driven by events: a device's request goes
// to the line, its outcome comes back as a signal and is stored in the
// device's row, and a timer schedules the next device 50 ms later. Devices
// are followed by their rows' identities, so a device removed meanwhile is
// skipped and its late outcome reaches no other row.
class PollCycle : public QObject
{
    Q_OBJECT

public:
    PollCycle(QStandardItemModel *devices, ModbusLine *line, QObject *parent = nullptr);

    bool isRunning() const;
    // Starts a pass over the devices listed now; devices added later wait
    // for the next pass. Its first request leaves no earlier than
    // `notBefore`. Does nothing while a pass is running.
    void start(QDeadlineTimer notBefore = QDeadlineTimer(0));
    // Ends the pass at once; the outcome of a request in flight is dropped
    // and finished() is not emitted; aborted() is, when a pass was running.
    void abort();
    // When the pause after the latest device ends, or ended.
    QDeadlineTimer pauseEnd() const { return pauseDeadline; }

signals:
    // The pass has polled its last device and the pause after it is over.
    void finished();
    void aborted();
    // A poll outcome, announced once, after it was stored in the device's row.
    // Devices removed while their request was in flight announce nothing.
    void readingTaken(const Reading &reading);

private:
    void pollNext();
    void store(const PollResult &result);

    QStandardItemModel *const devices;
    ModbusLine *const line;
    QList<QPersistentModelIndex> waiting;
    QPersistentModelIndex polling;
    // The map the device in flight was asked with: its answer is decoded
    // with it, whatever the record says by then.
    RegisterMap pollingMap;
    quint64 request = 0;
    bool running = false;
    // The pause wakes the cycle a little early; the line's thread waits out
    // the rest precisely, as the event loop wakes only in whole milliseconds.
    QTimer pause;
    QDeadlineTimer pauseDeadline;
};
