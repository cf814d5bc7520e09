#include "mapencoding.h"

#include "units.h"

#include <cmath>
#include <cstring>

namespace sim {

namespace {

constexpr double PowersOfTen[MaxDecimalsRegisterValue + 1] = {1.0, 10.0, 100.0, 1000.0, 10000.0};

quint16 swapBytes(quint16 word)
{
    return quint16(word << 8 | word >> 8);
}

struct Bounds {
    double lowest;
    double highest;
};

Bounds boundsOf(ValueType type)
{
    switch (type) {
    case ValueType::Int16:
        return {-32768.0, 32767.0};
    case ValueType::UInt16:
        return {0.0, 65535.0};
    case ValueType::Int32:
        return {-2147483648.0, 2147483647.0};
    case ValueType::UInt32:
        return {0.0, 4294967295.0};
    case ValueType::Float32:
        break;
    }
    return {-HUGE_VAL, HUGE_VAL};
}

bool fits(ValueType type, double raw)
{
    const Bounds bounds = boundsOf(type);
    const double rounded = std::round(raw);
    return rounded >= bounds.lowest && rounded <= bounds.highest;
}

// The value's bits, most significant first.
quint32 bitsOf(const MapField &field, double raw)
{
    if (field.type == ValueType::Float32) {
        const float value = float(raw);
        quint32 bits;
        std::memcpy(&bits, &value, sizeof bits);
        return bits;
    }
    if (std::isnan(raw))
        return field.invalid.isEmpty() ? 0 : quint32(field.invalid.constFirst());
    const Bounds bounds = boundsOf(field.type);
    const double clamped = qBound(bounds.lowest, std::round(raw), bounds.highest);
    switch (field.type) {
    case ValueType::Int16:
        return quint16(qint16(clamped));
    case ValueType::UInt16:
        return quint16(clamped);
    case ValueType::Int32:
        return quint32(qint32(clamped));
    case ValueType::UInt32:
    case ValueType::Float32:
        break;
    }
    return quint32(clamped);
}

void put(RegisterTable &table, const MapField &field, quint32 bits)
{
    if (field.registerCount() == 1) {
        table.registers.insert(field.address, quint16(bits));
        return;
    }
    const quint16 high = quint16(bits >> 16);
    const quint16 low = quint16(bits);
    quint16 first = high;
    quint16 second = low;
    switch (field.byteOrder) {
    case ByteOrder::ABCD:
        break;
    case ByteOrder::CDAB:
        first = low;
        second = high;
        break;
    case ByteOrder::BADC:
        first = swapBytes(high);
        second = swapBytes(low);
        break;
    case ByteOrder::DCBA:
        first = swapBytes(low);
        second = swapBytes(high);
        break;
    }
    table.registers.insert(field.address, first);
    table.registers.insert(field.address + 1, second);
}

void encodeField(RegisterTable &table, const MapField &field, double value, bool isPressure)
{
    QString unit = field.unit;
    if (field.unitRegister && !field.unitCodes.isEmpty()) {
        table.registers.insert(*field.unitRegister, quint16(field.unitCodes.firstKey()));
        unit = field.unitCodes.first();
    }
    const PressureUnit *const pressureUnit = isPressure ? findPressureUnit(unit) : nullptr;
    double raw = pressureUnit ? value * pressureUnit->perPascal : value;
    // Left alone at their defaults, so a -0.0 keeps its sign.
    if (field.offset != 0.0)
        raw -= field.offset;
    if (field.scale != 1.0)
        raw *= 1.0 / field.scale;
    if (field.decimalsRegister) {
        // Pressure and temperature may share the register: the first one set counts.
        int decimals = table.registers.value(*field.decimalsRegister, 0);
        if (!table.registers.contains(*field.decimalsRegister)) {
            while (field.type != ValueType::Float32 && decimals < MaxDecimalsRegisterValue
                   && fits(field.type, raw * PowersOfTen[decimals + 1]))
                ++decimals;
            table.registers.insert(*field.decimalsRegister, quint16(decimals));
        }
        raw *= PowersOfTen[qMin(decimals, MaxDecimalsRegisterValue)];
    }
    put(table, field, bitsOf(field, raw));
}

} // namespace

RegisterTable encodeWithMap(const RegisterMap &map, double pascals, double celsius)
{
    RegisterTable table;
    table.function = map.kind == RegisterKind::Holding ? ReadHoldingRegisters : ReadInputRegisters;
    encodeField(table, map.pressure, pascals, true);
    if (map.temperature)
        encodeField(table, *map.temperature, celsius, false);
    // A block's gaps are served too; without a block the ranges hold nothing else.
    for (const RegisterRange &range : registerRanges(map)) {
        for (int address = range.start; address < range.end(); ++address) {
            if (!table.registers.contains(address))
                table.registers.insert(address, 0);
        }
    }
    return table;
}

} // namespace sim
