#include "acquisition/busscan.h"

#include "acquisition/modbusline.h"

BusScan::BusScan(ModbusLine *line, QObject *parent)
    : QObject(parent)
    , line(line)
{
    connect(line, &ModbusLine::probed, this, &BusScan::take);
}

bool BusScan::isRunning() const
{
    return running;
}

void BusScan::start(int first, int last)
{
    if (running)
        return;
    running = true;
    this->first = first;
    this->last = last;
    next = first;
    found.clear();
    probeNext();
}

void BusScan::cancel()
{
    running = false;
    request = 0;
}

QList<int> BusScan::foundAddresses() const
{
    return found;
}

void BusScan::probeNext()
{
    if (next > last) {
        running = false;
        emit finished();
        return;
    }
    request = line->probe(next);
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
