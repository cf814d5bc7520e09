#include "trendhistory.h"

#include "trenddecimation.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

constexpr qint64 MinuteMs = 60000;
// The minute list grows a day at a time: one reallocation a day, and never
// more than a day of spare capacity.
constexpr std::size_t MinutesPerDay = 1440;
constexpr std::size_t FirstRecentCapacity = 1024;
constexpr quint8 PressureGap = 1;
constexpr quint8 TemperatureGap = 2;

constexpr float NotANumber = std::numeric_limits<float>::quiet_NaN();

float finiteOrGap(float value)
{
    return std::isfinite(value) ? value : NotANumber;
}

qint64 floorDiv(qint64 value, qint64 divisor)
{
    return value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor);
}

} // namespace

const TrendSample &TrendHistory::recentAt(std::size_t i) const
{
    return m_recent[(m_recentHead + i) % m_recent.size()];
}

std::size_t TrendHistory::recentAtOrAfter(qint64 ms) const
{
    std::size_t low = 0;
    std::size_t high = m_recentCount;
    while (low < high) {
        const std::size_t middle = (low + high) / 2;
        if (recentAt(middle).ms < ms)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

std::vector<TrendHistory::Minute>::const_iterator TrendHistory::minuteAtOrAfter(qint64 ms) const
{
    return std::lower_bound(m_minutes.begin(), m_minutes.end(), ms,
                            [](const Minute &m, qint64 value) { return m.ms() < value; });
}

void TrendHistory::append(const TrendSample &sample)
{
    while (m_recentCount > 0
           && (m_recentCount >= FullResolutionCount || sample.ms - recentAt(0).ms > FullResolutionMs))
        foldOldest();

    const TrendSample stored{sample.ms, finiteOrGap(sample.pressure), finiteOrGap(sample.temperature)};
    if (m_recentCount < m_recent.size()) {
        m_recent[(m_recentHead + m_recentCount) % m_recent.size()] = stored;
    } else {
        // Full ring below its final size: unwrap it and grow.
        std::rotate(m_recent.begin(), m_recent.begin() + std::ptrdiff_t(m_recentHead), m_recent.end());
        m_recentHead = 0;
        if (m_recent.size() == m_recent.capacity())
            m_recent.reserve(std::min(FullResolutionCount, std::max(FirstRecentCapacity, 2 * m_recent.capacity())));
        m_recent.push_back(stored);
    }
    ++m_recentCount;
}

void TrendHistory::appendGap(qint64 ms)
{
    append({ms, NotANumber, NotANumber});
}

qint64 TrendHistory::lastMs() const
{
    if (m_recentCount > 0)
        return recentAt(m_recentCount - 1).ms;
    return m_minutes.empty() ? 0 : m_minutes.back().ms();
}

void TrendHistory::foldOldest()
{
    const TrendSample &oldest = recentAt(0);
    const qint64 minute = floorDiv(oldest.ms, MinuteMs);
    if (m_minutes.empty() || m_minutes.back().minute != minute) {
        if (m_minutes.size() == m_minutes.capacity())
            m_minutes.reserve(m_minutes.capacity() + MinutesPerDay);
        Minute fresh;
        fresh.minute = qint32(minute);
        fresh.pressureMin = fresh.pressureMax = fresh.pressureLast = NotANumber;
        fresh.temperatureMin = fresh.temperatureMax = fresh.temperatureLast = NotANumber;
        m_minutes.push_back(fresh);
    }
    foldInto(m_minutes.back(), oldest);
    m_recentHead = (m_recentHead + 1) % m_recent.size();
    --m_recentCount;
}

void TrendHistory::foldInto(Minute &minute, const TrendSample &sample)
{
    minute.lastOffset = quint16(sample.ms - qint64(minute.minute) * MinuteMs);
    const auto fold = [&minute](float value, quint8 gapBit, float &low, float &high, float &last) {
        if (std::isnan(value)) {
            minute.gaps |= gapBit;
            return;
        }
        low = std::isnan(low) ? value : std::min(low, value);
        high = std::isnan(high) ? value : std::max(high, value);
        last = value;
    };
    fold(sample.pressure, PressureGap, minute.pressureMin, minute.pressureMax, minute.pressureLast);
    fold(sample.temperature, TemperatureGap, minute.temperatureMin, minute.temperatureMax, minute.temperatureLast);
}

TrendSample TrendHistory::nearest(qint64 ms, bool *aggregated) const
{
    TrendSample best;
    bool bestAggregated = false;
    qint64 bestDistance = std::numeric_limits<qint64>::max();
    const auto consider = [&](const TrendSample &candidate, bool fromMinutes) {
        const qint64 distance = std::llabs(candidate.ms - ms);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = candidate;
            bestAggregated = fromMinutes;
        }
    };

    const std::size_t minute = std::size_t(minuteAtOrAfter(ms) - m_minutes.begin());
    for (const std::size_t i : {minute - 1, minute}) {
        // minute - 1 wraps around to a huge index when minute is 0.
        if (i < m_minutes.size())
            consider({m_minutes[i].ms(), m_minutes[i].pressureLast, m_minutes[i].temperatureLast}, true);
    }

    const std::size_t low = recentAtOrAfter(ms);
    if (low > 0)
        consider(recentAt(low - 1), false);
    if (low < m_recentCount)
        consider(recentAt(low), false);

    if (aggregated)
        *aggregated = bestAggregated;
    return best;
}

void TrendHistory::feed(TrendQuantity quantity, qint64 fromMs, qint64 toMs, ColumnDecimator &decimator) const
{
    const bool pressure = quantity == TrendQuantity::Pressure;

    // The minutes only matter when the polls kept in full start after fromMs.
    if (m_recentCount == 0 || recentAt(0).ms > fromMs) {
        auto it = minuteAtOrAfter(fromMs);
        if (it != m_minutes.begin())
            --it;
        for (; it != m_minutes.end(); ++it) {
            const bool gap = it->gaps & (pressure ? PressureGap : TemperatureGap);
            if (gap)
                decimator.addGap();
            if (pressure)
                decimator.add(it->ms(), it->pressureMin, it->pressureMax, it->pressureLast);
            else
                decimator.add(it->ms(), it->temperatureMin, it->temperatureMax, it->temperatureLast);
            if (gap)
                decimator.addGap();
            if (it->ms() > toMs)
                return;
        }
    }

    const std::size_t low = recentAtOrAfter(fromMs);
    for (std::size_t i = low > 0 ? low - 1 : 0; i < m_recentCount; ++i) {
        const TrendSample &sample = recentAt(i);
        decimator.add(sample.ms, pressure ? sample.pressure : sample.temperature);
        if (sample.ms > toMs)
            return;
    }
}

std::size_t TrendHistory::memoryBytes() const
{
    return sizeof(*this) + m_recent.capacity() * sizeof(TrendSample) + m_minutes.capacity() * sizeof(Minute);
}
