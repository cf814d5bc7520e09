#include "devicelistfile.h"

#include "units.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <cmath>

bool operator==(const LineChoices &a, const LineChoices &b)
{
    return a.port == b.port && a.baudRate == b.baudRate && a.parity == b.parity
           && a.dataBits == b.dataBits && a.stopBits == b.stopBits;
}

bool operator!=(const LineChoices &a, const LineChoices &b)
{
    return !(a == b);
}

namespace DeviceListFile {

const char formatName[] = "velmora-device-list";

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("DeviceListFile", text);
}

QString rangeText(const IntRange &range)
{
    return QStringLiteral("%1–%2").arg(range.minimum).arg(range.maximum);
}

// Reads the fields of one JSON object. The first problem found anywhere in
// the file is the one reported, prefixed with the place it was found.
class FieldReader
{
public:
    FieldReader(const QJsonObject &object, QString place, QString *error)
        : m_object(object)
        , m_place(std::move(place))
        , m_error(error)
    {
    }

    QString text(const char *key, const QString &label)
    {
        return typed(key, label, &QJsonValue::isString, tr("文本")).toString();
    }

    // A line setting is a text of the window's boxes; a hand-written number
    // such as 9600 or 1.5 stands for the same text.
    QString setting(const char *key, const QString &label)
    {
        const QJsonValue value = m_object.value(QLatin1String(key));
        if (!value.isDouble())
            return text(key, label);
        const double number = value.toDouble();
        return isWhole(number) ? QString::number(qint64(number)) : QString::number(number);
    }

    int integer(const char *key, const QString &label)
    {
        const QJsonValue value = field(key, label);
        if (!value.isUndefined() && !(value.isDouble() && isWhole(value.toDouble()))) {
            fail(tr("%1 (%2) 应为整数").arg(label, QLatin1String(key)));
            return 0;
        }
        return int(value.toDouble());
    }

    // A text that may be left out: `absent` then.
    QString optionalText(const char *key, const QString &label, const QString &absent)
    {
        const QJsonValue value = m_object.value(QLatin1String(key));
        if (value.isUndefined())
            return absent;
        if (!value.isString())
            fail(tr("%1 (%2) 应为%3").arg(label, QLatin1String(key), tr("文本")));
        return value.toString();
    }

    QJsonObject object(const char *key, const QString &label)
    {
        return typed(key, label, &QJsonValue::isObject, tr("对象")).toObject();
    }

    // A true or false that may be left out: false then.
    bool optionalBoolean(const char *key, const QString &label)
    {
        const QJsonValue value = m_object.value(QLatin1String(key));
        if (!value.isUndefined() && !value.isBool())
            fail(tr("%1 (%2) 应为 true 或 false").arg(label, QLatin1String(key)));
        return value.toBool();
    }

    // An object that may be left out: undefined then.
    QJsonValue optionalObject(const char *key, const QString &label)
    {
        const QJsonValue value = m_object.value(QLatin1String(key));
        if (!value.isUndefined() && !value.isObject())
            fail(tr("%1 (%2) 应为%3").arg(label, QLatin1String(key), tr("对象")));
        return value;
    }

    QJsonArray array(const char *key, const QString &label)
    {
        return typed(key, label, &QJsonValue::isArray, tr("数组")).toArray();
    }

    void requireOffered(const QString &value, const QStringList &offered, const QString &label)
    {
        if (!offered.contains(value))
            fail(tr("%1 \"%2\" 不在可选值 %3 中").arg(label, value, offered.join(QLatin1Char('/'))));
    }

    void requireInRange(int value, const IntRange &range, const QString &label)
    {
        if (!range.contains(value))
            fail(tr("%1 %2 超出 %3").arg(label).arg(value).arg(rangeText(range)));
    }

    void fail(const QString &problem)
    {
        if (m_error->isEmpty())
            *m_error = m_place.isEmpty() ? problem : tr("%1：%2").arg(m_place, problem);
    }

    bool failed() const { return !m_error->isEmpty(); }

private:
    static bool isWhole(double value)
    {
        return std::isfinite(value) && value == std::floor(value) && std::fabs(value) <= 1e9;
    }

    // The field's value; a missing field or one that `is` rejects is reported.
    QJsonValue typed(const char *key, const QString &label, bool (QJsonValue::*is)() const, const QString &kind)
    {
        QJsonValue value = field(key, label);
        if (!value.isUndefined() && !(value.*is)())
            fail(tr("%1 (%2) 应为%3").arg(label, QLatin1String(key), kind));
        return value;
    }

    QJsonValue field(const char *key, const QString &label)
    {
        QJsonValue value = m_object.value(QLatin1String(key));
        if (value.isUndefined())
            fail(tr("缺少 %1 (%2)").arg(label, QLatin1String(key)));
        return value;
    }

