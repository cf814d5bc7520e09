#pragma once

#include "gaprows.h"

#include <QHash>
#include <QList>
#include <QObject>

class ModbusLine;
class PollCycle;
class QStandardItemModel;

// What one device's polls did around the line's gaps.
struct GapPolls
{
    // The polls that found the line gone: their request may or may not have
    // reached the line, and may or may not have been answered.
    int findingLoss = 0;
    // Later polls while the line was lost: none of them reached the line.
    int whileLost = 0;
    int answeredWhileLost = 0;
};

// The window's side of a soak as it happened, on the wall clock: when its
// line was lost and restored, every device's status change, which polls fell
// into the gaps, how long the poll cycles took, and how many file descriptors
// were open each time the line came back.
class WindowTimeline
{
public:
    WindowTimeline(const QStandardItemModel *devices, const ModbusLine *line, const PollCycle *cycle);

    QList<LineGap> gaps() const { return m_gaps; }
    bool lineIsLost() const { return !m_gaps.isEmpty() && m_gaps.constLast().restoredMs < 0; }
    QList<StatusChange> statusChanges(int address) const { return m_statuses.value(address); }
    GapPolls gapPolls(int address) const { return m_gapPolls.value(address); }
    // From the end of one poll cycle to the end of the next, each.
    QList<qint64> cycleLengthsMs() const { return m_cycleLengthsMs; }
    QList<int> descriptorsAtRestores() const { return m_descriptorsAtRestores; }

private:
    void lost();
    void sample(int address, int status, quint32 polls);

    QObject m_context;
    QList<LineGap> m_gaps;
    bool m_lossUnfound = false; // lost, and the poll that found it not stored yet
    QHash<int, QList<StatusChange>> m_statuses;
    QHash<int, quint32> m_polls;
    QHash<int, GapPolls> m_gapPolls;
    qint64 m_lastCycleEndMs = -1;
    QList<qint64> m_cycleLengthsMs;
    QList<int> m_descriptorsAtRestores;
};
