#pragma once

// Modbus RTU slave addresses run from 1 to 247; 0 is broadcast, the rest
// reserved.
constexpr int FirstSlaveAddress = 1;
constexpr int LastSlaveAddress = 247;

constexpr bool isSlaveAddress(int address)
{
    return address >= FirstSlaveAddress && address <= LastSlaveAddress;
}
