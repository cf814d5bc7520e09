#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>

// Ticks from the event loop on a precise timer and keeps the longest stretch
// between two ticks: how long the window, whose slots share this loop, was
// ever unresponsive. A hold is how much later than due a tick came; holds
// longer than `longHoldMs` are counted and summed.
class EventLoopWatch
{
public:
    explicit EventLoopWatch(int intervalMs = 100, double longHoldMs = 100.0)
        : m_intervalMs(intervalMs)
        , m_longHoldMs(longHoldMs)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(intervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { tick(); });
        restart();
    }

    // Forgets what was measured so far and measures from now.
    void restart()
    {
        m_longestGapNs = 0;
        m_longHolds = 0;
        m_longHoldsMs = 0.0;
        m_ticks = 0;
        m_sinceTick.start();
        m_timer.start();
    }

    // The stretch still running counts as well: a loop stuck right now shows.
    qint64 longestGapMs() const { return longestGapNs() / 1000000; }
    double longestHoldMs() const { return std::max(0.0, double(longestGapNs()) / 1e6 - m_intervalMs); }
    int longHolds() const { return m_longHolds; }
    // The time spent in holds longer than the limit.
    double longHoldsMs() const { return m_longHoldsMs; }
    qint64 ticks() const { return m_ticks; }

private:
    qint64 longestGapNs() const { return std::max(m_longestGapNs, m_sinceTick.nsecsElapsed()); }

    void tick()
    {
        const qint64 gapNs = m_sinceTick.nsecsElapsed();
        m_sinceTick.start();
        m_longestGapNs = std::max(m_longestGapNs, gapNs);
        const double holdMs = double(gapNs) / 1e6 - m_intervalMs;
        if (holdMs > m_longHoldMs) {
            ++m_longHolds;
            m_longHoldsMs += holdMs;
        }
        ++m_ticks;
    }

    const int m_intervalMs;
    const double m_longHoldMs;
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    qint64 m_longestGapNs = 0;
    int m_longHolds = 0;
    double m_longHoldsMs = 0.0;
    qint64 m_ticks = 0;
};
