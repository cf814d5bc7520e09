#pragma once

#include <QString>

// A value axis on round numbers: the range widened to whole steps, a step of
// 1, 2, 2.5 or 5 times a power of ten, and labels with as many decimals as
// the step needs.
struct AxisTicks
{
    double low = 0.0;
    double high = 1.0;
    double step = 1.0;
    int count = 2;
    int decimals = 0;

    QString label(double value) const;
};

// At most `maxTicks` ticks (at least 2) covering low..high.
AxisTicks roundTicks(double low, double high, int maxTicks = 7);
