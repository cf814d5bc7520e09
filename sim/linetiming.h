#pragma once

#include <chrono>

namespace sim {

struct LineTiming {
    int baud = 0; // 0: no wire-time emulation
    int bitsPerChar = 10;

    std::chrono::microseconds characters(double count) const;
    // A frame without a fixed length ends after this much quiet:
    // 3.5 character times, but at least 2 ms.
    std::chrono::microseconds silenceGap() const;
    // How long a real line would keep the master waiting for the reply:
    // request and reply on the wire plus the inter-frame gap.
    std::chrono::microseconds replyDelay(int requestBytes, int replyBytes) const;
};

} // namespace sim
