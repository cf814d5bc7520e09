#pragma once

#include <QProcess>

// A QProcess whose program is killed when the test process dies, however it
// dies: a crashed test leaves no broker or client behind.
class ChildProcess : public QProcess
{
public:
    using QProcess::QProcess;
    ~ChildProcess() override;

    // SIGTERM, then SIGKILL after `graceMs`.
    void end(int graceMs = 3000);

protected:
    void setupChildProcess() override;
};