    const QJsonObject m_object;
    const QString m_place;
    QString *m_error;
};

// Line and column of a byte offset, as an editor counts them.
QString positionText(const QByteArray &json, int offset)
{
    const QByteArray before = json.left(offset);
    const int line = before.count('\n') + 1;
    const int column = QString::fromUtf8(before.mid(before.lastIndexOf('\n') + 1)).size() + 1;
    return tr("第 %1 行第 %2 列").arg(line).arg(column);
}

LineChoices readLine(FieldReader &reader, const OfferedValues &offered)
{
    LineChoices line;
    line.port = reader.text("port", tr("串口号"));
    line.baudRate = reader.setting("baudRate", tr("波特率"));
    line.parity = reader.setting("parity", tr("校验位"));
    line.dataBits = reader.setting("dataBits", tr("数据位"));
    line.stopBits = reader.setting("stopBits", tr("停止位"));
    if (reader.failed())
        return line;
    reader.requireOffered(line.baudRate, offered.baudRates, tr("波特率"));
    reader.requireOffered(line.parity, offered.parities, tr("校验位"));
    reader.requireOffered(line.dataBits, offered.dataBits, tr("数据位"));
    reader.requireOffered(line.stopBits, offered.stopBits, tr("停止位"));
    return line;
}

// `mapNames`: the maps the file holds, which its devices may name besides 标准.
DeviceEntry readDevice(FieldReader &reader, const OfferedValues &offered, const QStringList &mapNames)
{
    DeviceEntry device;
    device.address = reader.integer("address", tr("地址"));
    device.unit = reader.text("unit", tr("单位"));
    device.decimals = reader.integer("decimals", tr("小数点位数"));
    device.recordPeriod = reader.integer("recordPeriod", tr("记录间隔"));
    if (reader.failed())
        return device;
    reader.requireInRange(device.address, addresses, tr("地址"));
    reader.requireOffered(device.unit, offeredPressureUnits(), tr("单位"));
    reader.requireInRange(device.decimals, offered.decimals, tr("小数点位数"));
    reader.requireInRange(device.recordPeriod, offered.recordPeriod, tr("记录间隔"));
    const QJsonValue limits = reader.optionalObject("limits", tr("限值"));
    if (!reader.failed() && limits.isObject()) {
        const Result<Limits> read = limitsFromJson(limits.toObject());
        if (!read.ok())
            reader.fail(tr("限值 (limits)：%1").arg(read.error()));
        device.limits = read.valueOr(Limits());
    }
    device.map = reader.optionalText("map", tr("映射"), standardMapName());
    if (!reader.failed() && device.map != standardMapName() && !mapNames.contains(device.map))
        reader.fail(tr("映射 (map) \"%1\" 不在文件的映射 (maps) 中").arg(device.map));
    const QJsonValue calibration = reader.optionalObject("calibration", tr("校准"));
    if (!reader.failed() && calibration.isObject()) {
        const Result<CalibrationSettings> read = calibrationFromJson(calibration.toObject());
        if (!read.ok())
            reader.fail(tr("校准 (calibration)：%1").arg(read.error()));
        device.calibration = read.valueOr(CalibrationSettings());
    }
    device.reference = reader.optionalBoolean("reference", tr("参考表"));
    return device;
}

void readHeader(FieldReader &reader)
{
    const QString format = reader.text("format", tr("格式"));
    if (reader.failed())
        return;
    if (format != QLatin1String(formatName)) {
        reader.fail(tr("格式为 \"%1\"，不是设备列表 \"%2\"").arg(format, QLatin1String(formatName)));
        return;
    }
    const int fileVersion = reader.integer("version", tr("版本"));
    if (reader.failed())
        return;
    if (fileVersion > version)
        reader.fail(tr("版本 %1 比本程序能读的版本 %2 新").arg(fileVersion).arg(version));
    else if (fileVersion < 1)
        reader.fail(tr("版本 %1 无效").arg(fileVersion));
}

// The file's maps, each refused with its place named, or a name given twice.
QVector<RegisterMap> readMaps(const QJsonArray &maps, QString *error)
{
    QVector<RegisterMap> read;
    QStringList names;
    for (int i = 0; i < maps.size() && error->isEmpty(); ++i) {
        FieldReader reader(maps.at(i).toObject(), tr("第 %1 个映射").arg(i + 1), error);
        if (!maps.at(i).isObject()) {
            reader.fail(tr("应为对象"));
            break;
        }
        const Result<RegisterMap> map = mapFromJson(maps.at(i).toObject());
        if (!map.ok()) {
            reader.fail(map.error());
            break;
        }
        const int earlier = names.indexOf(map.value().name);
        if (earlier >= 0)
            reader.fail(tr("名称 (name) \"%1\" 与第 %2 个映射重复").arg(map.value().name).arg(earlier + 1));
        names << map.value().name;
        read << map.value();
    }
    return read;
}

} // namespace

