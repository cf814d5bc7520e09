#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// Ticks from the event loop and keeps the longest stretch between two ticks:
// how long the window, whose slots share this loop, was ever unresponsive.
class EventLoopWatch
{
public:
    explicit EventLoopWatch(int intervalMs = 100)
    {
        m_timer.setInterval(intervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            m_longestGapMs = qMax(m_longestGapMs, m_sinceTick.restart());
            ++m_ticks;
        });
        restart();
    }

    // Forgets what was measured so far and measures from now.
    void restart()
    {
        m_longestGapMs = 0;
        m_ticks = 0;
        m_sinceTick.start();
        m_timer.start();
    }

    // The stretch still running counts as well: a loop stuck right now shows.
    qint64 longestGapMs() const { return qMax(m_longestGapMs, m_sinceTick.elapsed()); }
    qint64 ticks() const { return m_ticks; }

private:
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    qint64 m_longestGapMs = 0;
    qint64 m_ticks = 0;
};
