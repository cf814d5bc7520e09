#include "publishing/brokerlink.h"

#include "publishing/payloads.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSocketNotifier>

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace {

constexpr int KeepAliveSeconds = 30;
constexpr int StopWaitMs = 1000;

QByteArray clientIdFor(const QString &station)
{
    return "velmora-" + station.toUtf8() + '-'
           + QByteArray::number(QRandomGenerator::global()->generate(), 16).rightJustified(8, '0');
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
    , m_address(parseBrokerUrl(settings.broker).value)
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
    m_toClear.erase(topic);
    if (m_connected)
        publishRetained(topic, payload);
}

void BrokerLink::removeDevice(int address)
{
    const auto device = m_retained.find(address);
    if (device == m_retained.end())
        return;
    for (const auto &leaf : device->second) {
        const QByteArray topic = deviceTopic(address, leaf.first);
        if (m_connected)
            publishRetained(topic, QByteArray());
        else
            m_toClear.insert(topic);
    }
    m_retained.erase(device);
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
        // The server's certificate and host name are always verified.
        if (m_settings.caFile.isEmpty()) {
            mosquitto_int_option(m_mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        } else if (mosquitto_tls_set(m_mosq, QFile::encodeName(m_settings.caFile).constData(), nullptr, nullptr,
                                     nullptr, nullptr)
                   != MOSQ_ERR_SUCCESS) {
            connectionEnded(caFileProblem(m_settings.caFile).isEmpty()
                                ? tr("CA 文件 %1 无法使用").arg(m_settings.caFile)
                                : caFileProblem(m_settings.caFile));
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
    // Status first, then what subscribers need to read the readings.
    publishRetained(Payloads::stationTopic(m_settings.topicPrefix, m_settings.station, "status"),
                    Payloads::statusOnline(m_port));
    for (const auto &device : m_retained) {
        for (const auto &leaf : device.second)
            publishRetained(deviceTopic(device.first, leaf.first), leaf.second);
    }
    for (const QByteArray &topic : m_toClear)
        publishRetained(topic, QByteArray());
    m_toClear.clear();
    emit stateChanged(Connected, QString(), 0);
    pump();
}

void BrokerLink::published(int mid)
{
    if (m_stopping && mid == m_offlineMid) {
        // Not from within the library's call: the client goes away next.
        QMetaObject::invokeMethod(this, &BrokerLink::finishStop, Qt::QueuedConnection);
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
