#pragma once

#include <QString>

constexpr int MaxPressureDecimals = 5;

// The pressure with `decimals` decimals (0 to 5, otherwise an empty text).
// With 0 the value is truncated toward zero. A value that is not finite gives
// "nan", "inf" or "-inf".
QString formatPressure(float value, int decimals);

// The temperature with one decimal.
QString formatTemperature(float celsius);
