#pragma once

#include "registermap.h"

#include <QMetaType>
#include <QString>
#include <Qt>

// Everything the program knows about one device: its settings, its poll
// statistics, its last readings and its record file. Copied whole, changed
// and written back whole.
struct ItemData
{
    quint8 address = 0;
    QString unit;
    quint16 decimals = 0;
    quint16 recordPeriod = 0;
    quint32 failCount = 0;
    quint32 totalCount = 0;
    QString pressureText;
    QString temperatureText;
    // The last answer carried no such reading (see isValidPressure): its
    // text is empty, and the tile says so.
    bool pressureInvalid = false;
    bool temperatureInvalid = false;
    quint32 recordIndex = 0;
    QString filePath;
    // Which registers hold the readings and how they are decoded.
    RegisterMap map = standardMap();
};

Q_DECLARE_METATYPE(ItemData)

enum DeviceRole {
    StatusRole = Qt::UserRole,
    ItemDataRole = Qt::UserRole + 1,
    // The device's Limits; none stored means no limits.
    LimitsRole = Qt::UserRole + 2,
    // The device's raised alarms as a set of AlarmKind bits, an int.
    AlarmRole = Qt::UserRole + 3,
    // The device's CalibrationSettings; none stored means none given.
    CalibrationRole = Qt::UserRole + 4,
    // True on the one device that is the bench's reference (参考表), a bool.
    ReferenceRole = Qt::UserRole + 5,
};

// Stored under StatusRole as a plain int: the filter matches its decimal text.
enum DeviceStatus {
    Offline = 0,
    Good = 1,
    Poor = 2,
};
