#include "acquisition/pollrecord.h"

#include "acquisition/pressureunits.h"
#include "acquisition/readingtext.h"

#include <QDateTime>

namespace {

constexpr quint32 PollsBeforeJudging = 20;
constexpr double PoorFailureShare = 0.05;

} // namespace

int statusAfterSuccess(quint32 failCount, quint32 totalCount)
{
    if (totalCount > PollsBeforeJudging && double(failCount) / double(totalCount) > PoorFailureShare)
        return Poor;
    return Good;
}

int recordAnswer(ItemData &record, const InputRegisters &registers)
{
    ++record.totalCount;
    const float pressure = convertPressure(pressureFromRegisters(registers), record.unit);
    record.pressureText = formatPressure(pressure, record.decimals);
    record.temperatureText = formatTemperature(temperatureFromRegisters(registers));
    return statusAfterSuccess(record.failCount, record.totalCount);
}

int recordFailure(ItemData &record)
{
    ++record.totalCount;
    ++record.failCount;
    return Offline;
}

Reading readingOf(const ItemData &record, int status, const PollResult &result)
{
    Reading reading;
    reading.address = record.address;
    reading.time = QDateTime::fromMSecsSinceEpoch(result.finishedAt);
    reading.answered = result.answered;
    if (result.answered) {
        const float pascals = pressureFromRegisters(result.registers);
        reading.pressurePa = double(pascals);
        // The very value the tile's text is formatted from.
        reading.pressure = double(convertPressure(pascals, record.unit));
        reading.temperature = double(temperatureFromRegisters(result.registers));
    }
    reading.unit = record.unit;
    reading.decimals = record.decimals;
    reading.status = status;
    reading.failCount = record.failCount;
    reading.totalCount = record.totalCount;
    return reading;
}
