#include "acquisition/inputregisters.h"

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
