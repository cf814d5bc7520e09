#include "namedfield.h"

#include <QCoreApplication>
#include <QJsonValue>
#include <QLocale>

QString fieldName(const char *context, const NamedField &field)
{
    return QStringLiteral("%1 (%2)").arg(QCoreApplication::translate(context, field.label), QLatin1String(field.key));
}

QString shortestNumber(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

std::optional<double> optionalNumber(const QJsonObject &object, const char *context, const NamedField &field,
                                     QString *error)
{
    const QJsonValue value = object.value(QLatin1String(field.key));
    if (value.isUndefined())
        return std::nullopt;
    if (!value.isDouble()) {
        if (error->isEmpty())
            *error = QCoreApplication::translate("NamedField", "%1 应为数").arg(fieldName(context, field));
        return std::nullopt;
    }
    return value.toDouble();
}

void putNumber(QJsonObject *object, const NamedField &field, const std::optional<double> &value)
{
    if (value)
        object->insert(QLatin1String(field.key), *value);
}
