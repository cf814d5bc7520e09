#pragma once

#include "linestats.h"
#include "linetiming.h"
#include "replyqueue.h"
#include "rtuframer.h"
#include "shutdownsignals.h"
#include "simoptions.h"
#include "transmitter.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <map>
#include <optional>
#include <random>

namespace sim {

// All simulated slaves on one line: reads requests, answers them on time and
// keeps the statistics.
class Bus {
public:
    using Clock = std::chrono::steady_clock;

    explicit Bus(const SimOptions &options);

    // A slave's reply to a request frame whose CRC checked, and how long after
    // `now` it is due on the line.
    struct Response {
        Reply reply;
        std::chrono::microseconds delay{0};
    };

    enum class End { Stopped, Pulled, Failed };

    // Serves the line on `lineFd` until a signal arrives. On a stop it counts
    // the requests still arriving, unanswered; on a pull it forgets whatever
    // was half received or not yet sent, as a line cut off does. Failed, with
    // `error` set, when the line itself fails.
    End serve(int lineFd, const ShutdownSignals &shutdown, QString *error);

    // The reply of the slave `frame` is addressed to, counted in the
    // statistics; nothing when no slave has that address.
    std::optional<Response> respond(const QByteArray &frame, Clock::time_point now);
    // A data reply to `address` went out whole.
    void countAnswer(int address);

    const LineStats &stats() const { return m_stats; }

private:

    bool readLine(int lineFd, QString *error);
    bool drainAfterStop(int lineFd, QString *error);
    void handleFrame(const QByteArray &frame, Clock::time_point now);
    void sendDue(int lineFd, Clock::time_point now);
    std::chrono::nanoseconds timeUntilNextEvent(Clock::time_point now) const;

    const bool m_hostile;
    const LineTiming m_timing;
    const Clock::time_point m_start;
    std::map<int, Transmitter> m_transmitters;
    std::mt19937 m_hostileRandom;
    RtuFramer m_framer;
    Clock::time_point m_lastByte;
    ReplyQueue m_outgoing;
    LineStats m_stats;
};

} // namespace sim
