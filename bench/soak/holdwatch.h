#pragma once

#include <QElapsedTimer>
#include <QTimer>

// Ticks from the event loop on a fine, precise timer and measures every hold:
// how much later than due a tick came. The window's slots share this loop, so
// a hold is a stretch in which the window could not answer the operator.
class HoldWatch
{
public:
    HoldWatch(int intervalMs, qint64 limitMs);

    // The hold still running counts as well: a loop stuck right now shows.
    qint64 longestHoldMs() const;
    // Holds longer than the limit.
    int holdsOverLimit() const { return m_holdsOverLimit; }
    qint64 ticks() const { return m_ticks; }

private:
    void tick();

    const int m_intervalMs;
    const qint64 m_limitMs;
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    qint64 m_longestHoldMs = 0;
    int m_holdsOverLimit = 0;
    qint64 m_ticks = 0;
};
