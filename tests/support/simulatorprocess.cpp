#include "simulatorprocess.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

namespace {

constexpr int StartTimeoutMs = 5000;
constexpr int StopTimeoutMs = 5000;

} // namespace

SimulatorProcess::SimulatorProcess(const QStringList &arguments)
    : m_arguments(arguments)
{
}

SimulatorProcess::~SimulatorProcess()
{
    terminate();
}

bool SimulatorProcess::start()
{
    terminate();
    m_devicePath.clear();
    m_process = std::make_unique<QProcess>();
    // Complaints of the simulator belong in the test log.
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->start(QStringLiteral(VELMORA_SIM_PATH), m_arguments + QStringList{"--die-with-parent"});
    if (!m_process->waitForStarted(StartTimeoutMs))
        return false;

    const QDeadlineTimer deadline(StartTimeoutMs);
    while (!m_process->canReadLine()) {
        if (deadline.hasExpired()
            || !m_process->waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())))) {
            terminate();
            return false;
        }
    }
    m_devicePath = QString::fromLocal8Bit(m_process->readLine()).trimmed();
    if (m_devicePath.isEmpty()) {
        terminate();
        return false;
    }
    return true;
}

QString SimulatorProcess::devicePath() const
{
    return m_devicePath;
}

QJsonObject SimulatorProcess::stop()
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return {};
    m_process->terminate();
    if (!m_process->waitForFinished(StopTimeoutMs)) {
        terminate();
        return {};
    }
    if (m_process->exitStatus() != QProcess::NormalExit || m_process->exitCode() != 0)
        return {};

    // The statistics are the last line; the device path came before.
    const QList<QByteArray> lines = m_process->readAllStandardOutput().trimmed().split('\n');
    const QJsonDocument document = QJsonDocument::fromJson(lines.last());
    return document.isObject() ? document.object() : QJsonObject();
}

void SimulatorProcess::kill()
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return;
    m_process->kill();
    m_process->waitForFinished(StopTimeoutMs);
}

qint64 SimulatorProcess::processId() const
{
    return m_process ? m_process->processId() : 0;
}

QJsonObject SimulatorProcess::slaveStats(const QJsonObject &stats, int address)
{
    const QJsonArray slaves = stats.value(QStringLiteral("slaves")).toArray();
    for (const QJsonValue &slave : slaves) {
        if (slave.toObject().value(QStringLiteral("address")).toInt(-1) == address)
            return slave.toObject();
    }
    return {};
}

void SimulatorProcess::terminate()
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return;
    m_process->terminate();
    if (!m_process->waitForFinished(StopTimeoutMs)) {
        m_process->kill();
        m_process->waitForFinished(StopTimeoutMs);
    }
}

QStringList SimulatorProcess::slaveArguments(const QStringList &specs)
{
    QStringList arguments;
    for (const QString &spec : specs)
        arguments << QStringLiteral("--slave") << spec;
    return arguments;
}
