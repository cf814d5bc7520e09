#pragma once

#include <QtGlobal>

// The share of failures a device or a run may have: 5 %. More than that
// turns a device's lamp yellow, fails the device in its run's summary, and,
// as time with the line lost, fails every device of the run; exactly 5 % is
// still within it. Counted in whole polls or milliseconds, never as a
// fraction, so the boundary is exact.
constexpr bool exceedsFailureShare(qint64 failed, qint64 total)
{
    return failed * 20 > total;
}
