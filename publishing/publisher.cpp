#include "publisher.h"

#include "modbusline.h"
#include "threadending.h"
#include "devicerecords.h"
#include "brokerlink.h"
#include "payloads.h"
#include "timeformat.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QStandardItemModel>
#include <QThread>

#include <set>

namespace {

const QByteArray ConfigLeaf = QByteArrayLiteral("config");
// The goodbye's second, with room for the thread to wind down.
constexpr int EndingWaitMs = 3000;

} // namespace

Publisher::Publisher(QStandardItemModel *devices, const ModbusLine *line, QObject *parent)
    : QObject(parent)
    , m_devices(devices)
    , m_line(line)
{
    setObjectName(QStringLiteral("publisher"));
    qRegisterMetaType<Reading>();
    m_settings.station = defaultStationName();
    m_settings.topicPrefix = defaultTopicPrefix();
    m_settings.broker = QStringLiteral("mqtt://127.0.0.1:%1").arg(DefaultMqttPort);
    connect(devices, &QAbstractItemModel::rowsInserted, this, &Publisher::syncDevices);
    connect(devices, &QAbstractItemModel::rowsRemoved, this, &Publisher::syncDevices);
    connect(devices, &QAbstractItemModel::modelReset, this, &Publisher::syncDevices);
    connect(devices, &QAbstractItemModel::dataChanged, this, &Publisher::recordsChanged);
    connect(line, &ModbusLine::stateChanged, this, &Publisher::lineChanged);
    syncDevices();
    lineChanged();
}

Publisher::~Publisher()
{
    endSessions(QDeadlineTimer(EndingWaitMs));
}

void Publisher::endSessions(QDeadlineTimer deadline)
{
    stop();
    // Each ending session waits at most a second for the broker's
    // acknowledgement of its goodbye. One held in a name lookup that does not
    // return is left to end on its own: closing the window never hangs on it.
    for (const QPointer<QThread> &thread : qAsConst(m_ending)) {
        if (thread)
            endThread(thread.data(), deadline);
    }
    m_ending.clear();
}

void Publisher::start(const PublishSettings &settings)
{
    stop();
    emit noticeCleared();
    if (m_lastSession) {
        const PublishSettings &old = *m_lastSession;
        if (old.station != settings.station || old.topicPrefix != settings.topicPrefix)
            oweRetirement(old);
        if (old.broker != settings.broker && !m_owed.empty()) {
            emit told(tr("发布到了另一台 MQTT 服务器：原服务器 %1 上待清除或待更新的 %2 条保留消息已放弃发送")
                               .arg(old.broker)
                               .arg(m_owed.size()));
            m_owed.clear();
        }
    }
    for (const auto &unmade : m_unmade)
        m_retained[unmade.first.first][unmade.first.second] = unmade.second();
    m_unmade.clear();
    m_settings = settings;
    m_lastSession = settings;
    m_configured = true;
    m_lastReason.clear();
    // What this session publishes itself is owed no longer.
    m_owed.erase(Payloads::stationTopic(settings.topicPrefix, settings.station, "status"));
    for (const auto &device : m_retained) {
        for (const auto &leaf : device.second)
            m_owed.erase(Payloads::deviceTopic(settings.topicPrefix, settings.station, device.first, leaf.first));
    }

    const QString session = isoTimeText(QDateTime::currentDateTime());
    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("publishing"));
    m_link = new BrokerLink(settings, session, m_port);
    m_link->moveToThread(m_thread);
    connect(m_thread, &QThread::started, m_link, &BrokerLink::start);
    connect(m_thread, &QThread::finished, m_link, &QObject::deleteLater);
    // Direct: the window's thread may be waiting for the session to end.
    connect(m_link, &BrokerLink::stopped, m_thread, &QThread::quit, Qt::DirectConnection);
    connect(this, &Publisher::readingForLink, m_link, &BrokerLink::take);
    connect(this, &Publisher::portForLink, m_link, &BrokerLink::setPort);
    connect(this, &Publisher::retainedForLink, m_link, &BrokerLink::setDeviceRetained);
    connect(this, &Publisher::deviceRemovedForLink, m_link, &BrokerLink::removeDevice);
    connect(this, &Publisher::owedForLink, m_link, &BrokerLink::owe);
    // Kept past stop(): an ending session's last acknowledgements still count.
    connect(m_link, &BrokerLink::owedDelivered, this, [this](const QByteArray &topic, const QByteArray &payload) {
        const auto owed = m_owed.find(topic);
        if (owed != m_owed.end() && owed->second == payload)
            m_owed.erase(owed);
    });
    connect(m_link, &BrokerLink::subtreeUnknown, this, [this](const QString &reason) {
        emit told(tr("无法查明本站在 MQTT 服务器上保留的设备消息：%1。已不在列表里的设备的 config 和 alarm "
                          "消息未作清除。")
                           .arg(reason));
    });
    connect(this, &Publisher::shutdownLink, m_link, &BrokerLink::shutdown);
    connect(m_link, &BrokerLink::stateChanged, this, &Publisher::linkStateChanged);
    connect(m_link, &BrokerLink::readingsDropped, this, [this](quint64 count, const QString &addresses) {
        emit droppedTold(tr("MQTT 服务器长时间无法连接，缓存已满：已丢弃最早的 %1 条读数（设备 %2），"
                                "恢复连接后以 gap 消息告知订阅者")
                                 .arg(count)
                                 .arg(addresses));
    });
    for (const auto &device : m_retained) {
        for (const auto &leaf : device.second)
            emit retainedForLink(device.first, leaf.first, leaf.second);
    }
    for (const auto &owed : m_owed)
        emit owedForLink(owed.first, owed.second);
    m_thread->start();
    emit publishingChanged(true);
}

