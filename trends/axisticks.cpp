#include "axisticks.h"

#include <algorithm>
#include <cmath>

QString AxisTicks::label(double value) const
{
    // -0.0 would print as "-0.0".
    const double shown = std::abs(value) < step * 1e-6 ? 0.0 : value;
    return QString::number(shown, 'f', decimals);
}

AxisTicks roundTicks(double low, double high, int maxTicks)
{
    AxisTicks ticks;
    maxTicks = std::max(2, maxTicks);
    if (!std::isfinite(low) || !std::isfinite(high))
        return ticks;
    if (high < low)
        std::swap(low, high);
    if (high - low < 1e-12 * std::max(1.0, std::abs(low))) {
        low -= 0.5;
        high += 0.5;
    }

    const double rough = (high - low) / (maxTicks - 1);
    const int exponent = int(std::floor(std::log10(rough)));
    const double power = std::pow(10.0, exponent);
    // 2.5 needs one decimal more than its power of ten.
    const struct {
        double factor;
        int extraDecimals;
    } steps[] = {{1.0, 0}, {2.0, 0}, {2.5, 1}, {5.0, 0}, {10.0, -1}};
    for (const auto &candidate : steps) {
        const double step = candidate.factor * power;
        const double first = std::floor(low / step + 1e-9) * step;
        const double last = std::ceil(high / step - 1e-9) * step;
        const int count = int(std::llround((last - first) / step)) + 1;
        if (count <= maxTicks || candidate.factor == 10.0) {
            ticks.low = first;
            ticks.high = last;
            ticks.step = step;
            ticks.count = count;
            ticks.decimals = std::max(0, -exponent + candidate.extraDecimals);
            break;
        }
    }
    return ticks;
}
