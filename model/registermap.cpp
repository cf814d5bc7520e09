#include "registermap.h"

#include "units.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonValue>
#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <cstddef>
#include <cmath>
#include <initializer_list>
#include <utility>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("RegisterMap", text);
}

struct Key
{
    const char *key;
    const char *label;
};

constexpr Key NameKey{"name", "名称"};
constexpr Key KindKey{"register", "寄存器类型"};
constexpr Key PressureKey{"pressure", "压力"};
constexpr Key TemperatureKey{"temperature", "温度"};
constexpr Key BlockKey{"block", "整块读取"};
constexpr Key AddressKey{"address", "地址"};
constexpr Key TypeKey{"type", "数据类型"};
constexpr Key ByteOrderKey{"byteOrder", "字节序"};
constexpr Key ScaleKey{"scale", "倍率"};
constexpr Key OffsetKey{"offset", "偏移"};
constexpr Key UnitKey{"unit", "单位"};
constexpr Key DecimalsRegisterKey{"decimalsRegister", "小数位寄存器"};
constexpr Key UnitRegisterKey{"unitRegister", "单位寄存器"};
constexpr Key UnitCodesKey{"unitCodes", "单位代码"};
constexpr Key InvalidKey{"invalid", "无效值"};

QString named(const Key &key)
{
    return QStringLiteral("%1 (%2)").arg(tr(key.label), QLatin1String(key.key));
}

template <typename T>
struct Choice
{
    T value;
    const char *text;
};

constexpr Choice<RegisterKind> kinds[] = {
    {RegisterKind::Input, "input"},
    {RegisterKind::Holding, "holding"},
};

constexpr Choice<ValueType> types[] = {
    {ValueType::Int16, "INT16"},   {ValueType::UInt16, "UINT16"}, {ValueType::Int32, "INT32"},
    {ValueType::UInt32, "UINT32"}, {ValueType::Float32, "FLOAT32"},
};

constexpr Choice<ByteOrder> byteOrders[] = {
    {ByteOrder::ABCD, "ABCD"},
    {ByteOrder::CDAB, "CDAB"},
    {ByteOrder::BADC, "BADC"},
    {ByteOrder::DCBA, "DCBA"},
};

template <typename T, std::size_t N>
QString textOf(const Choice<T> (&choices)[N], T value)
{
    for (const Choice<T> &choice : choices) {
        if (choice.value == value)
            return QLatin1String(choice.text);
    }
    return QString();
}