void Publisher::stop()
{
    if (!m_link)
        return;
    // Its last words are not waited for here: the link may be gone as soon
    // as it was told to end.
    disconnect(m_link, &BrokerLink::stateChanged, this, nullptr);
    disconnect(m_link, &BrokerLink::readingsDropped, this, nullptr);
    disconnect(m_link, &BrokerLink::subtreeUnknown, this, nullptr);
    emit shutdownLink();
    disconnect(this, nullptr, m_link, nullptr);
    connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
    m_ending << m_thread;
    m_link = nullptr;
    m_thread = nullptr;
    emit connectionTold(tr("已停止发布到 MQTT"), false);
    emit publishingChanged(false);
}

void Publisher::takeFromFile(const PublishSettings &settings)
{
    if (isPublishing()) {
        if (!(settings == m_settings))
            emit told(tr("正在发布到 MQTT，设备列表里的发布设置未采用；停止发布后再打开此列表即可采用。"));
        return;
    }
    m_savePassword = !settings.password.isEmpty();
    const QString caProblem = caFileProblem(settings.caFile);
    if (!caProblem.isEmpty()) {
        // Shown in the dialog, to be corrected there.
        m_settings = settings;
        m_configured = true;
        emit told(tr("设备列表里的发布设置未采用：%1").arg(caProblem));
        return;
    }
    start(settings);
    emit told(tr("已按设备列表里的设置开始发布到 %1（站名 %2）").arg(settings.broker, settings.station));
}

void Publisher::take(const Reading &reading)
{
    if (m_link)
        emit readingForLink(reading);
}

void Publisher::setDeviceRetained(int address, const QByteArray &leaf, const QByteArray &payload)
{
    m_unmade.erase({address, leaf});
    m_retained[address][leaf] = payload;
    if (m_lastSession)
        m_owed.erase(Payloads::deviceTopic(m_lastSession->topicPrefix, m_lastSession->station, address, leaf));
    emit retainedForLink(address, leaf, payload);
}

