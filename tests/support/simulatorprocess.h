#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <memory>

class QProcess;

// Runs velmora-sim for a test: a real Modbus RTU slave line on a
// pseudo-terminal. The simulator never outlives the object, and it is told to
// end itself should the test process die.
class SimulatorProcess {
public:
    explicit SimulatorProcess(const QStringList &arguments);
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess &) = delete;
    SimulatorProcess &operator=(const SimulatorProcess &) = delete;

    // Starts the simulator and waits up to 5 s for the device path it prints.
    bool start();
    QString devicePath() const;
    // Ends the simulator with SIGTERM and returns its statistics, or an empty
    // object when it could not be stopped cleanly or printed none.
    QJsonObject stop();

    // Ends the simulator at once with SIGKILL, as a crash or a pulled adapter
    // would: no statistics, and a --link is left dangling.
    void kill();
    // 0 when it is not running.
    qint64 processId() const;

    // "--slave SPEC" for each of `specs`.
    static QStringList slaveArguments(const QStringList &specs);
    // The "slaves" entry of `stats` for `address`; empty if there is none.
    static QJsonObject slaveStats(const QJsonObject &stats, int address);

private:
    void terminate();

    QStringList m_arguments;
    std::unique_ptr<QProcess> m_process;
    QString m_devicePath;
};
