#pragma once

#include "reading.h"
#include "publishsettings.h"
#include "readingqueue.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTimer>

#include <deque>
#include <map>
#include <set>

struct mosquitto;
struct mosquitto_message;
class QSocketNotifier;

// One publishing session's connection to the broker, living on a thread of
// its own: the library's connect waits for the name lookup, and its own
// retries give up after lookup, TLS or authentication errors, so this object
// connects, reconnects with its own back-off and drives the library's socket
// from the thread's event loop. Readings wait in its bounded queue; only a
// few unacknowledged ones are handed to the library at a time, as the
// library's own queue has no bound.
// The station owns its subtree <prefix>/<station>/: after every connect it
// learns which device topics it left retained there and clears those of
// devices no longer listed.
class BrokerLink : public QObject
{
    Q_OBJECT

public:
    enum State { Connecting, Connected, Retrying };
    static constexpr int MaxInFlight = 20;
    static constexpr int FirstRetrySeconds = 1;
    static constexpr int LastRetrySeconds = 30;
    // How long the station waits for the echo of its marker after
    // subscribing to its own retained topics.
    static constexpr int SyncWaitMs = 2000;

    BrokerLink(const PublishSettings &settings, const QString &session, const QString &port,
               int queueBound = ReadingQueue::DefaultBound);
    ~BrokerLink() override;

    // Everything below runs on the link's thread, reached by queued signals.
    void start();
    void take(const Reading &reading);
    void setPort(const QString &port);
    // The latest retained payload of a device's topic <leaf>: published now
    // and again on every reconnect.
    void setDeviceRetained(int address, const QByteArray &leaf, const QByteArray &payload);
    // Forgets the device: its topics are no longer republished.
    void removeDevice(int address);
    // A retained message owed to the broker from before (a clear, or the
    // offline status of an earlier station name): published at every connect
    // until the broker acknowledges it; an empty payload clears the topic.
    void owe(const QByteArray &topic, const QByteArray &payload);
    // Publishes the station offline, waits at most a second for the broker
    // to acknowledge it, disconnects cleanly (which discards the will) and
    // then emits stopped().
    void shutdown();

signals:
    void stateChanged(int state, const QString &reason, int retrySeconds);
    void readingsDropped(quint64 count, const QString &addresses);
    // Readings the broker acknowledged so far.
    void delivered(quint64 count);
    void owedDelivered(const QByteArray &topic, const QByteArray &payload);
    // The station could not read back its own retained topics; nothing of
    // them was cleared.
    void subtreeUnknown(const QString &reason);
    void stopped();

private:
    struct Message
    {
        QByteArray topic;
        QByteArray payload;
        bool isReading = false;
    };

    void connectToBroker();
    void service();
    void connectionEnded(const QString &reason);
    void teardown();
    void connected(int code);
    void published(int mid);
    void subscribed(int mid, int count, const int *granted);
    void received(const mosquitto_message *message);
    QList<QByteArray> syncFilters() const;
    void startSync();
    void finishSync();
    void abandonSync(const QString &reason);
    void unsubscribe();
    void publishOwed(const QByteArray &topic, const QByteArray &payload);
    void publishRetained(const QByteArray &topic, const QByteArray &payload);
    QString tlsProblem();
    void pump();
    void reportDrops();
    void finishStop();
    QByteArray deviceTopic(int address, const QByteArray &leaf) const;
    QString problemText(int code, int error) const;

    const PublishSettings m_settings;
    const BrokerAddress m_address;
    const QByteArray m_clientId;
    const QString m_session;
    QString m_port;

    mosquitto *m_mosq = nullptr;
    QSocketNotifier *m_readable = nullptr;
    QSocketNotifier *m_writable = nullptr;
    QTimer m_retry{this};
    QTimer m_keepAlive{this};
    QTimer m_stopDeadline{this};
    QTimer m_dropReport{this};
    QTimer m_syncDeadline{this};
    int m_retrySeconds = FirstRetrySeconds;
    bool m_connected = false;
    bool m_stopping = false;
    bool m_stopped = false;
    QString m_refusal;

    ReadingQueue m_queue;
    // Handed to the library, not yet acknowledged, in the order handed.
    std::deque<std::pair<int, Message>> m_inFlight;
    // Unacknowledged when the connection ended: they go first after a reconnect.
    std::deque<Message> m_resend;
    std::map<int, quint64> m_lastSeq;
    std::map<int, std::map<QByteArray, QByteArray>> m_retained;
    std::map<QByteArray, QByteArray> m_owed;
    std::map<int, std::pair<QByteArray, QByteArray>> m_owedInFlight;
    // While learning the subtree: the subscription, the marker awaited and
    // the retained topics seen so far.
    int m_syncMid = -1;
    bool m_syncing = false;
    QByteArray m_marker;
    quint64 m_markerCount = 0;
    std::set<QByteArray> m_seenRetained;
    int m_offlineMid = -1;
    quint64 m_delivered = 0;
};
