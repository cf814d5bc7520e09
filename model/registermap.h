#pragma once

#include "result.h"

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QVector>

#include <optional>

// How one transmitter is read: which registers hold its pressure and
// temperature, and how their bits become numbers. Addresses are the
// protocol's, counted from 0.

enum class RegisterKind {
    Input,   // function 04
    Holding, // function 03
};

enum class ValueType { Int16, UInt16, Int32, UInt32, Float32 };

// The order of the four bytes of a 32-bit value as they come off the wire,
// A being the most significant: ABCD is high word first, CDAB low word first,
// BADC and DCBA the same with the bytes of each word swapped.
enum class ByteOrder { ABCD, CDAB, BADC, DCBA };

// One quantity: raw ÷ 10^decimals × scale + offset, in `unit`.
struct MapField
{
    int address = 0;
    ValueType type = ValueType::Float32;
    // Only meaningful for the 32-bit types.
    ByteOrder byteOrder = ByteOrder::ABCD;
    double scale = 1.0;
    double offset = 0.0;
    // Of the value itself; empty when a unit register names it.
    QString unit;
    // A register holding the number of decimals (0–4) the value carries.
    std::optional<int> decimalsRegister;
    // A register holding a code of `unitCodes` naming the value's unit.
    std::optional<int> unitRegister;
    QMap<int, QString> unitCodes;
    // Raw values meaning "no value", matched against the value's bits read
    // both unsigned and signed (so 0x8000 and -32768 are the same marker).
    QVector<qint64> invalid;

    // 1 or 2.
    int registerCount() const;
};

bool operator==(const MapField &a, const MapField &b);
bool operator!=(const MapField &a, const MapField &b);

struct RegisterMap
{
    QString name;
    RegisterKind kind = RegisterKind::Input;
    MapField pressure;
    std::optional<MapField> temperature;
    // Read the whole span of the map's registers in one request, gaps
    // included; otherwise gaps are left out, as many transmitters refuse
    // requests that touch registers they do not map.
    bool block = false;
};

bool operator==(const RegisterMap &a, const RegisterMap &b);
bool operator!=(const RegisterMap &a, const RegisterMap &b);

// The most registers one request may read.
constexpr int MaxRegistersPerRequest = 125;
constexpr int MaxRegisterAddress = 0xFFFF;
constexpr int MaxDecimalsRegisterValue = 4;

// The layout every device is read with unless told otherwise: function 04,
// seven input registers from 0 read in one request; the pressure a float in
// pascals in registers 0 and 1, low word first; the temperature in tenths of
// a degree Celsius, signed, in register 6.
QString standardMapName();
RegisterMap standardMap();

// The unit of every temperature.
QString celsiusUnit();

struct RegisterRange
{
    int start = 0;
    int count = 0;

    int end() const { return start + count; }
    bool contains(int address) const { return address >= start && address < end(); }
};

// The requests a poll sends, in address order: one range when the map's
// registers are contiguous or the map reads them as a block, otherwise one
// per contiguous group. Every range holds at most MaxRegistersPerRequest.
QVector<RegisterRange> registerRanges(const RegisterMap &map);

// The first thing that makes the map unusable, naming the field it is in;
// empty when there is none. A pressure unit is one the unit table converts
// to pascals; a temperature is in °C.
QString mapProblem(const RegisterMap &map);

// The map as a device-list file and the simulator keep it. A map is taken
// whole or refused whole, with the field that is wrong named.
Result<RegisterMap> mapFromJson(const QJsonObject &object);
QJsonObject mapToJson(const RegisterMap &map);
