#include "childprocess.h"

#include <csignal>
#include <sys/prctl.h>

ChildProcess::~ChildProcess()
{
    end();
}

void ChildProcess::end(int graceMs)
{
    if (state() == QProcess::NotRunning)
        return;
    terminate();
    if (!waitForFinished(graceMs)) {
        kill();
        waitForFinished(graceMs);
    }
}

void ChildProcess::setupChildProcess()
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
}
