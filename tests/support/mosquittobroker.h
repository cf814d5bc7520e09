#pragma once

#include "childprocess.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A mosquitto broker of the test's own, on a free port of the loopback
// interface, with its configuration in a temporary directory.
class MosquittoBroker
{
public:
    MosquittoBroker();
    ~MosquittoBroker();
    MosquittoBroker(const MosquittoBroker &) = delete;
    MosquittoBroker &operator=(const MosquittoBroker &) = delete;

    // The broker program, or empty when it is not installed.
    static QString program();
    // A TCP port of the loopback nobody listens on at the moment, never one
    // handed out before in this process.
    static int freePort();

    // Listens anonymously on port(); `extraListeners` are appended to the
    // configuration (per-listener settings are on). Waits until it accepts
    // connections.
    bool start(const QString &extraListeners = QString());
    void stop();
    int port() const { return m_port; }
    QString directory() const { return m_dir.path(); }
    // The broker's own messages, for a failing test's log.
    QString log() const;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<ChildProcess> m_process;
    int m_port = 0;
};

// mosquitto_sub on a broker, collecting "topic payload" lines.
class MqttSubscriber
{
public:
    MqttSubscriber(int port, const QString &filter);
    // Starts and waits until the subscription is in place: a retained marker
    // published beforehand under `filter`'s root has arrived.
    bool start(const QString &readyTopic);
    QStringList lines();
    // The payload of each message on `topic`, in arrival order; an empty
    // message as an empty text.
    QStringList payloads(const QString &topic);

private:
    int m_port;
    QString m_filter;
    ChildProcess m_process;
    QStringList m_lines;
};

// Publishes one retained message with mosquitto_pub; true on success.
bool publishRetained(int port, const QString &topic, const QString &payload);
