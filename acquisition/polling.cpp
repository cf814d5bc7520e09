#include "polling.h"

#include "modbusline.h"
#include "pollcycle.h"

#include <QTimer>

Polling::Polling(PollCycle *cycle, ModbusLine *line, QTimer *timer, QObject *parent)
    : QObject(parent)
    , m_cycle(cycle)
    , m_line(line)
    , m_timer(timer)
{
    connect(cycle, &PollCycle::finished, this, &Polling::cycleFinished);
}

void Polling::start()
{
    setState(State::Running);
    m_nextCycle = QDeadlineTimer(0);
    m_timer->start();
}

void Polling::stop()
{
    // A cycle that is running goes on to its last device, without a next one.
    m_timer->stop();
    setState(State::Idle);
}

void Polling::halt()
{
    m_cycle->abort();
    m_timer->stop();
    if (m_state == State::Running)
        setState(State::Halted);
}

void Polling::beginCycle()
{
    if (!m_line->isOpen())
        return;
    // A pass still running (Stop and Start within one pass) goes on; it arms
    // the timer again when it ends.
    m_cycle->start(m_nextCycle);
}

void Polling::cycleFinished()
{
    if (m_state != State::Running || !m_line->isOpen())
        return;
    // The timer wakes in whole milliseconds; the line's thread waits out the rest.
    m_nextCycle = m_cycle->pauseEnd() + m_timer->interval();
    m_timer->start();
}

void Polling::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}
