#include "acquisition/pollrecord.h"

#include "acquisition/pressureunits.h"
#include "acquisition/readingtext.h"

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
