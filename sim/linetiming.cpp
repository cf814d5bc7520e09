#include "linetiming.h"

#include <algorithm>
#include <cmath>

namespace sim {

std::chrono::microseconds LineTiming::characters(double count) const
{
    if (baud <= 0)
        return std::chrono::microseconds(0);
    return std::chrono::microseconds(std::llround(count * bitsPerChar * 1e6 / baud));
}

std::chrono::microseconds LineTiming::silenceGap() const
{
    return std::max(characters(3.5), std::chrono::microseconds(std::chrono::milliseconds(2)));
}

std::chrono::microseconds LineTiming::replyDelay(int requestBytes, int replyBytes) const
{
    return characters(requestBytes + replyBytes + 3.5);
}

} // namespace sim
