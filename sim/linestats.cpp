#include "linestats.h"

#include <algorithm>

namespace sim {

LineStats::LineStats(const std::vector<int> &addresses)
{
    for (const int address : addresses) {
        SlaveStats stats;
        stats.address = address;
        for (const Fault fault : CountedFaults)
            stats.faults[fault] = 0;
        slaves.push_back(stats);
    }
    std::sort(slaves.begin(), slaves.end(),
              [](const SlaveStats &a, const SlaveStats &b) { return a.address < b.address; });
}

SlaveStats &LineStats::slave(int address)
{
    const auto found = std::find_if(slaves.begin(), slaves.end(),
                                    [address](const SlaveStats &s) { return s.address == address; });
    Q_ASSERT(found != slaves.end());
    return *found;
}

QByteArray LineStats::toJson() const
{
    QByteArray json = "{\"slaves\":[";
    for (const SlaveStats &stats : slaves) {
        if (&stats != &slaves.front())
            json += ',';
        json += "{\"address\":" + QByteArray::number(stats.address)
              + ",\"requests\":" + QByteArray::number(stats.requests)
              + ",\"answers\":" + QByteArray::number(stats.answers) + ",\"faults\":{";
        for (const Fault fault : CountedFaults) {
            if (fault != CountedFaults.front())
                json += ',';
            json += '"' + faultName(fault).toLatin1() + "\":" + QByteArray::number(stats.faults.at(fault));
        }
        json += "}}";
    }
    json += "],\"ignored_frames\":" + QByteArray::number(ignoredFrames)
          + ",\"bad_crc_frames\":" + QByteArray::number(badCrcFrames) + '}';
    return json;
}

} // namespace sim
