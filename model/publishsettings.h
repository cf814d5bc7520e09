#pragma once

#include "result.h"

#include <QJsonObject>
#include <QString>

// Where and as whom a station publishes. Nothing of it is kept between runs
// except in a device-list file the operator saves.
struct PublishSettings
{
    // mqtt://host[:port] or mqtts://host[:port], as typed.
    QString broker;
    QString station;
    QString topicPrefix;
    QString username;
    QString password;
    // For mqtts: the certificate authority to trust; empty for the system's.
    QString caFile;
};

bool operator==(const PublishSettings &a, const PublishSettings &b);

struct BrokerAddress
{
    QString host;
    int port = 0;
    bool tls = false;
};

constexpr int DefaultMqttPort = 1883;
constexpr int DefaultMqttsPort = 8883;

Result<BrokerAddress> parseBrokerUrl(const QString &url);

// The broker's URL, the station name and the topic prefix; the CA file is
// checked apart, as a file names one that may be missing on this machine.
QString settingsProblem(const PublishSettings &settings);
QString caFileProblem(const QString &path);

// The machine's host name, or "velmora" when it has none.
QString defaultStationName();
QString defaultTopicPrefix();

// The device-list file's "publish" object: username, password and caFile
// may be absent (empty); all six are written.
namespace PublishObject {

Result<PublishSettings> fromJson(const QJsonObject &object);
// The password is written only when `withPassword`; otherwise it is empty.
QJsonObject toJson(const PublishSettings &settings, bool withPassword);

} // namespace PublishObject