QString numberText(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

bool isWhole(double value)
{
    return std::isfinite(value) && value == std::floor(value);
}

// Reads the keys of one JSON object; the first problem found is the one
// reported, prefixed with the place it was found.
class ObjectReader
{
public:
    ObjectReader(const QJsonObject &object, QString place, QString *error)
        : m_object(object)
        , m_place(std::move(place))
        , m_error(error)
    {
    }

    // A misspelt key would otherwise go unnoticed and its default be used:
    // wrong numbers rather than a refusal.
    void refuseOtherKeys(std::initializer_list<Key> known)
    {
        for (const QString &key : m_object.keys()) {
            const bool isKnown = std::any_of(known.begin(), known.end(),
                                             [&](const Key &k) { return key == QLatin1String(k.key); });
            if (!isKnown)
                fail(tr("未知字段 \"%1\"").arg(key));
        }
    }

    bool has(const Key &key) const { return m_object.contains(QLatin1String(key.key)); }
    QJsonValue value(const Key &key) const { return m_object.value(QLatin1String(key.key)); }

    QString text(const Key &key)
    {
        const QJsonValue value = required(key);
        if (!value.isUndefined() && !value.isString())
            fail(tr("%1 应为文本").arg(named(key)));
        return value.toString();
    }

    template <typename T, std::size_t N>
    T choice(const Key &key, const Choice<T> (&choices)[N])
    {
        const QString given = text(key);
        QStringList offered;
        for (const Choice<T> &choice : choices) {
            if (given == QLatin1String(choice.text))
                return choice.value;
            offered << QLatin1String(choice.text);
        }
        if (!failed())
            fail(tr("%1 \"%2\" 不在可选值 %3 中").arg(named(key), given, offered.join(QLatin1Char('/'))));
        return choices[0].value;
    }

    int address(const Key &key)
    {
        const QJsonValue value = required(key);
        if (value.isUndefined())
            return 0;
        if (!value.isDouble() || !isWhole(value.toDouble())) {
            fail(tr("%1 应为整数").arg(named(key)));
            return 0;
        }
        const double address = value.toDouble();
        if (address < 0 || address > MaxRegisterAddress) {
            fail(tr("%1 %2 超出 0–%3").arg(named(key), numberText(address)).arg(MaxRegisterAddress));
            return 0;
        }
        return int(address);
    }

    std::optional<int> optionalAddress(const Key &key)
    {
        if (!has(key))
            return std::nullopt;
        return address(key);
    }

    double number(const Key &key, double fallback)
    {
        if (!has(key))
            return fallback;
        const QJsonValue value = this->value(key);
        if (!value.isDouble()) {
            fail(tr("%1 应为数").arg(named(key)));
            return fallback;
        }
        return value.toDouble();
    }

    bool flag(const Key &key)
    {
        if (!has(key))
            return false;
        const QJsonValue value = this->value(key);
        if (!value.isBool())
            fail(tr("%1 应为 true 或 false").arg(named(key)));
        return value.toBool();
    }

    QJsonObject object(const Key &key)
    {
        const QJsonValue value = required(key);
        if (!value.isUndefined() && !value.isObject())
            fail(tr("%1 应为对象").arg(named(key)));
        return value.toObject();
    }

    void fail(const QString &problem)
    {
        if (m_error->isEmpty())
            *m_error = m_place.isEmpty() ? problem : tr("%1：%2").arg(m_place, problem);
    }

    bool failed() const { return !m_error->isEmpty(); }

private:
    QJsonValue required(const Key &key)
    {
        const QJsonValue value = this->value(key);
        if (value.isUndefined())
            fail(tr("缺少 %1").arg(named(key)));
        return value;
    }

    const QJsonObject m_object;
    const QString m_place;
    QString *m_error;
};

// A marker is a JSON integer, or a text such as "0x7FFF" as manuals print them.
std::optional<qint64> markerOf(const QJsonValue &value)
{
    if (value.isDouble() && isWhole(value.toDouble()) && std::fabs(value.toDouble()) <= 0xFFFFFFFFLL)
        return qint64(value.toDouble());
    const QString text = value.toString().trimmed();
    if (!text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        return std::nullopt;
    const QString digits = text.mid(2);
    bool ok = false;
    const qint64 marker = digits.toLongLong(&ok, 16);
    if (!ok || digits.startsWith(QLatin1Char('-')) || digits.startsWith(QLatin1Char('+')))
        return std::nullopt;
    return marker;
}

MapField readField(const QJsonObject &object, bool isTemperature, QString *error)
{
    ObjectReader reader(object, named(isTemperature ? TemperatureKey : PressureKey), error);
    reader.refuseOtherKeys({AddressKey, TypeKey, ByteOrderKey, ScaleKey, OffsetKey, UnitKey,
                            DecimalsRegisterKey, UnitRegisterKey, UnitCodesKey, InvalidKey});
    MapField field;
    field.address = reader.address(AddressKey);
    field.type = reader.choice(TypeKey, types);
    if (reader.failed())
        return field;
    if (field.registerCount() == 2)
        field.byteOrder = reader.choice(ByteOrderKey, byteOrders);
    else if (reader.has(ByteOrderKey))
        reader.fail(tr("%1 只用于 32 位的数据类型").arg(named(ByteOrderKey)));
    field.scale = reader.number(ScaleKey, 1.0);
    field.offset = reader.number(OffsetKey, 0.0);
    field.decimalsRegister = reader.optionalAddress(DecimalsRegisterKey);
    field.unitRegister = reader.optionalAddress(UnitRegisterKey);
    if (reader.has(UnitKey))
        field.unit = reader.text(UnitKey);
    else if (isTemperature)
        field.unit = celsiusUnit();
    else if (!field.unitRegister)
        reader.fail(tr("缺少 %1 或 %2").arg(named(UnitKey), named(UnitRegisterKey)));

    if (reader.has(UnitCodesKey)) {
        const QJsonValue codes = reader.value(UnitCodesKey);
        if (!codes.isObject())
            reader.fail(tr("%1 应为对象").arg(named(UnitCodesKey)));
        const QJsonObject table = codes.toObject();
        for (auto it = table.begin(); it != table.end() && !reader.failed(); ++it) {
            bool isNumber = false;
            const int code = it.key().toInt(&isNumber);
            if (!isNumber || code < 0 || code > 0xFFFF || QString::number(code) != it.key())
                reader.fail(tr("%1 的代码 \"%2\" 应为 0–65535 的整数").arg(named(UnitCodesKey), it.key()));
            else if (!it.value().isString())
                reader.fail(tr("%1 的代码 %2 应对应一个单位").arg(named(UnitCodesKey)).arg(code));
            else
                field.unitCodes.insert(code, it.value().toString());
        }
    }

    if (reader.has(InvalidKey)) {
        const QJsonValue markers = reader.value(InvalidKey);
        if (!markers.isArray())
            reader.fail(tr("%1 应为整数的数组").arg(named(InvalidKey)));
        for (const QJsonValue &marker : markers.toArray()) {
            const std::optional<qint64> raw = markerOf(marker);
            if (!raw) {
                reader.fail(tr("%1 应为整数的数组").arg(named(InvalidKey)));
                break;
            }
            field.invalid.append(*raw);
        }
    }
    return field;
}

QJsonObject fieldToJson(const MapField &field)
{
    QJsonObject object{
        {QLatin1String(AddressKey.key), field.address},
        {QLatin1String(TypeKey.key), textOf(types, field.type)},
    };
    if (field.registerCount() == 2)
        object.insert(QLatin1String(ByteOrderKey.key), textOf(byteOrders, field.byteOrder));
    if (field.scale != 1.0)
        object.insert(QLatin1String(ScaleKey.key), field.scale);
    if (field.offset != 0.0)
        object.insert(QLatin1String(OffsetKey.key), field.offset);
    if (!field.unit.isEmpty())
        object.insert(QLatin1String(UnitKey.key), field.unit);
    if (field.decimalsRegister)
        object.insert(QLatin1String(DecimalsRegisterKey.key), *field.decimalsRegister);
    if (field.unitRegister)
        object.insert(QLatin1String(UnitRegisterKey.key), *field.unitRegister);
    if (!field.unitCodes.isEmpty()) {
        QJsonObject codes;
        for (auto it = field.unitCodes.cbegin(); it != field.unitCodes.cend(); ++it)
            codes.insert(QString::number(it.key()), it.value());
        object.insert(QLatin1String(UnitCodesKey.key), codes);
    }
    if (!field.invalid.isEmpty()) {
        QJsonArray markers;
        for (const qint64 marker : field.invalid)
            markers.append(double(marker));
        object.insert(QLatin1String(InvalidKey.key), markers);
    }
    return object;
}

// What each register of a map is used for, to find one put to two uses.
struct RegisterUse
{
    int address;
    const Key *field;
    const Key *use;
};

QVector<RegisterUse> registerUses(const RegisterMap &map)
{
    QVector<RegisterUse> uses;
    const auto add = [&uses](const MapField &field, const Key &fieldKey) {
        for (int i = 0; i < field.registerCount(); ++i)
            uses.append({field.address + i, &fieldKey, &AddressKey});
        if (field.decimalsRegister)
            uses.append({*field.decimalsRegister, &fieldKey, &DecimalsRegisterKey});
        if (field.unitRegister)
            uses.append({*field.unitRegister, &fieldKey, &UnitRegisterKey});
    };
    add(map.pressure, PressureKey);
    if (map.temperature)
        add(*map.temperature, TemperatureKey);
    return uses;
}

QString useText(const RegisterUse &use)
{
    return tr("%1的%2").arg(named(*use.field), named(*use.use));
}

QString fieldProblem(const MapField &field, bool isTemperature)
{
    if (field.address + field.registerCount() - 1 > MaxRegisterAddress)
        return tr("%1 %2 超出 0–%3").arg(named(AddressKey)).arg(field.address).arg(MaxRegisterAddress - 1);
    if (!std::isfinite(field.scale) || field.scale == 0.0)
        return tr("%1 %2 应为非零的数").arg(named(ScaleKey), numberText(field.scale));
    if (!std::isfinite(field.offset))
        return tr("%1 应为数").arg(named(OffsetKey));
    if (isTemperature) {
        if (field.unitRegister || !field.unitCodes.isEmpty())
            return tr("温度的单位总是 °C，没有 %1").arg(named(UnitRegisterKey));
        if (field.unit != celsiusUnit())
            return tr("%1 \"%2\" 应为 °C").arg(named(UnitKey), field.unit);
    } else if (field.unitRegister) {
        if (!field.unit.isEmpty())
            return tr("%1 与 %2 只能给一个").arg(named(UnitKey), named(UnitRegisterKey));
        if (field.unitCodes.isEmpty())
            return tr("有 %1 时应给出 %2").arg(named(UnitRegisterKey), named(UnitCodesKey));
        for (auto it = field.unitCodes.cbegin(); it != field.unitCodes.cend(); ++it) {
            if (!findPressureUnit(it.value()))
                return tr("%1 的代码 %2：\"%3\" 不是已知的压力单位").arg(named(UnitCodesKey)).arg(it.key()).arg(it.value());
        }
    } else {
        if (!field.unitCodes.isEmpty())
            return tr("%1 只用于 %2").arg(named(UnitCodesKey), named(UnitRegisterKey));
        if (!findPressureUnit(field.unit))
            return tr("%1 \"%2\" 不是已知的压力单位").arg(named(UnitKey), field.unit);
    }
    const bool wide = field.registerCount() == 2;
    const qint64 lowest = wide ? -0x80000000LL : -0x8000LL;
    const qint64 highest = wide ? 0xFFFFFFFFLL : 0xFFFFLL;
    for (const qint64 marker : field.invalid) {
        if (marker < lowest || marker > highest)
            return tr("%1 %2 超出 %3 位寄存器值的范围").arg(named(InvalidKey)).arg(marker).arg(wide ? 32 : 16);
    }
    return QString();
}

} // namespace

int MapField::registerCount() const
{
    return type == ValueType::Int16 || type == ValueType::UInt16 ? 1 : 2;
}

bool operator==(const MapField &a, const MapField &b)
{
    return a.address == b.address && a.type == b.type
           && (a.registerCount() == 1 || a.byteOrder == b.byteOrder) && a.scale == b.scale
           && a.offset == b.offset && a.unit == b.unit && a.decimalsRegister == b.decimalsRegister
           && a.unitRegister == b.unitRegister && a.unitCodes == b.unitCodes && a.invalid == b.invalid;
}

bool operator!=(const MapField &a, const MapField &b)
{
    return !(a == b);
}

bool operator==(const RegisterMap &a, const RegisterMap &b)
{
    return a.name == b.name && a.kind == b.kind && a.pressure == b.pressure && a.temperature == b.temperature
           && a.block == b.block;
}

bool operator!=(const RegisterMap &a, const RegisterMap &b)
{
    return !(a == b);
}

QString standardMapName()
{
    return QStringLiteral("标准");
}

QString celsiusUnit()
{
    return QStringLiteral("°C");
}

namespace {

RegisterMap makeStandardMap()
{
    RegisterMap map;
    map.name = standardMapName();
    map.kind = RegisterKind::Input;
    map.pressure.address = 0;
    map.pressure.type = ValueType::Float32;
    map.pressure.byteOrder = ByteOrder::CDAB;
    map.pressure.unit = QStringLiteral("Pa");
    MapField temperature;
    temperature.address = 6;
    temperature.type = ValueType::Int16;
    temperature.scale = 0.1;
    temperature.unit = celsiusUnit();
    map.temperature = temperature;
    // Registers 2 to 5 have always been read with the rest.
    map.block = true;
    return map;
}

} // namespace

RegisterMap standardMap()
{
    // Every device record starts with it: a copy shares the one made here.
    static const RegisterMap map = makeStandardMap();
    return map;
}

QVector<RegisterRange> registerRanges(const RegisterMap &map)
{
    QVector<int> addresses;
    for (const RegisterUse &use : registerUses(map))
        addresses.append(use.address);
    std::sort(addresses.begin(), addresses.end());
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());

    QVector<RegisterRange> ranges;
    if (map.block) {
        const int first = addresses.constFirst();
        for (int start = first; start <= addresses.constLast(); start += MaxRegistersPerRequest)
            ranges.append({start, std::min(MaxRegistersPerRequest, addresses.constLast() + 1 - start)});
        return ranges;
    }
    for (const int address : qAsConst(addresses)) {
        if (!ranges.isEmpty() && ranges.constLast().end() == address
            && ranges.constLast().count < MaxRegistersPerRequest)
            ++ranges.last().count;
        else
            ranges.append({address, 1});
    }
    return ranges;
}

