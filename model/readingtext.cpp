#include "readingtext.h"

#include <cmath>

QString formatPressure(float value, int decimals)
{
    if (decimals < 0 || decimals > MaxPressureDecimals)
        return QString();
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
    // Truncated in floating point, so values beyond the int range print in
    // full; a negative zero prints as "0", as the int conversion would give.
    if (decimals == 0)
        return QString::asprintf("%.0f", std::trunc(double(value)));
    return QString::asprintf("%0.*f", decimals, double(value));
}

QString formatTemperature(float celsius)
{
    return QString::asprintf("%0.1f", double(celsius));
}
