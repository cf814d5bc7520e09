#include "calibrationsettings.h"

#include "namedfield.h"

#include <QCoreApplication>
#include <QJsonValue>
#include <QStringList>

#include <cmath>

namespace {

constexpr char Context[] = "CalibrationSettings";

QString tr(const char *text)
{
    return QCoreApplication::translate(Context, text);
}

constexpr NamedField SerialNumber{"serialNumber", "序列号"};
constexpr NamedField Model{"model", "型号"};
constexpr NamedField Tag{"tag", "位号"};
constexpr NamedField RangeLow{"rangeLow", "量程下限"};
constexpr NamedField RangeHigh{"rangeHigh", "量程上限"};
constexpr NamedField Accuracy{"accuracy", "准确度等级"};

QString named(const NamedField &field)
{
    return fieldName(Context, field);
}

QString textProblem(const QString &text, const NamedField &field)
{
    if (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')))
        return tr("%1 不能含逗号或换行").arg(named(field));
    return QString();
}

QString readText(const QJsonObject &object, const NamedField &field, QString *error)
{
    const QJsonValue value = object.value(QLatin1String(field.key));
    if (value.isUndefined())
        return QString();
    if (!value.isString() && error->isEmpty())
        *error = tr("%1 应为文本").arg(named(field));
    return value.toString();
}

void putText(QJsonObject *object, const NamedField &field, const QString &value)
{
    if (!value.isEmpty())
        object->insert(QLatin1String(field.key), value);
}

} // namespace

bool CalibrationSettings::isEmpty() const
{
    return serialNumber.isEmpty() && model.isEmpty() && tag.isEmpty() && !rangeLow && !rangeHigh && !accuracy;
}

bool CalibrationSettings::isComplete() const
{
    return rangeLow && rangeHigh && accuracy;
}

double CalibrationSettings::span() const
{
    return *rangeHigh - *rangeLow;
}

double CalibrationSettings::permittedError() const
{
    return *accuracy * span() / 100.0;
}

bool operator==(const CalibrationSettings &a, const CalibrationSettings &b)
{
    return a.serialNumber == b.serialNumber && a.model == b.model && a.tag == b.tag && a.rangeLow == b.rangeLow
           && a.rangeHigh == b.rangeHigh && a.accuracy == b.accuracy;
}

bool operator!=(const CalibrationSettings &a, const CalibrationSettings &b)
{
    return !(a == b);
}

QString calibrationProblem(const CalibrationSettings &settings)
{
    for (const auto &[text, field] : {std::pair{settings.serialNumber, SerialNumber}, std::pair{settings.model, Model},
                                      std::pair{settings.tag, Tag}}) {
        const QString problem = textProblem(text, field);
        if (!problem.isEmpty())
            return problem;
    }
    for (const auto &[value, field] : {std::pair{settings.rangeLow, RangeLow}, std::pair{settings.rangeHigh, RangeHigh},
                                       std::pair{settings.accuracy, Accuracy}}) {
        if (value && !std::isfinite(*value))
            return tr("%1 应为数").arg(named(field));
    }
    if (settings.rangeLow.has_value() != settings.rangeHigh.has_value())
        return tr("%1 与 %2 应同时给出").arg(named(RangeLow), named(RangeHigh));
    if (settings.rangeLow && !(*settings.rangeLow < *settings.rangeHigh))
        return tr("%1 %2 应低于%3 %4")
            .arg(named(RangeLow), shortestNumber(*settings.rangeLow), named(RangeHigh), shortestNumber(*settings.rangeHigh));
    if (settings.accuracy && !settings.rangeLow)
        return tr("给出 %1 时应给出量程").arg(named(Accuracy));
    if (settings.accuracy && !(*settings.accuracy > 0 && *settings.accuracy <= 100))
        return tr("%1 %2 应大于 0 且不超过 100").arg(named(Accuracy), shortestNumber(*settings.accuracy));
    return QString();
}

Result<CalibrationSettings> calibrationFromJson(const QJsonObject &object)
{
    QString error;
    for (auto key = object.constBegin(); key != object.constEnd() && error.isEmpty(); ++key) {
        const QStringList known{QLatin1String(SerialNumber.key), QLatin1String(Model.key), QLatin1String(Tag.key),
                                QLatin1String(RangeLow.key),     QLatin1String(RangeHigh.key), QLatin1String(Accuracy.key)};
        // A misspelt key would otherwise leave a device unjudged without a word.
        if (!known.contains(key.key()))
            error = tr("未知的字段 \"%1\"").arg(key.key());
    }
    CalibrationSettings settings;
    settings.serialNumber = readText(object, SerialNumber, &error);
    settings.model = readText(object, Model, &error);
    settings.tag = readText(object, Tag, &error);
    settings.rangeLow = optionalNumber(object, Context, RangeLow, &error);
    settings.rangeHigh = optionalNumber(object, Context, RangeHigh, &error);
    settings.accuracy = optionalNumber(object, Context, Accuracy, &error);
    if (error.isEmpty())
        error = calibrationProblem(settings);
    if (!error.isEmpty())
        return Failure{error};
    return settings;
}

QJsonObject calibrationToJson(const CalibrationSettings &settings)
{
    QJsonObject object;
    putText(&object, SerialNumber, settings.serialNumber);
    putText(&object, Model, settings.model);
    putText(&object, Tag, settings.tag);
    putNumber(&object, RangeLow, settings.rangeLow);
    putNumber(&object, RangeHigh, settings.rangeHigh);
    putNumber(&object, Accuracy, settings.accuracy);
    return object;
}
