#pragma once

#include <QDeadlineTimer>
#include <QObject>

class ModbusLine;
class PollCycle;
class QTimer;

// Whether the devices are being polled, asked here by every part. Start
// begins polling and Stop ends it; closing the port halts it until the next
// Start (the window's Start stays disabled until Stop). While polling, every
// cycle ends with the 50 ms pause after its last device, then the gap of the
// poll timer, before the next cycle begins.
class Polling : public QObject
{
    Q_OBJECT

public:
    enum class State {
        Idle,
        Running,
        // The port was closed while polling: no cycle until Stop and Start.
        Halted,
    };

    // `timer` is the single-shot gap between cycles; its timeout is to call
    // beginCycle().
    Polling(PollCycle *cycle, ModbusLine *line, QTimer *timer, QObject *parent = nullptr);

    State state() const { return m_state; }
    // Between Start and Stop, whether or not the port was closed meanwhile.
    bool isStarted() const { return m_state != State::Idle; }
    bool isRunning() const { return m_state == State::Running; }

    void start();
    void stop();
    // The port is being closed: the running cycle ends at once.
    void halt();
    // The gap after the last cycle is over.
    void beginCycle();

signals:
    void stateChanged(State state);

private:
    void cycleFinished();
    void setState(State state);

    PollCycle *const m_cycle;
    ModbusLine *const m_line;
    QTimer *const m_timer;
    State m_state = State::Idle;
    // The next cycle's first request leaves no earlier than this: the pause
    // after the last device plus the gap, to the microsecond.
    QDeadlineTimer m_nextCycle;
};