QString mapProblem(const RegisterMap &map)
{
    if (map.name.trimmed().isEmpty())
        return tr("%1 不能为空").arg(named(NameKey));
    QString problem = fieldProblem(map.pressure, false);
    if (!problem.isEmpty())
        return tr("%1：%2").arg(named(PressureKey), problem);
    if (map.temperature) {
        problem = fieldProblem(*map.temperature, true);
        if (!problem.isEmpty())
            return tr("%1：%2").arg(named(TemperatureKey), problem);
    }

    const QVector<RegisterUse> uses = registerUses(map);
    for (int i = 0; i < uses.size(); ++i) {
        for (int j = 0; j < i; ++j) {
            const bool sharedDecimals = uses[i].use == &DecimalsRegisterKey && uses[j].use == &DecimalsRegisterKey;
            if (uses[i].address == uses[j].address && !sharedDecimals)
                return tr("寄存器 %1 既是%2，又是%3").arg(uses[i].address).arg(useText(uses[j]), useText(uses[i]));
        }
    }

    if (map.block) {
        const QVector<RegisterRange> ranges = registerRanges(map);
        const int span = ranges.constLast().end() - ranges.constFirst().start;
        if (span > MaxRegistersPerRequest)
            return tr("%1：寄存器跨度 %2 个，一次最多读 %3 个")
                .arg(named(BlockKey))
                .arg(span)
                .arg(MaxRegistersPerRequest);
    }
    return QString();
}

