#include "brokerlink.h"

#include "payloads.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QSocketNotifier>

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

constexpr int KeepAliveSeconds = 30;
constexpr int StopWaitMs = 1000;

QByteArray clientIdFor(const QString &station)
{
    return "velmora-" + station.toUtf8() + '-'
           + QByteArray::number(QRandomGenerator::global()->generate(), 16).rightJustified(8, '0');
}

// The library cannot verify certificates (built without TLS, or refusing an
// option): mqtts is refused rather than used unverified.
QString noVerification()
{
    return QCoreApplication::translate("BrokerLink", "本机的 MQTT 库无法校验服务器证书，不能使用 mqtts");
}

void initialiseLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

} // namespace

BrokerLink::BrokerLink(const PublishSettings &settings, const QString &session, const QString &port,
                       int queueBound)
    : m_settings(settings)
    , m_address(parseBrokerUrl(settings.broker).valueOr(BrokerAddress()))
    , m_clientId(clientIdFor(settings.station))
    , m_session(session)
    , m_port(port)
    , m_queue(queueBound)
{
    initialiseLibrary();
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &BrokerLink::connectToBroker);
    // The library's keep-alive pings and its time-outs run from here.
    m_keepAlive.setInterval(1000);
    connect(&m_keepAlive, &QTimer::timeout, this, &BrokerLink::service);
    m_stopDeadline.setSingleShot(true);
    connect(&m_stopDeadline, &QTimer::timeout, this, &BrokerLink::finishStop);
    // A long outage past the queue's bound drops readings at the poll rate;
    // the operator hears of it once a second.
    m_dropReport.setSingleShot(true);
    m_dropReport.setInterval(1000);
    connect(&m_dropReport, &QTimer::timeout, this, &BrokerLink::reportDrops);
    m_syncDeadline.setSingleShot(true);
    connect(&m_syncDeadline, &QTimer::timeout, this, [this] {
        abandonSync(tr("服务器在 %1 秒内没有把本站的标记消息送回（账号可能只能发布、不能订阅）")
                        .arg(SyncWaitMs / 1000));
    });
}

BrokerLink::~BrokerLink()
{
    teardown();
}

void BrokerLink::start()
{
    m_keepAlive.start();
    connectToBroker();
}

void BrokerLink::take(const Reading &reading)
{
    if (m_stopping)
        return;
    const quint64 droppedBefore = m_queue.droppedCount();
    m_queue.push(reading, ++m_lastSeq[reading.address]);
    if (m_queue.droppedCount() != droppedBefore && !m_dropReport.isActive()) {
        reportDrops();
        m_dropReport.start();
    }
    pump();
}

void BrokerLink::setPort(const QString &port)
{
    m_port = port;
    if (m_connected && !m_stopping)
        publishRetained(Payloads::stationTopic(m_settings.topicPrefix, m_settings.station, "status"),
                        Payloads::statusOnline(m_port));
}

void BrokerLink::setDeviceRetained(int address, const QByteArray &leaf, const QByteArray &payload)
{
    const QByteArray topic = deviceTopic(address, leaf);
    m_retained[address][leaf] = payload;
    m_owed.erase(topic);
    if (m_connected)
        publishRetained(topic, payload);
}

void BrokerLink::removeDevice(int address)
{
    m_retained.erase(address);
}

void BrokerLink::owe(const QByteArray &topic, const QByteArray &payload)
{
    m_owed[topic] = payload;
    if (m_connected && !m_stopping)
        publishOwed(topic, payload);
}

void BrokerLink::shutdown()
{
    if (m_stopping)
        return;
    m_stopping = true;
    m_retry.stop();
    if (!m_connected) {
        finishStop();
        return;
    }
    // A clean disconnect discards the will, so the station says it itself.
    const QByteArray topic = Payloads::stationTopic(m_settings.topicPrefix, m_settings.station, "status");
    const QByteArray offline = Payloads::statusOffline();
    if (mosquitto_publish(m_mosq, &m_offlineMid, topic.constData(), offline.size(), offline.constData(), 1, true)
        != MOSQ_ERR_SUCCESS) {
        finishStop();
        return;
    }
    m_stopDeadline.start(StopWaitMs);
    service();
}

