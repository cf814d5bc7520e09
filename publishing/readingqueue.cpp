#include "readingqueue.h"

ReadingQueue::ReadingQueue(int bound)
    : m_bound(qMax(1, bound))
{
}

void ReadingQueue::push(const Reading &reading, quint64 seq)
{
    if (int(m_entries.size()) >= m_bound)
        dropOldest();
    m_entries.push_back({reading, seq});
}

ReadingQueue::Entry ReadingQueue::takeFirst()
{
    Entry first = std::move(m_entries.front());
    m_entries.pop_front();
    return first;
}

ReadingQueue::Gap ReadingQueue::takeGap()
{
    const auto device = m_gaps.begin();
    const Gap gap = device->second.front();
    device->second.pop_front();
    if (device->second.empty())
        m_gaps.erase(device);
    return gap;
}

QList<int> ReadingQueue::droppedAddresses() const
{
    QList<int> addresses;
    for (const auto &device : m_droppedPerDevice)
        addresses << device.first;
    return addresses;
}

void ReadingQueue::dropOldest()
{
    const Entry &oldest = m_entries.front();
    const int address = oldest.reading.address;
    std::deque<Gap> &gaps = m_gaps[address];
    if (!gaps.empty() && gaps.back().toSeq + 1 == oldest.seq)
        gaps.back().toSeq = oldest.seq;
    else
        gaps.push_back({address, oldest.seq, oldest.seq});
    ++m_droppedPerDevice[address];
    ++m_dropped;
    m_entries.pop_front();
}
