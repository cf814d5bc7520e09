#include "payloads.h"

#include "timeformat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <charconv>
#include <cmath>

namespace Payloads {

namespace {

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// The double nearest to the shortest text that reads back as the same float:
// the registers carry single precision, and its noise digits would only
// mislead. JSON writes that double as the same shortest text.
QJsonValue floatValue(double value)
{
    const float single = float(value);
    if (!std::isfinite(single))
        return QJsonValue::Null;
    char text[32];
    const std::to_chars_result end = std::to_chars(text, text + sizeof text, single);
    return QByteArray(text, int(end.ptr - text)).toDouble();
}

// The value with the device's decimals, as its tile shows it.
QJsonValue decimalValue(double value, int decimals)
{
    if (!std::isfinite(value))
        return QJsonValue::Null;
    return QByteArray::number(value, 'f', decimals).toDouble();
}

// The limit as the operator typed it, not rounded to single precision.
QJsonValue exactValue(double value)
{
    return std::isfinite(value) ? QJsonValue(value) : QJsonValue(QJsonValue::Null);
}

QString statusName(int status)
{
    switch (status) {
    case 1:
        return QStringLiteral("good");
    case 2:
        return QStringLiteral("poor");
    default:
        return QStringLiteral("offline");
    }
}

} // namespace

QByteArray stationTopic(const QString &prefix, const QString &station, const char *leaf)
{
    return (prefix + QLatin1Char('/') + station + QLatin1Char('/')).toUtf8() + leaf;
}

QByteArray deviceTopic(const QString &prefix, const QString &station, int address, const QByteArray &leaf)
{
    return (prefix + QLatin1Char('/') + station + QStringLiteral("/devices/")).toUtf8() + QByteArray::number(address)
           + '/' + leaf;
}

QByteArray statusOnline(const QString &port)
{
    return compact({{QStringLiteral("online"), true},
                    {QStringLiteral("version"), InterfaceVersion},
                    {QStringLiteral("port"), port.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(port)}});
}

QByteArray statusOffline()
{
    return compact({{QStringLiteral("online"), false}});
}

QByteArray reading(const Reading &reading, quint64 seq, const QString &session)
{
    const bool answered = reading.answered;
    return compact({
        {QStringLiteral("seq"), qint64(seq)},
        {QStringLiteral("session"), session},
        {QStringLiteral("time"), isoTimeText(reading.time)},
        {QStringLiteral("answered"), answered},
        {QStringLiteral("pressure"),
         answered ? decimalValue(reading.pressure, reading.decimals) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("unit"), reading.unit},
        {QStringLiteral("pressurePa"), answered ? floatValue(reading.pressurePa) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("temperature"), answered ? floatValue(reading.temperature) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("status"), statusName(reading.status)},
        {QStringLiteral("fail"), qint64(reading.failCount)},
        {QStringLiteral("total"), qint64(reading.totalCount)},
    });
}

QByteArray config(const QString &unit, int decimals, int recordPeriod, const QString &map)
{
    return compact({{QStringLiteral("unit"), unit},
                    {QStringLiteral("decimals"), decimals},
                    {QStringLiteral("recordPeriod"), recordPeriod},
                    {QStringLiteral("map"), map}});
}

QByteArray gap(quint64 fromSeq, quint64 toSeq)
{
    return compact({{QStringLiteral("fromSeq"), qint64(fromSeq)}, {QStringLiteral("toSeq"), qint64(toSeq)}});
}

QByteArray alarm(const QStringList &active, const QDateTime &time, double value, double limit)
{
    return compact({{QStringLiteral("active"), QJsonArray::fromStringList(active)},
                    {QStringLiteral("time"), isoTimeText(time)},
                    {QStringLiteral("value"), floatValue(value)},
                    {QStringLiteral("limit"), exactValue(limit)}});
}

} // namespace Payloads