void BrokerLink::connectToBroker()
{
    teardown();
    m_refusal.clear();
    m_mosq = mosquitto_new(m_clientId.constData(), true, this);
    if (!m_mosq) {
        connectionEnded(tr("无法创建 MQTT 客户端"));
        return;
    }
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(m_mosq, [](mosquitto *, void *link, int code) {
        static_cast<BrokerLink *>(link)->connected(code);
    });
    mosquitto_publish_callback_set(m_mosq, [](mosquitto *, void *link, int mid) {
        static_cast<BrokerLink *>(link)->published(mid);
    });
    mosquitto_subscribe_callback_set(m_mosq, [](mosquitto *, void *link, int mid, int count, const int *granted) {
        static_cast<BrokerLink *>(link)->subscribed(mid, count, granted);
    });
    mosquitto_message_callback_set(m_mosq, [](mosquitto *, void *link, const mosquitto_message *message) {
        static_cast<BrokerLink *>(link)->received(message);
    });
    if (!m_settings.username.isEmpty()) {
        const QByteArray user = m_settings.username.toUtf8();
        const QByteArray password = m_settings.password.toUtf8();
        mosquitto_username_pw_set(m_mosq, user.constData(),
                                  m_settings.password.isEmpty() ? nullptr : password.constData());
    }
    const QByteArray statusTopic = Payloads::stationTopic(m_settings.topicPrefix, m_settings.station, "status");
    const QByteArray offline = Payloads::statusOffline();
    mosquitto_will_set(m_mosq, statusTopic.constData(), offline.size(), offline.constData(), 1, true);
    if (m_address.tls) {
        const QString problem = tlsProblem();
        if (!problem.isEmpty()) {
            connectionEnded(problem);
            return;
        }
    }

    emit stateChanged(Connecting, QString(), 0);
    // Waits for the name lookup only; the TCP and TLS handshakes go on from
    // the event loop.
    const int code = mosquitto_connect_async(m_mosq, m_address.host.toUtf8().constData(), m_address.port,
                                             KeepAliveSeconds);
    const int error = errno;
    if (code != MOSQ_ERR_SUCCESS) {
        connectionEnded(problemText(code, error));
        return;
    }
    const int socket = mosquitto_socket(m_mosq);
    m_readable = new QSocketNotifier(socket, QSocketNotifier::Read, this);
    connect(m_readable, &QSocketNotifier::activated, this, &BrokerLink::service);
    m_writable = new QSocketNotifier(socket, QSocketNotifier::Write, this);
    connect(m_writable, &QSocketNotifier::activated, this, &BrokerLink::service);
    service();
}

// The server's certificate and host name are always verified; every option
// that makes it so must be taken.
QString BrokerLink::tlsProblem()
{
    if (!m_settings.caFile.isEmpty()) {
        // Checked before the library opens it: a FIFO would block this thread.
        const QString unreadable = caFileProblem(m_settings.caFile);
        if (!unreadable.isEmpty())
            return unreadable;
        const int code = mosquitto_tls_set(m_mosq, QFile::encodeName(m_settings.caFile).constData(), nullptr,
                                           nullptr, nullptr, nullptr);
        if (code == MOSQ_ERR_NOT_SUPPORTED)
            return noVerification();
        if (code != MOSQ_ERR_SUCCESS)
            return tr("CA 文件 %1 无法使用").arg(m_settings.caFile);
    } else if (mosquitto_int_option(m_mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1) != MOSQ_ERR_SUCCESS) {
        return noVerification();
    }
    const int verifyPeer = 1;
    if (mosquitto_tls_opts_set(m_mosq, verifyPeer, nullptr, nullptr) != MOSQ_ERR_SUCCESS
        || mosquitto_tls_insecure_set(m_mosq, false) != MOSQ_ERR_SUCCESS)
        return noVerification();
    return {};
}

void BrokerLink::service()
{
    if (!m_mosq || !m_readable)
        return;
    const int code = mosquitto_loop(m_mosq, 0, 1);
    const int error = errno;
    if (code != MOSQ_ERR_SUCCESS) {
        if (m_stopping)
            finishStop();
        else
            connectionEnded(m_refusal.isEmpty() ? problemText(code, error) : m_refusal);
        return;
    }
    m_writable->setEnabled(mosquitto_want_write(m_mosq));
}

void BrokerLink::connectionEnded(const QString &reason)
{
    teardown();
    m_connected = false;
    m_syncing = false;
    m_syncDeadline.stop();
    m_owedInFlight.clear();
    for (auto it = m_inFlight.rbegin(); it != m_inFlight.rend(); ++it)
        m_resend.push_front(std::move(it->second));
    m_inFlight.clear();
    emit stateChanged(Retrying, reason, m_retrySeconds);
    m_retry.start(m_retrySeconds * 1000);
    m_retrySeconds = qMin(m_retrySeconds * 2, LastRetrySeconds);
}

