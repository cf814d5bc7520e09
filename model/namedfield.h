#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

// A field of a settings object in a device-list file: its key, and its label
// as the operator reads it in a refusal. Labels are translated in the
// context given with them.
struct NamedField
{
    const char *key;
    const char *label;
};

// "label (key)".
QString fieldName(const char *context, const NamedField &field);

// A number as short as it reads back the same.
QString shortestNumber(double value);

// One optional number of `object`: absent, or a number. A present value that
// is no number is the error, unless one was already found.
std::optional<double> optionalNumber(const QJsonObject &object, const char *context, const NamedField &field,
                                     QString *error);

// Writes the number when there is one.
void putNumber(QJsonObject *object, const NamedField &field, const std::optional<double> &value);
