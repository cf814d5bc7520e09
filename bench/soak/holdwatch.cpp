#include "holdwatch.h"

HoldWatch::HoldWatch(int intervalMs, qint64 limitMs)
    : m_intervalMs(intervalMs)
    , m_limitMs(limitMs)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(intervalMs);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { tick(); });
    m_sinceTick.start();
    m_timer.start();
}

qint64 HoldWatch::longestHoldMs() const
{
    return qMax(m_longestHoldMs, m_sinceTick.elapsed() - m_intervalMs);
}

void HoldWatch::tick()
{
    const qint64 hold = qMax<qint64>(0, m_sinceTick.restart() - m_intervalMs);
    m_longestHoldMs = qMax(m_longestHoldMs, hold);
    if (hold > m_limitMs)
        ++m_holdsOverLimit;
    ++m_ticks;
}
