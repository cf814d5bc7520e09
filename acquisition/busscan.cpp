#include "busscan.h"

#include "modbusline.h"
#include "pollcycle.h"

BusScan::BusScan(ModbusLine *line, const PollCycle *cycle, QObject *parent)
    : QObject(parent)
    , line(line)
    , cycle(cycle)
{
    connect(line, &ModbusLine::probed, this, &BusScan::take);
    connect(cycle, &PollCycle::finished, this, &BusScan::cycleEnded);
    connect(cycle, &PollCycle::aborted, this, &BusScan::cycleEnded);
}

bool BusScan::isRunning() const
{
    return running;
}

void BusScan::start(int first, int last, const RegisterRequest &probe)
{
    if (running)
        return;
    running = true;
    probeRequest = probe;
    this->first = first;
    this->last = last;
    next = first;
    found.clear();
    waitingForCycle = cycle->isRunning();
    if (!waitingForCycle)
        probeNext();
}

void BusScan::cancel()
{
    running = false;
    waitingForCycle = false;
    request = 0;
}

QList<int> BusScan::foundAddresses() const
{
    return found;
}

void BusScan::cycleEnded()
{
    if (!waitingForCycle)
        return;
    waitingForCycle = false;
    probeNext();
}

void BusScan::probeNext()
{
    if (next > last) {
        running = false;
        emit finished();
        return;
    }
    request = line->probe(next, probeRequest);
}

void BusScan::take(quint64 result, bool answered)
{
    if (!running || result != request)
        return;
    request = 0;
    const int address = next++;
    if (answered) {
        found.append(address);
        emit deviceFound(address);
    }
    emit progressed(next - first, last - first + 1);
    // A slot of progressed() may have cancelled the scan.
    if (running)
        probeNext();
}
