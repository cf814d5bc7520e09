#include "registerdecoding.h"

#include "inputregisters.h"
#include "units.h"

#include <QCoreApplication>

#include <cstring>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("RegisterDecoding", text);
}

constexpr double PowersOfTen[MaxDecimalsRegisterValue + 1] = {1.0, 10.0, 100.0, 1000.0, 10000.0};

quint16 swapBytes(quint16 word)
{
    return quint16(word << 8 | word >> 8);
}

// The value's bits, most significant first; `first` and `second` are its
// registers in address order.
quint32 bitsOf(const MapField &field, quint16 first, quint16 second)
{
    if (field.registerCount() == 1)
        return first;
    switch (field.byteOrder) {
    case ByteOrder::ABCD:
        return quint32(first) << 16 | second;
    case ByteOrder::CDAB:
        return quint32(second) << 16 | first;
    case ByteOrder::BADC:
        return quint32(swapBytes(first)) << 16 | swapBytes(second);
    case ByteOrder::DCBA:
        return quint32(swapBytes(second)) << 16 | swapBytes(first);
    }
    return 0;
}

double rawValue(ValueType type, quint32 bits)
{
    switch (type) {
    case ValueType::Int16:
        return qint16(bits);
    case ValueType::UInt16:
        return bits;
    case ValueType::Int32:
        return qint32(bits);
    case ValueType::UInt32:
        return bits;
    case ValueType::Float32: {
        float value;
        static_assert(sizeof value == sizeof bits, "a FLOAT32 is an IEEE-754 single");
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    }
    return 0.0;
}

bool isMarked(const MapField &field, quint32 bits)
{
    const qint64 asSigned = field.registerCount() == 1 ? qint64(qint16(bits)) : qint64(qint32(bits));
    for (const qint64 marker : field.invalid) {
        if (marker == qint64(bits) || marker == asSigned)
            return true;
    }
    return false;
}

// One field's number in its unit, or why the answer is no reading.
struct FieldValue
{
    double value = 0.0;
    // The map's own text: nothing is copied while decoding.
    const QString *unit = nullptr;
    bool invalid = false;
    QString failure;
};

FieldValue decodeField(const MapField &field, const MapRegisters &registers)
{
    FieldValue result;
    const auto read = [&](int address) {
        const int value = registers.at(address);
        if (value < 0 && result.failure.isEmpty())
            result.failure = tr("寄存器 %1 未读到").arg(address);
        return quint16(value);
    };

    const quint16 first = read(field.address);
    const quint16 second = field.registerCount() == 2 ? read(field.address + 1) : quint16(0);
    int decimals = 0;
    if (field.decimalsRegister) {
        decimals = read(*field.decimalsRegister);
        if (decimals > MaxDecimalsRegisterValue && result.failure.isEmpty())
            result.failure = tr("小数位寄存器 %1 的值 %2 超出 0–%3")
                                 .arg(*field.decimalsRegister)
                                 .arg(decimals)
                                 .arg(MaxDecimalsRegisterValue);
    }
    result.unit = &field.unit;
    if (field.unitRegister) {
        const quint16 code = read(*field.unitRegister);
        const auto unit = field.unitCodes.constFind(code);
        if (unit != field.unitCodes.constEnd())
            result.unit = &unit.value();
        else if (result.failure.isEmpty())
            result.failure = tr("单位寄存器 %1 的值 %2 不在单位代码中").arg(*field.unitRegister).arg(code);
    }
    if (!result.failure.isEmpty())
        return result;

    const quint32 bits = bitsOf(field, first, second);
    result.invalid = isMarked(field, bits);
    double value = rawValue(field.type, bits);
    if (field.decimalsRegister)
        value /= PowersOfTen[decimals];
    // Left alone at their defaults, so a raw -0.0 keeps its sign.
    if (field.scale != 1.0)
        value *= field.scale;
    if (field.offset != 0.0)
        value += field.offset;
    result.value = value;
    return result;
}

} // namespace

int MapRegisters::at(int address) const
{
    int first = 0;
    for (const RegisterRange &range : ranges) {
        if (range.contains(address)) {
            const int index = first + address - range.start;
            return index < values.size() ? values.at(index) : -1;
        }
        first += range.count;
    }
    return -1;
}

DecodedValues decodeRegisters(const RegisterMap &map, const MapRegisters &registers)
{
    DecodedValues decoded;
    const FieldValue pressure = decodeField(map.pressure, registers);
    FieldValue temperature;
    if (map.temperature)
        temperature = decodeField(*map.temperature, registers);
    if (!pressure.failure.isEmpty() || !temperature.failure.isEmpty()) {
        decoded.failure = pressure.failure.isEmpty() ? temperature.failure : pressure.failure;
        return decoded;
    }

    const PressureUnit *const unit = findPressureUnit(*pressure.unit);
    if (!unit) {
        decoded.failure = tr("压力单位 \"%1\" 未知").arg(*pressure.unit);
        return decoded;
    }
    const float pascals = float(pressure.value / unit->perPascal);
    if (!pressure.invalid && isValidPressure(pascals))
        decoded.pressurePa = pascals;

    decoded.hasTemperature = map.temperature.has_value();
    const float celsius = float(temperature.value);
    if (decoded.hasTemperature && !temperature.invalid && isValidTemperature(celsius))
        decoded.temperature = celsius;
    return decoded;
}
