#pragma once

#include <QtGlobal>

#include <cstddef>
#include <vector>

class ColumnDecimator;

enum class TrendQuantity { Pressure, Temperature };

// One poll as a trend holds it. A value that is not a number is a gap: the
// poll failed, or the reading was not finite.
struct TrendSample
{
    qint64 ms = 0; // milliseconds since the epoch
    float pressure = 0;
    float temperature = 0;
};

// A device's readings over the whole session in bounded memory: every poll of
// the last day (at most FullResolutionCount of them), and beyond that one
// entry per minute with the minimum, maximum and last value of each quantity.
class TrendHistory
{
public:
    static constexpr qint64 FullResolutionMs = 24 * 3600 * 1000;
    static constexpr std::size_t FullResolutionCount = 172800; // a day at a 0.5 s cycle

    void append(const TrendSample &sample);
    void appendGap(qint64 ms);

    bool isEmpty() const { return m_recentCount == 0 && m_minutes.empty(); }
    qint64 lastMs() const;

    // The poll nearest to `ms`; beyond the last day, the last poll of the
    // nearest minute with that minute's last values. `aggregated` tells which.
    TrendSample nearest(qint64 ms, bool *aggregated = nullptr) const;

    // Hands the decimator every entry between `fromMs` and `toMs` in time
    // order, plus the one just outside each end so that lines reach the edges.
    void feed(TrendQuantity quantity, qint64 fromMs, qint64 toMs, ColumnDecimator &decimator) const;

    // Bytes the history's containers hold: capacity times element size.
    std::size_t memoryBytes() const;

private:
    struct Minute
    {
        qint32 minute = 0;      // minutes since the epoch
        quint16 lastOffset = 0; // milliseconds of its last poll within the minute
        quint8 gaps = 0;        // bit 0: pressure, bit 1: temperature had a gap
        float pressureMin = 0, pressureMax = 0, pressureLast = 0;
        float temperatureMin = 0, temperatureMax = 0, temperatureLast = 0;

        qint64 ms() const { return qint64(minute) * 60000 + lastOffset; }
    };

    const TrendSample &recentAt(std::size_t i) const;
    std::size_t recentAtOrAfter(qint64 ms) const;
    std::vector<Minute>::const_iterator minuteAtOrAfter(qint64 ms) const;
    void foldOldest();
    static void foldInto(Minute &minute, const TrendSample &sample);

    std::vector<Minute> m_minutes;
    // A ring of the most recent polls, oldest at m_recentHead.
    std::vector<TrendSample> m_recent;
    std::size_t m_recentHead = 0;
    std::size_t m_recentCount = 0;
};
