#pragma once

#include "calibrationsettings.h"
#include "devicelimits.h"
#include "publishsettings.h"
#include "registermap.h"
#include "slaveaddress.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// A bench set-up as a file: the serial line's settings and the devices in list
// order. Only the settings an operator types are kept, never counters,
// readings or record files.

// The line settings as the window's boxes show them, port as typed.
struct LineChoices
{
    QString port;
    QString baudRate;
    QString parity;
    QString dataBits;
    QString stopBits;
};

bool operator==(const LineChoices &a, const LineChoices &b);
bool operator!=(const LineChoices &a, const LineChoices &b);

struct DeviceEntry
{
    int address = 0;
    QString unit;
    int decimals = 0;
    int recordPeriod = 0;
    Limits limits = {};
    // The name of the register map the device is read with.
    QString map = standardMapName();
    // Who the device is and its rated range and class; empty when none given.
    CalibrationSettings calibration = {};
    // The bench's reference (参考表); one device of a list at most.
    bool reference = false;
};

struct DeviceList
{
    LineChoices line;
    QVector<DeviceEntry> devices;
    // Where the bench publishes its readings, when it does.
    std::optional<PublishSettings> publish;
    // The operator's register maps (never 标准) the devices may name, each
    // name once.
    QVector<RegisterMap> maps;
};

struct IntRange
{
    int minimum = 0;
    int maximum = 0;

    bool contains(int value) const { return value >= minimum && value <= maximum; }
};

// What the window lets the operator choose: a file may hold nothing else,
// and no pressure unit the window does not offer.
struct OfferedValues
{
    QStringList baudRates;
    QStringList parities;
    QStringList dataBits;
    QStringList stopBits;
    IntRange decimals;
    IntRange recordPeriod;
};

namespace DeviceListFile {

extern const char formatName[];
// A list is saved with the oldest version that holds it, so that older
// copies of the program keep opening it: 1, then 2 with publishing or
// limits, then 3 when a device is read with a map other than 标准, then 4
// when a device has calibration settings or is the reference.
constexpr int version = 4;
constexpr int firstVersion = 1;
constexpr int limitsVersion = 2;
constexpr int mapsVersion = 3;
// Slave addresses a Modbus RTU master may poll.
constexpr IntRange addresses{FirstSlaveAddress, LastSlaveAddress};

// The maps go into the file only when a device names one other than 标准;
// a device on 标准 is written without a map name.
QByteArray toJson(const DeviceList &list);

// Checks the whole file against what the window offers before anything can
// be taken from it; a refusal names the first problem found and where it is.
Result<DeviceList> parse(const QByteArray &json, const OfferedValues &offered);

} // namespace DeviceListFile
