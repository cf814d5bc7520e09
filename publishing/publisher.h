#pragma once

#include "itemdata.h"
#include "reading.h"
#include "publishsettings.h"

#include <QDeadlineTimer>
#include <QList>
#include <QModelIndex>
#include <QObject>
#include <QPointer>
#include <QVector>

#include <functional>
#include <map>
#include <optional>

class BrokerLink;
class ModbusLine;
class QStandardItemModel;
class QThread;

// The window's side of MQTT publishing: starts and stops sessions, each with
// its BrokerLink on a thread of its own, hands it every stored poll outcome
// and keeps it told of the listed devices and the line that is open.
// Retained messages owed to the broker (clears of removed devices, the
// offline status of an earlier station name) are kept here until the broker
// has them, across outages and sessions to the same broker.
class Publisher : public QObject
{
    Q_OBJECT

public:
    Publisher(QStandardItemModel *devices, const ModbusLine *line, QObject *parent = nullptr);
    // Ends the sessions as endSessions() does, within 3 s.
    ~Publisher() override;

    bool isPublishing() const { return m_link != nullptr; }
    // The settings of the running or last session, or those last chosen.
    PublishSettings settings() const { return m_settings; }
    bool isConfigured() const { return m_configured; }
    bool savesPassword() const { return m_savePassword; }
    void setSavesPassword(bool save) { m_savePassword = save; }

    // Starts a session with settings that passed settingsProblem().
    void start(const PublishSettings &settings);
    void stop();
    // Stops publishing and waits until `deadline` at most for the ending
    // sessions' goodbyes; a session still held then (in a name lookup that
    // does not return) is let go of and ends on its own.
    void endSessions(QDeadlineTimer deadline);
    // Settings from a device-list file: taken only while publishing is off,
    // and with a CA file that passes the dialog's check.
    void takeFromFile(const PublishSettings &settings);

    void take(const Reading &reading);
    // The latest retained payload of <prefix>/<station>/devices/<address>/<leaf>,
    // for instance an alarm state: republished on every reconnect, cleared
    // when the device leaves the list.
    void setDeviceRetained(int address, const QByteArray &leaf, const QByteArray &payload);
    // The same, with the payload made only when a broker is to have it: while
    // nothing is published, a bench-wide alarm storm builds no messages.
    void setDeviceRetained(int address, const QByteArray &leaf, std::function<QByteArray()> makePayload);

    // For the benchmark and the tests: the session's link, on its thread.
    BrokerLink *link() const { return m_link; }

signals:
    void publishingChanged(bool publishing);

    // What the operator is to be told, for a notice updated in place: the
    // broker's state (`show` also brings a closed notice back), readings lost
    // to the queue's bound, and events of this session.
    void connectionTold(const QString &text, bool show);
    void droppedTold(const QString &text);
    void told(const QString &event);
    // A new session: what was told of the last one is old news.
    void noticeCleared();

    // To the session's link, across threads.
    void readingForLink(const Reading &reading);
    void portForLink(const QString &port);
    void retainedForLink(int address, const QByteArray &leaf, const QByteArray &payload);
    void deviceRemovedForLink(int address);
    void owedForLink(const QByteArray &topic, const QByteArray &payload);
    void shutdownLink();

private:
    void syncDevices();
    // A device's settings or map changed in the list: its config goes again.
    void recordsChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QVector<int> &roles);
    // Sends the config of `record` when it differs from the one sent.
    void syncConfig(const ItemData &record);
    void lineChanged();
    void owe(const QByteArray &topic, const QByteArray &payload);
    // The offline status and the clears of the device topics a session under
    // `old` left retained.
    void oweRetirement(const PublishSettings &old);
    void linkStateChanged(int state, const QString &reason, int retrySeconds);

    QStandardItemModel *const m_devices;
    const ModbusLine *const m_line;

    PublishSettings m_settings;
    bool m_configured = false;
    bool m_savePassword = false;
    QString m_lastReason;
    QString m_port;
    BrokerLink *m_link = nullptr;
    QThread *m_thread = nullptr;
    // Sessions saying goodbye to the broker; waited for on exit.
    QList<QPointer<QThread>> m_ending;
    std::map<int, std::map<QByteArray, QByteArray>> m_retained;
    // What each device's config message last said.
    struct ConfigFields
    {
        QString unit;
        int decimals = 0;
        int recordPeriod = 0;
        QString map;

        bool operator==(const ConfigFields &other) const
        {
            return unit == other.unit && decimals == other.decimals && recordPeriod == other.recordPeriod
                && map == other.map;
        }
    };
    std::map<int, ConfigFields> m_configFields;
    // Retained payloads set while not publishing, made when a session starts;
    // their leaves stand in m_retained meanwhile.
    std::map<std::pair<int, QByteArray>, std::function<QByteArray()>> m_unmade;
    // The settings of the last session started: owed messages are for its
    // broker.
    std::optional<PublishSettings> m_lastSession;
    std::map<QByteArray, QByteArray> m_owed;
};
