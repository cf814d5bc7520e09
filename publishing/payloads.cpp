#include "publishing/payloads.h"

#include <QLocale>

#include <charconv>
#include <cmath>

namespace Payloads {

namespace {

void appendString(QByteArray &out, const QString &text)
{
    out += '"';
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u == '"' || u == '\\') {
            out += '\\';
            out += char(u);
        } else if (u < 0x20) {
            out += "\\u00";
            out += QByteArray::number(u, 16).rightJustified(2, '0');
        } else {
            out += QString(c).toUtf8();
        }
    }
    out += '"';
}

// The shortest text that reads back as the same float: the registers carry
// single precision, and its noise digits would only mislead.
void appendFloat(QByteArray &out, double value)
{
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char text[32];
    const std::to_chars_result end = std::to_chars(text, text + sizeof text, float(value));
    out.append(text, int(end.ptr - text));
}

const char *statusName(int status)
{
    switch (status) {
    case 1:
        return "good";
    case 2:
        return "poor";
    default:
        return "offline";
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
    QByteArray out = "{\"online\": true, \"version\": " + QByteArray::number(InterfaceVersion) + ", \"port\": ";
    appendString(out, port);
    return out + '}';
}

QByteArray statusOffline()
{
    return QByteArrayLiteral("{\"online\": false}");
}

QString timeText(const QDateTime &time)
{
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QByteArray reading(const Reading &reading, quint64 seq, const QString &session)
{
    QByteArray out;
    out.reserve(300);
    out += "{\"seq\": " + QByteArray::number(seq) + ", \"session\": ";
    appendString(out, session);
    out += ", \"time\": ";
    appendString(out, timeText(reading.time));
    out += ", \"answered\": ";
    out += reading.answered ? "true" : "false";
    out += ", \"pressure\": ";
    // In the device's unit with its decimals, as its tile shows it.
    if (reading.answered && std::isfinite(reading.pressure))
        out += QByteArray::number(reading.pressure, 'f', reading.decimals);
    else
        out += "null";
    out += ", \"unit\": ";
    appendString(out, reading.unit);
    out += ", \"pressurePa\": ";
    appendFloat(out, reading.answered ? reading.pressurePa : NAN);
    out += ", \"temperature\": ";
    appendFloat(out, reading.answered ? reading.temperature : NAN);
    out += ", \"status\": \"";
    out += statusName(reading.status);
    out += "\", \"fail\": " + QByteArray::number(reading.failCount) + ", \"total\": "
           + QByteArray::number(reading.totalCount) + '}';
    return out;
}

QByteArray config(const QString &unit, int decimals, int recordPeriod)
{
    QByteArray out = "{\"unit\": ";
    appendString(out, unit);
    return out + ", \"decimals\": " + QByteArray::number(decimals) + ", \"recordPeriod\": "
           + QByteArray::number(recordPeriod) + '}';
}

QByteArray gap(quint64 fromSeq, quint64 toSeq)
{
    return "{\"fromSeq\": " + QByteArray::number(fromSeq) + ", \"toSeq\": " + QByteArray::number(toSeq) + '}';
}

QByteArray alarm(const QStringList &active, const QDateTime &time, double value, double limit)
{
    QByteArray out = "{\"active\": [";
    for (int i = 0; i < active.size(); ++i) {
        if (i > 0)
            out += ", ";
        appendString(out, active.at(i));
    }
    out += "], \"time\": ";
    appendString(out, timeText(time));
    out += ", \"value\": ";
    appendFloat(out, value);
    // The limit as the operator typed it, not rounded to single precision.
    out += ", \"limit\": " + QString::number(limit, 'g', QLocale::FloatingPointShortest).toUtf8() + '}';
    return out;
}

} // namespace Payloads
