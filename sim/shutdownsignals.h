#pragma once

#include "serialline.h"

#include <optional>

namespace sim {

// Turns SIGINT, SIGTERM and SIGHUP into a readable pipe, so a poll loop wakes
// up and the process can end cleanly; SIGUSR1, which pulls the line, goes
// through the same pipe. One instance per process.
class ShutdownSignals {
public:
    static std::optional<ShutdownSignals> install();

    int fd() const { return m_readEnd.get(); }
    // Takes the next signal from the pipe: true for a pull. Any other signal
    // is put back, so the pipe stays readable for the stop.
    bool takePull() const;
    // Makes the pipe readable as if a stop signal had come.
    void trigger() const;

private:
    ShutdownSignals(FileDescriptor readEnd, int writeEnd);

    FileDescriptor m_readEnd;
    int m_writeEnd; // stays open for the handler until the process ends
};

} // namespace sim