void BrokerLink::teardown()
{
    delete m_readable;
    m_readable = nullptr;
    delete m_writable;
    m_writable = nullptr;
    if (m_mosq) {
        mosquitto_destroy(m_mosq);
        m_mosq = nullptr;
    }
}

void BrokerLink::connected(int code)
{
    if (code != 0) {
        // Mosquitto answers a wrong password with "not authorised" too.
        m_refusal = code == 4 || code == 5 ? tr("用户名或密码被服务器拒绝（未获授权）")
                                           : QString::fromUtf8(mosquitto_connack_string(code));
        return;
    }
    m_connected = true;
    m_retrySeconds = FirstRetrySeconds;
    // What is owed from before, then the status, then what subscribers need
    // to read the readings.
    for (const auto &owed : m_owed)
        publishOwed(owed.first, owed.second);
    publishRetained(Payloads::stationTopic(m_settings.topicPrefix, m_settings.station, "status"),
                    Payloads::statusOnline(m_port));
    for (const auto &device : m_retained) {
        for (const auto &leaf : device.second)
            publishRetained(deviceTopic(device.first, leaf.first), leaf.second);
    }
    startSync();
    emit stateChanged(Connected, QString(), 0);
    pump();
}

QList<QByteArray> BrokerLink::syncFilters() const
{
    return {Payloads::stationTopic(m_settings.topicPrefix, m_settings.station, "devices/+/config"),
            Payloads::stationTopic(m_settings.topicPrefix, m_settings.station, "devices/+/alarm"),
            Payloads::stationTopic(m_settings.topicPrefix, m_settings.station, "sync")};
}

// Subscribes to the station's own device topics: the broker sends what it
// retains there, then, after the subscription was granted, the station's
// marker comes back behind it.
void BrokerLink::startSync()
{
    m_seenRetained.clear();
    m_marker = m_clientId + '-' + QByteArray::number(++m_markerCount);
    const QList<QByteArray> filters = syncFilters();
    std::vector<char *> names;
    for (const QByteArray &filter : filters)
        names.push_back(const_cast<char *>(filter.constData()));
    if (mosquitto_subscribe_multiple(m_mosq, &m_syncMid, int(names.size()), names.data(), 0, 0, nullptr)
        != MOSQ_ERR_SUCCESS) {
        emit subtreeUnknown(tr("无法订阅本站的主题"));
        return;
    }
    m_syncing = true;
    m_syncDeadline.start(SyncWaitMs);
}

void BrokerLink::subscribed(int mid, int count, const int *granted)
{
    if (!m_syncing || mid != m_syncMid)
        return;
    for (int i = 0; i < count; ++i) {
        if (granted[i] < 0 || granted[i] > 2) {
            abandonSync(tr("服务器拒绝本站订阅自己的主题（账号可能只能发布）"));
            return;
        }
    }
    const QByteArray topic = syncFilters().constLast();
    mosquitto_publish(m_mosq, nullptr, topic.constData(), m_marker.size(), m_marker.constData(), 1, false);
}

void BrokerLink::received(const mosquitto_message *message)
{
    if (!m_syncing)
        return;
    const QByteArray topic(message->topic);
    const QByteArray payload(static_cast<const char *>(message->payload), message->payloadlen);
    if (topic == syncFilters().constLast()) {
        if (payload == m_marker)
            QMetaObject::invokeMethod(this, &BrokerLink::finishSync, Qt::QueuedConnection);
        return;
    }
    // Live copies of what this session publishes come without the flag.
    if (message->retain && !payload.isEmpty())
        m_seenRetained.insert(topic);
}

// Clears the config and alarm of every address seen that is not listed.
void BrokerLink::finishSync()
{
    if (!m_syncing)
        return;
    m_syncing = false;
    m_syncDeadline.stop();
    unsubscribe();
    const QByteArray devices = Payloads::stationTopic(m_settings.topicPrefix, m_settings.station, "devices/");
    for (const QByteArray &topic : m_seenRetained) {
        const QByteArray address = topic.mid(devices.size()).split('/').value(0);
        bool number = false;
        const int value = address.toInt(&number);
        if (!number || !m_retained.count(value))
            publishRetained(topic, QByteArray());
    }
    m_seenRetained.clear();
}

void BrokerLink::abandonSync(const QString &reason)
{
    if (!m_syncing)
        return;
    m_syncing = false;
    m_syncDeadline.stop();
    m_seenRetained.clear();
    unsubscribe();
    emit subtreeUnknown(reason);
}

