#pragma once

#include <cstdint>
#include <random>

namespace sim {

// The standard distributions differ between libraries; these do not, so a
// seed gives the same run everywhere.

// Uniform in [0, 1).
inline double unitInterval(std::mt19937 &random)
{
    return static_cast<double>(random() >> 8) / 16777216.0;
}

// Uniform in [low, high].
inline int uniformInt(std::mt19937 &random, int low, int high)
{
    const auto span = static_cast<std::uint32_t>(high - low) + 1;
    return low + static_cast<int>(random() % span);
}

} // namespace sim