QByteArray toJson(const DeviceList &list)
{
    const QJsonObject line{
        {QStringLiteral("port"), list.line.port},
        {QStringLiteral("baudRate"), list.line.baudRate},
        {QStringLiteral("parity"), list.line.parity},
        {QStringLiteral("dataBits"), list.line.dataBits},
        {QStringLiteral("stopBits"), list.line.stopBits},
    };
    QJsonArray devices;
    bool anyLimits = false;
    bool anyMap = false;
    bool anyCalibration = false;
    for (const DeviceEntry &device : list.devices) {
        QJsonObject entry{
            {QStringLiteral("address"), device.address},
            {QStringLiteral("unit"), device.unit},
            {QStringLiteral("decimals"), device.decimals},
            {QStringLiteral("recordPeriod"), device.recordPeriod},
        };
        if (!device.limits.isEmpty()) {
            entry.insert(QStringLiteral("limits"), limitsToJson(device.limits));
            anyLimits = true;
        }
        if (device.map != standardMapName()) {
            entry.insert(QStringLiteral("map"), device.map);
            anyMap = true;
        }
        if (!device.calibration.isEmpty()) {
            entry.insert(QStringLiteral("calibration"), calibrationToJson(device.calibration));
            anyCalibration = true;
        }
        if (device.reference) {
            entry.insert(QStringLiteral("reference"), true);
            anyCalibration = true;
        }
        devices.append(entry);
    }
    const int fileVersion = anyCalibration ? version
        : anyMap                          ? mapsVersion
        : list.publish || anyLimits       ? limitsVersion
                                          : firstVersion;
    QJsonObject root{
        {QStringLiteral("format"), QLatin1String(formatName)},
        {QStringLiteral("version"), fileVersion},
        {QStringLiteral("line"), line},
        {QStringLiteral("devices"), devices},
    };
    if (list.publish)
        root.insert(QStringLiteral("publish"), PublishObject::toJson(*list.publish, true));
    if (anyMap) {
        QJsonArray maps;
        for (const RegisterMap &map : list.maps)
            maps.append(mapToJson(map));
        root.insert(QStringLiteral("maps"), maps);
    }
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

Result<DeviceList> parse(const QByteArray &json, const OfferedValues &offered)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return Failure{tr("不是 JSON 文件：%1，%2").arg(positionText(json, parseError.offset), parseError.errorString())};
    if (!document.isObject())
        return Failure{tr("不是设备列表：文件应为一个 JSON 对象")};

    QString error;
    DeviceList content;
    FieldReader root(document.object(), QString(), &error);
    readHeader(root);
    if (root.failed())
        return Failure{error};
    const QJsonObject line = root.object("line", tr("串口设置"));
    const QJsonArray devices = root.array("devices", tr("设备"));
    if (root.failed())
        return Failure{error};

    FieldReader lineReader(line, tr("串口设置"), &error);
    content.line = readLine(lineReader, offered);

    // Before the devices, which may name them.
    if (error.isEmpty() && document.object().contains(QLatin1String("maps"))) {
        const QJsonArray maps = root.array("maps", tr("映射"));
        if (!root.failed())
            content.maps = readMaps(maps, &error);
    }
    QStringList mapNames;
    for (const RegisterMap &map : qAsConst(content.maps))
        mapNames << map.name;

    for (int i = 0; i < devices.size() && error.isEmpty(); ++i) {
        const QString place = tr("第 %1 个设备").arg(i + 1);
        FieldReader reader(devices.at(i).toObject(), place, &error);
        if (!devices.at(i).isObject()) {
            reader.fail(tr("应为对象"));
            break;
        }
        const DeviceEntry device = readDevice(reader, offered, mapNames);
        for (int earlier = 0; earlier < content.devices.size() && !reader.failed(); ++earlier) {
            if (content.devices.at(earlier).address == device.address)
                reader.fail(tr("地址 %1 与第 %2 个设备重复").arg(device.address).arg(earlier + 1));
            // A bench is compared with one reference only.
            if (device.reference && content.devices.at(earlier).reference)
                reader.fail(tr("参考表 (reference) 已是第 %1 个设备，只能有一个").arg(earlier + 1));
        }
        content.devices.append(device);
    }

    if (error.isEmpty() && document.object().contains(QLatin1String("publish"))) {
        const QJsonObject publish = root.object("publish", tr("发布设置"));
        const Result<PublishSettings> settings = PublishObject::fromJson(publish);
        if (!root.failed() && !settings.ok())
            root.fail(tr("发布设置：%1").arg(settings.error()));
        content.publish = settings.valueOr(PublishSettings());
    }

    if (!error.isEmpty())
        return Failure{error};
    return content;
}

} // namespace DeviceListFile
