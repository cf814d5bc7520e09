#include "trenddecimation.h"

#include <cmath>
#include <limits>

ColumnDecimator::ColumnDecimator(qint64 fromMs, qint64 toMs, int columns)
    : m_fromMs(fromMs)
    , m_toMs(qMax(toMs, fromMs + 1))
    , m_columns(qMax(columns, 1))
{
}

int ColumnDecimator::columnOf(qint64 ms) const
{
    if (ms < m_fromMs)
        return -1;
    if (ms >= m_toMs)
        return m_columns;
    return int((ms - m_fromMs) * m_columns / (m_toMs - m_fromMs));
}

void ColumnDecimator::add(qint64 ms, float low, float high, float last)
{
    if (!std::isfinite(low) || !std::isfinite(high) || !std::isfinite(last)) {
        addGap();
        return;
    }
    if (ms >= m_fromMs && ms <= m_toMs) {
        m_rangeLow = m_hasRange ? qMin(m_rangeLow, double(low)) : double(low);
        m_rangeHigh = m_hasRange ? qMax(m_rangeHigh, double(high)) : double(high);
        m_hasRange = true;
    }

    const int column = columnOf(ms);
    if (m_open && column != m_column)
        flush();
    if (!m_open) {
        if (m_gapPending)
            appendBreak();
        m_gapPending = false;
        m_open = true;
        m_column = column;
        m_first = {ms, last};
        m_low = {ms, low};
        m_high = {ms, high};
    } else {
        // A gap with values on both sides within one pixel column has no
        // width to show: the column's bar covers it.
        m_gapPending = false;
        if (low < m_low.value)
            m_low = {ms, low};
        if (high > m_high.value)
            m_high = {ms, high};
    }
    m_last = {ms, last};
}

void ColumnDecimator::addGap()
{
    m_gapPending = true;
}

void ColumnDecimator::appendBreak()
{
    if (!m_points.isEmpty() && !std::isnan(m_points.constLast().y()))
        m_points.append(QPointF(m_points.constLast().x(), std::numeric_limits<double>::quiet_NaN()));
}

void ColumnDecimator::flush()
{
    if (!m_open)
        return;
    m_open = false;
    emitPoint(m_first);
    const bool lowFirst = m_low.ms <= m_high.ms;
    emitPoint(lowFirst ? m_low : m_high);
    emitPoint(lowFirst ? m_high : m_low);
    emitPoint(m_last);
}

void ColumnDecimator::emitPoint(const Extreme &extreme)
{
    const QPointF point(double(extreme.ms), double(extreme.value));
    if (m_points.isEmpty() || m_points.constLast() != point)
        m_points.append(point);
}

QVector<QPointF> ColumnDecimator::finish()
{
    flush();
    if (m_gapPending)
        appendBreak();
    m_gapPending = false;
    return m_points;
}

bool ColumnDecimator::valueRange(double *low, double *high) const
{
    if (!m_hasRange)
        return false;
    *low = m_rangeLow;
    *high = m_rangeHigh;
    return true;
}
