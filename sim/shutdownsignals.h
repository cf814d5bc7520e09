#pragma once

#include "serialline.h"

#include <optional>

namespace sim {

// Turns SIGINT, SIGTERM and SIGHUP into a readable pipe, so a poll loop wakes
// up and the process can end cleanly. One instance per process.
class ShutdownSignals {
public:
    static std::optional<ShutdownSignals> install();

    int fd() const { return m_readEnd.get(); }
    // Makes the pipe readable as if a signal had come.
    void trigger() const;

private:
    ShutdownSignals(FileDescriptor readEnd, int writeEnd);

    FileDescriptor m_readEnd;
    int m_writeEnd; // stays open for the handler until the process ends
};

} // namespace sim