void Publisher::setDeviceRetained(int address, const QByteArray &leaf, std::function<QByteArray()> makePayload)
{
    if (m_link) {
        setDeviceRetained(address, leaf, makePayload());
        return;
    }
    m_retained[address][leaf];
    m_unmade[{address, leaf}] = std::move(makePayload);
    if (m_lastSession)
        m_owed.erase(Payloads::deviceTopic(m_lastSession->topicPrefix, m_lastSession->station, address, leaf));
}

void Publisher::recordsChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QVector<int> &roles)
{
    if (!roles.isEmpty() && !roles.contains(ItemDataRole))
        return;
    for (int row = topLeft.row(); row <= bottomRight.row(); ++row)
        syncConfig(readRecord(m_devices, row));
}

void Publisher::syncConfig(const ItemData &record)
{
    // Every poll changes the record: the message is made only when what it says has changed.
    const ConfigFields fields{record.unit, record.decimals, record.recordPeriod, record.map.name};
    if (m_configFields[record.address] == fields && m_retained[record.address].count(ConfigLeaf))
        return;
    m_configFields[record.address] = fields;
    const QByteArray config = Payloads::config(record.unit, record.decimals, record.recordPeriod, record.map.name);
    QByteArray &known = m_retained[record.address][ConfigLeaf];
    if (known == config)
        return;
    known = config;
    if (m_lastSession)
        m_owed.erase(
            Payloads::deviceTopic(m_lastSession->topicPrefix, m_lastSession->station, record.address, ConfigLeaf));
    emit retainedForLink(record.address, ConfigLeaf, config);
}

void Publisher::syncDevices()
{
    std::set<int> listed;
    for (int row = 0; row < m_devices->rowCount(); ++row) {
        const ItemData record = readRecord(m_devices, row);
        listed.insert(record.address);
        syncConfig(record);
    }
    for (auto it = m_retained.begin(); it != m_retained.end();) {
        if (listed.count(it->first)) {
            ++it;
            continue;
        }
        // Cleared now, or at the next connect to the same broker.
        if (m_lastSession) {
            for (const auto &leaf : it->second)
                owe(Payloads::deviceTopic(m_lastSession->topicPrefix, m_lastSession->station, it->first, leaf.first),
                    QByteArray());
        }
        emit deviceRemovedForLink(it->first);
        for (const auto &leaf : it->second)
            m_unmade.erase({it->first, leaf.first});
        m_configFields.erase(it->first);
        it = m_retained.erase(it);
    }
}

void Publisher::owe(const QByteArray &topic, const QByteArray &payload)
{
    m_owed[topic] = payload;
    emit owedForLink(topic, payload);
}

void Publisher::oweRetirement(const PublishSettings &old)
{
    m_owed[Payloads::stationTopic(old.topicPrefix, old.station, "status")] = Payloads::statusOffline();
    for (const auto &device : m_retained) {
        for (const auto &leaf : device.second)
            m_owed[Payloads::deviceTopic(old.topicPrefix, old.station, device.first, leaf.first)] = QByteArray();
    }
}

// The status names the line as opened, not the text being edited in 串口号.
void Publisher::lineChanged()
{
    const QString port = m_line->isOpen() ? m_line->address() : QString();
    if (port == m_port && port.isNull() == m_port.isNull())
        return;
    m_port = port;
    if (m_link)
        emit portForLink(port);
}

void Publisher::linkStateChanged(int state, const QString &reason, int retrySeconds)
{
    switch (state) {
    case BrokerLink::Connecting:
        break;
    case BrokerLink::Connected:
        m_lastReason.clear();
        emit connectionTold(tr("已连接 MQTT 服务器 %1，正在发布").arg(m_settings.broker), false);
        break;
    case BrokerLink::Retrying: {
        // Shown again only for a new reason: a closed notice stays closed
        // while the same broker stays away.
        const bool newReason = reason != m_lastReason;
        m_lastReason = reason;
        emit connectionTold(tr("无法连接 MQTT 服务器 %1：%2。%3 秒后重试；采集和记录照常进行，读数暂存待发。")
                                    .arg(m_settings.broker, reason)
                                    .arg(retrySeconds),
                                newReason);
        break;
    }
    }
}
