#include "pollrecord.h"

#include "failureshare.h"
#include "readingtext.h"
#include "units.h"

#include <QDateTime>

#include <cmath>
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

int recordAnswer(ItemData &record, const DecodedValues &values)
{
    ++record.totalCount;
    const float pressure = convertPressure(values.pressurePa, record.unit);
    record.pressureInvalid = !isValidPressure(pressure);
    record.temperatureInvalid = values.hasTemperature && std::isnan(values.temperature);
    record.pressureText = record.pressureInvalid ? QString() : formatPressure(pressure, record.decimals);
    record.temperatureText = values.hasTemperature && !record.temperatureInvalid
                                 ? formatTemperature(values.temperature)
                                 : QString();
    return statusAfterSuccess(record.failCount, record.totalCount);
}

int recordAnswer(ItemData &record, const InputRegisters &registers)
{
    const MapRegisters read{{{0, InputRegisterCount}}, QVector<quint16>(registers.cbegin(), registers.cend())};
    return recordAnswer(record, decodeRegisters(standardMap(), read));
}

int recordFailure(ItemData &record)
{
    ++record.totalCount;
    ++record.failCount;
    return Offline;
}

Reading readingOf(const ItemData &record, int status, const PollResult &result, const DecodedValues &values)
{
    Reading reading;
    reading.address = record.address;
    reading.time = QDateTime::fromMSecsSinceEpoch(result.finishedAt);
    reading.answered = result.answered && !values.failed();
    reading.lineLost = result.lineLost;
    if (reading.answered) {
        const float pressure = convertPressure(values.pressurePa, record.unit);
        // The very value the tile's text is formatted from; no reading is NaN.
        const bool hasPressure = isValidPressure(pressure);
        reading.pressurePa = hasPressure ? double(values.pressurePa) : NotANumber;
        reading.pressure = hasPressure ? double(pressure) : NotANumber;
        reading.temperature = values.hasTemperature ? double(values.temperature) : NotANumber;
    }
    reading.unit = record.unit;
    reading.decimals = record.decimals;
    reading.status = status;
    reading.failCount = record.failCount;
    reading.totalCount = record.totalCount;
    return reading;
}
