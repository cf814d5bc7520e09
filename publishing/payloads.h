#pragma once

#include "reading.h"

#include <QByteArray>
#include <QStringList>
#include <QString>

// The topics and UTF-8 JSON payloads a station publishes; version 1 of the
// interface the README describes.
namespace Payloads {

constexpr int InterfaceVersion = 1;

// <prefix>/<station>/<leaf>
QByteArray stationTopic(const QString &prefix, const QString &station, const char *leaf);
// <prefix>/<station>/devices/<address>/<leaf>
QByteArray deviceTopic(const QString &prefix, const QString &station, int address, const QByteArray &leaf);

QByteArray statusOnline(const QString &port);
QByteArray statusOffline();
// `session` is the start of the publishing session, which `seq` counts within.
QByteArray reading(const Reading &reading, quint64 seq, const QString &session);
QByteArray config(const QString &unit, int decimals, int recordPeriod, const QString &map);
QByteArray gap(quint64 fromSeq, quint64 toSeq);
// A device's alarm state after a raise or a clear: the alarms still active
// (pressureHigh, temperatureLow, ...), and the value and limit of the event.
QByteArray alarm(const QStringList &active, const QDateTime &time, double value, double limit);

} // namespace Payloads