Result<RegisterMap> mapFromJson(const QJsonObject &object)
{
    QString error;
    ObjectReader reader(object, QString(), &error);
    reader.refuseOtherKeys({NameKey, KindKey, PressureKey, TemperatureKey, BlockKey});
    RegisterMap map;
    map.name = reader.text(NameKey);
    map.kind = reader.choice(KindKey, kinds);
    const QJsonObject pressure = reader.object(PressureKey);
    if (!reader.failed())
        map.pressure = readField(pressure, false, &error);
    if (!reader.failed() && reader.has(TemperatureKey)) {
        const QJsonObject temperature = reader.object(TemperatureKey);
        if (!reader.failed())
            map.temperature = readField(temperature, true, &error);
    }
    map.block = reader.flag(BlockKey);
    if (!reader.failed() && map.name == standardMapName())
        reader.fail(tr("%1 \"%2\" 是内置映射的名称").arg(named(NameKey), map.name));
    if (!reader.failed()) {
        const QString problem = mapProblem(map);
        if (!problem.isEmpty())
            reader.fail(problem);
    }
    if (!error.isEmpty())
        return Failure{error};
    return map;
}

QJsonObject mapToJson(const RegisterMap &map)
{
    QJsonObject object{
        {QLatin1String(NameKey.key), map.name},
        {QLatin1String(KindKey.key), textOf(kinds, map.kind)},
        {QLatin1String(PressureKey.key), fieldToJson(map.pressure)},
    };
    if (map.temperature)
        object.insert(QLatin1String(TemperatureKey.key), fieldToJson(*map.temperature));
    if (map.block)
        object.insert(QLatin1String(BlockKey.key), true);
    return object;
}
