#include "replyqueue.h"

#include "fault.h"

namespace sim {

void ReplyQueue::add(Clock::time_point due, Outgoing outgoing)
{
    m_queue.emplace(due, std::move(outgoing));
}

void ReplyQueue::addReply(const Reply &reply, int address, Clock::time_point due)
{
    add(due, Outgoing{reply.frame, address, reply.isAnswer});
    if (!reply.tail.isEmpty())
        add(due + std::chrono::milliseconds(reply.tailGapMs), Outgoing{reply.tail, address, false});
}

void ReplyQueue::sendDue(Clock::time_point now, const std::function<bool(const QByteArray &)> &send,
                         const std::function<void(int address)> &answered)
{
    while (!m_queue.empty() && m_queue.begin()->first <= now) {
        const Outgoing outgoing = m_queue.begin()->second;
        m_queue.erase(m_queue.begin());
        if (send(outgoing.bytes) && outgoing.isAnswer)
            answered(outgoing.address);
    }
}

} // namespace sim