void BrokerLink::unsubscribe()
{
    if (!m_mosq || !m_connected)
        return;
    const QList<QByteArray> filters = syncFilters();
    std::vector<char *> names;
    for (const QByteArray &filter : filters)
        names.push_back(const_cast<char *>(filter.constData()));
    mosquitto_unsubscribe_multiple(m_mosq, nullptr, int(names.size()), names.data(), nullptr);
}

void BrokerLink::published(int mid)
{
    if (m_stopping && mid == m_offlineMid) {
        // Not from within the library's call: the client goes away next.
        QMetaObject::invokeMethod(this, &BrokerLink::finishStop, Qt::QueuedConnection);
        return;
    }
    const auto owed = m_owedInFlight.find(mid);
    if (owed != m_owedInFlight.end()) {
        const auto pending = m_owed.find(owed->second.first);
        if (pending != m_owed.end() && pending->second == owed->second.second)
            m_owed.erase(pending);
        emit owedDelivered(owed->second.first, owed->second.second);
        m_owedInFlight.erase(owed);
        return;
    }
    for (auto it = m_inFlight.begin(); it != m_inFlight.end(); ++it) {
        if (it->first == mid) {
            if (it->second.isReading)
                emit delivered(++m_delivered);
            m_inFlight.erase(it);
            break;
        }
    }
    pump();
}

void BrokerLink::publishOwed(const QByteArray &topic, const QByteArray &payload)
{
    int mid = 0;
    if (mosquitto_publish(m_mosq, &mid, topic.constData(), payload.size(), payload.constData(), 1, true)
        == MOSQ_ERR_SUCCESS)
        m_owedInFlight[mid] = {topic, payload};
}

void BrokerLink::publishRetained(const QByteArray &topic, const QByteArray &payload)
{
    mosquitto_publish(m_mosq, nullptr, topic.constData(), payload.size(), payload.constData(), 1, true);
}

void BrokerLink::pump()
{
    while (m_connected && !m_stopping && m_inFlight.size() < std::size_t(MaxInFlight)) {
        Message message;
        if (!m_resend.empty()) {
            message = std::move(m_resend.front());
            m_resend.pop_front();
        } else if (m_queue.hasGap()) {
            // Before the device's later readings, so a subscriber learns of
            // the hole before it sees it.
            const ReadingQueue::Gap gap = m_queue.takeGap();
            message = {deviceTopic(gap.address, "gap"), Payloads::gap(gap.fromSeq, gap.toSeq), false};
        } else if (!m_queue.isEmpty()) {
            const ReadingQueue::Entry entry = m_queue.takeFirst();
            message = {deviceTopic(entry.reading.address, "reading"),
                       Payloads::reading(entry.reading, entry.seq, m_session), true};
        } else {
            break;
        }
        int mid = 0;
        if (mosquitto_publish(m_mosq, &mid, message.topic.constData(), message.payload.size(),
                              message.payload.constData(), 1, false)
            != MOSQ_ERR_SUCCESS) {
            m_resend.push_front(std::move(message));
            break;
        }
        m_inFlight.emplace_back(mid, std::move(message));
    }
}

void BrokerLink::reportDrops()
{
    QStringList addresses;
    for (const int address : m_queue.droppedAddresses())
        addresses << QString::number(address);
    emit readingsDropped(m_queue.droppedCount(), addresses.join(tr("、")));
}

void BrokerLink::finishStop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    m_stopDeadline.stop();
    m_syncDeadline.stop();
    m_syncing = false;
    m_keepAlive.stop();
    if (m_mosq && m_connected)
        mosquitto_disconnect(m_mosq);
    m_connected = false;
    teardown();
    emit stopped();
}

QByteArray BrokerLink::deviceTopic(int address, const QByteArray &leaf) const
{
    return Payloads::deviceTopic(m_settings.topicPrefix, m_settings.station, address, leaf);
}

QString BrokerLink::problemText(int code, int error) const
{
    switch (code) {
    case MOSQ_ERR_EAI:
        return tr("无法解析主机名 %1").arg(m_address.host);
    case MOSQ_ERR_ERRNO:
        if (error == ECONNREFUSED)
            return tr("连接被拒绝（%1:%2 没有 MQTT 服务）").arg(m_address.host).arg(m_address.port);
        return tr("网络错误：%1").arg(QString::fromLocal8Bit(std::strerror(error)));
    case MOSQ_ERR_TLS:
        return tr("TLS 握手失败：服务器证书不受信任或与主机名不符");
    case MOSQ_ERR_CONN_LOST:
        return tr("与服务器的连接中断");
    case MOSQ_ERR_KEEPALIVE:
        return tr("服务器长时间没有响应");
    default:
        return QString::fromUtf8(mosquitto_strerror(code));
    }
}
