#pragma once

#include "reading.h"

#include <QList>

#include <deque>
#include <map>

// Readings waiting for the broker, oldest first, with their sequence numbers.
// Past its bound the oldest go first; what went is kept as gaps per device,
// so that subscribers can be told where their sequence has a hole.
class ReadingQueue
{
public:
    struct Entry
    {
        Reading reading;
        quint64 seq = 0;
    };
    struct Gap
    {
        int address = 0;
        quint64 fromSeq = 0;
        quint64 toSeq = 0;
    };

    // An hour of the fastest bench (one device every 50 ms) is 72 000
    // readings; this is more, and stays well under 64 MB.
    static constexpr int DefaultBound = 200000;

    explicit ReadingQueue(int bound = DefaultBound);

    void push(const Reading &reading, quint64 seq);
    bool isEmpty() const { return m_entries.empty(); }
    int size() const { return int(m_entries.size()); }
    Entry takeFirst();

    bool hasGap() const { return !m_gaps.empty(); }
    Gap takeGap();

    quint64 droppedCount() const { return m_dropped; }
    // Addresses that lost readings to the bound, in ascending order.
    QList<int> droppedAddresses() const;

private:
    void dropOldest();

    const int m_bound;
    std::deque<Entry> m_entries;
    // Per device, the ranges dropped and not yet told, oldest first.
    std::map<int, std::deque<Gap>> m_gaps;
    std::map<int, quint64> m_droppedPerDevice;
    quint64 m_dropped = 0;
};
