#include "pollcycle.h"

#include "modbusline.h"
#include "pollrecord.h"
#include "registertransport.h"
#include "devicerecords.h"

#include <QStandardItemModel>

namespace {

constexpr int PauseAfterDeviceMs = 50;
constexpr int EarlyWakeMs = 1;

} // namespace

PollCycle::PollCycle(QStandardItemModel *devices, ModbusLine *line, QObject *parent)
    : QObject(parent)
    , devices(devices)
    , line(line)
{
    qRegisterMetaType<Reading>();
    pause.setSingleShot(true);
    pause.setTimerType(Qt::PreciseTimer);
    pause.setInterval(PauseAfterDeviceMs - EarlyWakeMs);
    connect(&pause, &QTimer::timeout, this, &PollCycle::pollNext);
    connect(line, &ModbusLine::polled, this, &PollCycle::store);
}

bool PollCycle::isRunning() const
{
    return running;
}

void PollCycle::start(QDeadlineTimer notBefore)
{
    if (running)
        return;
    running = true;
    pauseDeadline = notBefore;
    waiting.clear();
    for (int row = 0; row < devices->rowCount(); ++row)
        waiting.append(QPersistentModelIndex(devices->index(row, 0)));
    pollNext();
}

void PollCycle::abort()
{
    const bool wasRunning = running;
    running = false;
    pause.stop();
    waiting.clear();
    polling = QPersistentModelIndex();
    request = 0;
    if (wasRunning)
        emit aborted();
}

void PollCycle::pollNext()
{
    // Devices removed since the pass began are skipped: no request for them.
    while (!waiting.isEmpty() && !waiting.constFirst().isValid())
        waiting.removeFirst();
    if (waiting.isEmpty()) {
        running = false;
        emit finished();
        return;
    }
    polling = waiting.takeFirst();
    const ItemData record = readRecord(devices, polling.row());
    pollingMap = record.map;
    request = line->poll(int(record.address), requestsOf(pollingMap), pauseDeadline);
}

void PollCycle::store(const PollResult &result)
{
    if (!running || result.request != request)
        return;
    request = 0;
    // A device removed while its request was in flight: its outcome is dropped.
    if (polling.isValid()) {
        const int row = polling.row();
        ItemData record = readRecord(devices, row);
        // Decoded once, here: the tile, the row and every consumer take these numbers.
        const DecodedValues values = result.answered ? decodeRegisters(pollingMap, result.registers) : DecodedValues();
        const bool reading = result.answered && !values.failed();
        const int status = reading ? recordAnswer(record, values) : recordFailure(record);
        writeStatus(devices, row, status);
        writeRecord(devices, row, record);
        emit readingTaken(readingOf(record, status, result, values));
    }
    polling = QPersistentModelIndex();
    pauseDeadline = QDeadlineTimer(PauseAfterDeviceMs, Qt::PreciseTimer);
    pause.start();
}
