#include "pollrecord.h"

#include "failureshare.h"
#include "readingtext.h"
#include "units.h"

#include <QDateTime>

#include <limits>

namespace {

constexpr quint32 PollsBeforeJudging = 20;
constexpr double NotANumber = std::numeric_limits<double>::quiet_NaN();

} // namespace

int statusAfterSuccess(quint32 failCount, quint32 totalCount)
{
    if (totalCount > PollsBeforeJudging && exceedsFailureShare(failCount, totalCount))
        return Poor;
    return Good;
}

int recordAnswer(ItemData &record, const InputRegisters &registers)
{
    ++record.totalCount;
    const float pressure = convertPressure(pressureFromRegisters(registers), record.unit);
    const float temperature = temperatureFromRegisters(registers);
    record.pressureInvalid = !isValidPressure(pressure);
    record.temperatureInvalid = !isValidTemperature(temperature);
    record.pressureText = record.pressureInvalid ? QString() : formatPressure(pressure, record.decimals);
    record.temperatureText = record.temperatureInvalid ? QString() : formatTemperature(temperature);
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
    reading.lineLost = result.lineLost;
    if (result.answered) {
        const float pascals = pressureFromRegisters(result.registers);
        const float pressure = convertPressure(pascals, record.unit);
        const float temperature = temperatureFromRegisters(result.registers);
        // The very value the tile's text is formatted from; no reading is NaN.
        const bool hasPressure = isValidPressure(pressure);
        reading.pressurePa = hasPressure ? double(pascals) : NotANumber;
        reading.pressure = hasPressure ? double(pressure) : NotANumber;
        reading.temperature = isValidTemperature(temperature) ? double(temperature) : NotANumber;
    }
    reading.unit = record.unit;
    reading.decimals = record.decimals;
    reading.status = status;
    reading.failCount = record.failCount;
    reading.totalCount = record.totalCount;
    return reading;
}
