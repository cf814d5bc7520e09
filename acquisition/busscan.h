#pragma once

#include "registertransport.h"

#include <QList>
#include <QObject>

class ModbusLine;
class PollCycle;

// A scan of the line for the addresses where a device answers, driven by
// events: one probe goes to the line, its outcome comes back as a signal and
// the next address is probed then. The window is never held while the line
// waits. Probes never share the line with polls: a poll cycle still running
// (Stop lets it finish its pass) is waited for before the first probe.
class BusScan : public QObject
{
    Q_OBJECT

public:
    BusScan(ModbusLine *line, const PollCycle *cycle, QObject *parent = nullptr);

    bool isRunning() const;
    // Probes the addresses first to last in turn with `probe` (a device
    // answering it, even with an exception, is there); does nothing while a
    // scan is running.
    void start(int first, int last, const RegisterRequest &probe = RegisterRequest());
    // Ends the scan at once: the outcome of the probe in flight is dropped, no
    // further probe is sent and finished() is not emitted.
    void cancel();
    // The addresses found so far, in ascending order.
    QList<int> foundAddresses() const;

signals:
    // `probed` of the scan's `total` addresses have had their outcome.
    void progressed(int probed, int total);
    void deviceFound(int address);
    // The last address has been probed.
    void finished();

private:
    void cycleEnded();
    void probeNext();
    void take(quint64 result, bool answered);

    ModbusLine *const line;
    const PollCycle *const cycle;
    int first = 0;
    int last = 0;
    int next = 0;
    RegisterRequest probeRequest;
    quint64 request = 0;
    bool running = false;
    bool waitingForCycle = false;
    QList<int> found;
};
