#include "mosquittobroker.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <random>

#include <pwd.h>
#include <unistd.h>

MosquittoBroker::MosquittoBroker() = default;

MosquittoBroker::~MosquittoBroker()
{
    stop();
}

QString MosquittoBroker::program()
{
    QString onPath = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
    if (!onPath.isEmpty())
        return onPath;
    return QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
}

int MosquittoBroker::freePort()
{
    // Below the kernel's ephemeral range, which every outgoing connection on
    // the machine draws from, and never the same port twice in one test: a
    // port the kernel picked and took back is soon picked again.
    constexpr int First = 20000;
    constexpr int Last = 32767;
    static QSet<int> handedOut;
    static std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> pick(First, Last);
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int port = pick(random);
        if (handedOut.contains(port))
            continue;
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHost, quint16(port)))
            continue;
        handedOut.insert(port);
        return port;
    }
    return 0;
}

bool MosquittoBroker::start(const QString &extraListeners)
{
    stop();
    m_port = freePort();
    const QString config = m_dir.filePath(QStringLiteral("mosquitto.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Run as root, the broker would otherwise become the user "mosquitto",
    // who cannot read the test's private directory.
    const passwd *user = getpwuid(geteuid());
    file.write(QStringLiteral("user %1\n").arg(QString::fromLocal8Bit(user ? user->pw_name : "root")).toUtf8());
    file.write(QStringLiteral("per_listener_settings true\n"
                              "log_dest stderr\n"
                              "log_type error\nlog_type warning\nlog_type notice\n"
                              "listener %1 127.0.0.1\n"
                              "allow_anonymous true\n")
                   .arg(m_port)
                   .toUtf8());
    file.write(extraListeners.toUtf8());
    file.close();

    m_process = std::make_unique<ChildProcess>();
    m_process->start(program(), {QStringLiteral("-c"), config});
    if (!m_process->waitForStarted(5000))
        return false;
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired() && m_process->state() == QProcess::Running) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, quint16(m_port));
        if (probe.waitForConnected(200))
            return true;
        QThread::msleep(50);
    }
    return false;
}

void MosquittoBroker::stop()
{
    if (m_process)
        m_process->end();
}

QString MosquittoBroker::log() const
{
    return m_process ? QString::fromUtf8(m_process->readAllStandardError()) : QString();
}

MqttSubscriber::MqttSubscriber(int port, const QString &filter)
    : m_port(port)
    , m_filter(filter)
{
}

bool MqttSubscriber::start(const QString &readyTopic)
{
    if (!publishRetained(m_port, readyTopic, QStringLiteral("ready")))
        return false;
    m_process.start(QStringLiteral("mosquitto_sub"),
                    {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(m_port),
                     QStringLiteral("-q"), QStringLiteral("1"), QStringLiteral("-v"), QStringLiteral("-t"), m_filter});
    if (!m_process.waitForStarted(5000))
        return false;
    const QString marker = readyTopic + QStringLiteral(" ready");
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        if (lines().contains(marker))
            return true;
        m_process.waitForReadyRead(100);
    }
    return false;
}

QStringList MqttSubscriber::lines()
{
    m_lines += QString::fromUtf8(m_process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return m_lines;
}

QStringList MqttSubscriber::payloads(const QString &topic)
{
    QStringList result;
    const QString prefix = topic + QLatin1Char(' ');
    for (const QString &line : lines()) {
        if (line == topic || line == topic + QStringLiteral(" (null)"))
            result << QString();
        else if (line.startsWith(prefix))
            result << line.mid(prefix.size());
    }
    return result;
}

bool publishRetained(int port, const QString &topic, const QString &payload)
{
    ChildProcess pub;
    pub.start(QStringLiteral("mosquitto_pub"),
              {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(port),
               QStringLiteral("-q"), QStringLiteral("1"), QStringLiteral("-r"), QStringLiteral("-t"), topic,
               QStringLiteral("-m"), payload});
    return pub.waitForFinished(5000) && pub.exitStatus() == QProcess::NormalExit && pub.exitCode() == 0;
}
