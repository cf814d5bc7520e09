#include "inputregisters.h"

#include <cmath>
#include <cstring>

float pressureFromRegisters(const InputRegisters &registers)
{
    const quint32 bits = (quint32(registers[1]) << 16) | registers[0];
    static_assert(sizeof(float) == sizeof(bits), "the pressure is a 32-bit float");
    float pascals;
    std::memcpy(&pascals, &bits, sizeof pascals);
    return pascals;
}

float temperatureFromRegisters(const InputRegisters &registers)
{
    const int raw = registers[6];
    const int tenths = raw >= 0x8000 ? raw - 0x10000 : raw;
    return float(tenths / 10.0);
}

bool isValidPressure(float value)
{
    return std::isfinite(value);
}

bool isValidTemperature(float celsius)
{
    constexpr float AbsoluteZero = -273.15f;
    return std::isfinite(celsius) && celsius >= AbsoluteZero;
}
