#pragma once

#include "linesettings.h"
#include "linestate.h"
#include "pollresult.h"
#include "registertransport.h"
#include "testread.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QThread>

class LineWorker;

// The window's side of the serial line. Requests go to the worker that owns
// the open line, on the line's thread; their outcomes come back as signals on
// the window's thread. Nothing here waits for the line.
class ModbusLine : public QObject
{
    Q_OBJECT

public:
    explicit ModbusLine(QObject *parent = nullptr);
    // Waits 1 s at most for the line's thread: one held in a name lookup or a
    // connect is let go of and ends on its own.
    ~ModbusLine() override;

    LineState state() const { return m_state; }
    // How the line opened last (or being opened) is reached.
    LineSettings::Transport transport() const { return m_transport; }
    // Open, or lost and being opened again: the operator wants the line open
    // and its requests go on (failing while it is lost).
    bool isOpen() const { return m_state == LineState::Open || m_state == LineState::Lost; }
    // The line last asked for, as the line has it: the serial device's path,
    // tcp://host:port or rtu+tcp://host:port.
    QString address() const { return m_address; }

    // Opens a line with `settings`, after the line opened before (if any) has
    // been let go of. openFinished() tells how it went.
    void open(const LineSettings &settings);
    // Lets go of the line at once, also of one still opening: a request in
    // flight is still answered by the line's owner, which then releases the
    // context; its outcome is never reported.
    void close();
    // Sends `requests` to `address`, back to back; polled() carries the
    // outcome under the number returned.
    // The first request leaves no earlier than `notBefore`, timed on the
    // line's thread to the microsecond.
    quint64 poll(int address, const QVector<RegisterRequest> &requests, QDeadlineTimer notBefore = QDeadlineTimer());
    // Asks `address` whether a device answers there with `probeRequest`, waiting
    // 100 ms on a serial line and as long as a poll on a line over TCP; probed()
    // carries the outcome under the number returned.
    quint64 probe(int address, const RegisterRequest &probeRequest = RegisterRequest());
    // Reads `address` once with `map`, as a poll would, in turn with the
    // polls and probes already asked for; testReadFinished() carries the
    // registers or what went wrong under the number returned.
    quint64 testRead(int address, const RegisterMap &map);

signals:
    void stateChanged(LineState state);
    // Comes before openFinished(false) when the failure has a reason worth
    // telling: a TCP host that does not resolve, a connection refused.
    void openFailed(const QString &reason);
    void openFinished(bool ok);
    void polled(const PollResult &result);
    // A reply or an exception reply from the address probed counts as found;
    // a gateway's word that nothing answers behind it does not.
    void probed(quint64 request, bool found);
    void testReadFinished(const TestReadResult &result);
    // The open line's device was lost; it is being opened again by itself.
    void lineLost();
    // The lost device opened again; polls reach the line again.
    void lineRestored();

private:
    void retireWorker();
    void setState(LineState state);

    QThread *const m_thread;
    LineWorker *m_worker = nullptr;
    quint64 m_lastRequest = 0;
    quint64 m_lastWorker = 0;
    LineState m_state = LineState::Closed;
    QString m_address;
    LineSettings::Transport m_transport = LineSettings::Transport::Serial;
};
