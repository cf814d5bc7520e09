#pragma once

#include "fault.h"

#include <QByteArray>

#include <random>

namespace sim {

// Gap inside a split reply: longer than a master's 500 ms byte time-out,
// shorter than its 1 s response time-out.
constexpr int HostileGapMinMs = 600;
constexpr int HostileGapMaxMs = 900;

// `frame` in two parts: the tail follows after a gap that makes a master give
// up on the head, so the tail lands in whatever it reads next.
Reply splitReply(const QByteArray &frame, std::mt19937 &random);

// A misbehaving reply in place of `correct`, the frame a sound slave would
// send: noise of random length, a frame whose byte count disagrees with the
// data it carries, the correct frame split by a long gap, or the correct frame
// from another address.
Reply hostileReply(const QByteArray &correct, std::mt19937 &random);

} // namespace sim
