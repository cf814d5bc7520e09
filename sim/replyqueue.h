#pragma once

#include <QByteArray>

#include <chrono>
#include <functional>
#include <map>

namespace sim {

struct Reply;

// Bytes waiting for the moment they go on the wire, whatever the wire: in the
// order they are due, equal times in the order they were queued.
class ReplyQueue
{
public:
    using Clock = std::chrono::steady_clock;

    struct Outgoing {
        QByteArray bytes;
        int address = 0;
        // A data reply, counted once it went out whole.
        bool isAnswer = false;
    };

    void add(Clock::time_point due, Outgoing outgoing);
    // A slave's reply due at `due`; one that comes split has its tail the
    // reply's gap later, as the serial line sends it.
    void addReply(const Reply &reply, int address, Clock::time_point due);

    bool empty() const { return m_queue.empty(); }
    Clock::time_point nextDue() const { return m_queue.begin()->first; }
    void clear() { m_queue.clear(); }

    // Hands what is due by `now` to `send`, oldest first; `send` tells whether
    // all of it went out, and `answered` hears of each data reply that did.
    void sendDue(Clock::time_point now, const std::function<bool(const QByteArray &)> &send,
                 const std::function<void(int address)> &answered);

private:
    std::multimap<Clock::time_point, Outgoing> m_queue;
};

} // namespace sim
