#pragma once

#include <QtGlobal>

#include <array>

// The seven input registers every transmitter is asked for, from register 0.
constexpr int InputRegisterCount = 7;
using InputRegisters = std::array<quint16, InputRegisterCount>;

// Pascals: registers 0 (low half) and 1 (high half) of an IEEE-754
// single-precision bit pattern, any pattern included.
float pressureFromRegisters(const InputRegisters &registers);

// Degrees Celsius: register 6 holds tenths of a degree as a signed 16-bit value.
float temperatureFromRegisters(const InputRegisters &registers);

// Whether a decoded value is a reading at all. A pressure that is no number
// (NaN, an infinity) is none. Nor is a temperature below absolute zero: a
// transmitter whose probe is broken sends such a value, commonly 0x8000.
bool isValidPressure(float value);
bool isValidTemperature(float celsius);
