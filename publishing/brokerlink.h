#pragma once

#include "acquisition/reading.h"
#include "publishing/publishsettings.h"
#include "publishing/readingqueue.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <deque>
#include <map>
#include <set>

struct mosquitto;
class QSocketNotifier;

// One publishing session's connection to the broker, living on a thread of
// its own: the library's connect waits for the name lookup, and its own
// retries give up after lookup, TLS or authentication errors, so this object
// connects, reconnects with its own back-off and drives the library's socket
// from the thread's event loop. Readings wait in its bounded queue; only a
// few unacknowledged ones are handed to the library at a time, as the
// library's own queue has no bound.
class BrokerLink : public QObject
{
    Q_OBJECT

public:
    enum State { Connecting, Connected, Retrying };
    static constexpr int MaxInFlight = 20;
    static constexpr int FirstRetrySeconds = 1;
    static constexpr int LastRetrySeconds = 30;

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
    // Clears the device's retained topics with empty retained messages.
    void removeDevice(int address);
    // Publishes the station offline, waits at most a second for the broker
    // to acknowledge it, disconnects cleanly (which discards the will) and
    // then emits stopped().
    void shutdown();

signals:
    void stateChanged(int state, const QString &reason, int retrySeconds);
    void readingsDropped(quint64 count, const QString &addresses);
    // Readings the broker acknowledged so far.
    void delivered(quint64 count);
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
    void publishRetained(const QByteArray &topic, const QByteArray &payload);
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
    std::set<QByteArray> m_toClear;
    int m_offlineMid = -1;
    quint64 m_delivered = 0;
};
