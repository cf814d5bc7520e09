#pragma once

#include "fault.h"

#include <QByteArray>
#include <QtGlobal>

#include <map>
#include <vector>

namespace sim {

struct SlaveStats {
    int address = 0;
    qint64 requests = 0; // well-formed requests with a valid CRC for this address
    qint64 answers = 0;  // complete, correct data replies sent
    std::map<Fault, qint64> faults;
};

struct LineStats {
    std::vector<SlaveStats> slaves; // sorted by address
    qint64 ignoredFrames = 0;       // good frames for addresses nobody serves
    qint64 badCrcFrames = 0;        // runs of bytes that formed no frame with a valid CRC

    explicit LineStats(const std::vector<int> &addresses);
    SlaveStats &slave(int address); // address must be one of those given
    // One line of JSON, keys in a fixed order for people reading it.
    QByteArray toJson() const;
};

} // namespace sim
