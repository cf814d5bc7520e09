#pragma once

#include <QPointF>
#include <QVector>

// Thins a time series to a plot's pixel columns. Each column keeps its first,
// lowest, highest and last value in time order, so the drawn line covers the
// same pixels as the full series and a one-sample spike is never lost. A gap
// between two columns breaks the line: the points come back with a NaN y
// where the line stops. So a column yields at most four points and a break.
class ColumnDecimator
{
public:
    // Columns span fromMs..toMs; entries outside fall into one column per side.
    ColumnDecimator(qint64 fromMs, qint64 toMs, int columns);

    void add(qint64 ms, float value) { add(ms, value, value, value); }
    // An entry standing for several polls: their lowest, highest and last value.
    void add(qint64 ms, float low, float high, float last);
    void addGap();

    // x in milliseconds since the epoch, y the value; NaN y between lines.
    QVector<QPointF> finish();

    // The lowest and highest value between fromMs and toMs; false when none.
    bool valueRange(double *low, double *high) const;

private:
    struct Extreme
    {
        qint64 ms = 0;
        float value = 0;
    };

    int columnOf(qint64 ms) const;
    void flush();
    void appendBreak();
    void emitPoint(const Extreme &extreme);

    const qint64 m_fromMs;
    const qint64 m_toMs;
    const int m_columns;

    QVector<QPointF> m_points;
    bool m_open = false;       // the current column holds entries
    bool m_gapPending = false; // a gap since the last entry
    int m_column = 0;
    Extreme m_first, m_low, m_high, m_last;

    bool m_hasRange = false;
    double m_rangeLow = 0;
    double m_rangeHigh = 0;
};
