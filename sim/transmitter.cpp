#include "transmitter.h"

#include "hostile.h"
#include "mapencoding.h"

#include <cmath>
#include <cstring>

namespace sim {

namespace {
constexpr double Pi = 3.14159265358979323846;
}

Waveform::Waveform(double mean, double amplitude, double periodSeconds)
    : mean(mean)
    , amplitude(amplitude)
    , periodSeconds(periodSeconds)
{
}

Waveform Waveform::steps(std::vector<double> values, double dwellSeconds)
{
    Waveform wave;
    wave.stepValues = std::move(values);
    wave.dwellSeconds = dwellSeconds;
    return wave;
}

int Waveform::stepIndexAt(double seconds) const
{
    const double index = std::floor(seconds / dwellSeconds);
    const auto last = static_cast<double>(stepValues.size() - 1);
    return static_cast<int>(qBound(0.0, index, last));
}

double Waveform::valueAt(double seconds) const
{
    if (!stepValues.empty())
        return stepValues[stepIndexAt(seconds)];
    if (amplitude == 0.0 || periodSeconds <= 0.0)
        return mean;
    return mean + amplitude * std::sin(2.0 * Pi * seconds / periodSeconds);
}

int Waveform::trendAt(double seconds) const
{
    if (!stepValues.empty()) {
        // A step equal to the one before it changes nothing: look further back.
        for (int i = stepIndexAt(seconds); i > 0; --i) {
            if (stepValues[i] != stepValues[i - 1])
                return stepValues[i] > stepValues[i - 1] ? 1 : -1;
        }
        return 0;
    }
    if (amplitude == 0.0 || periodSeconds <= 0.0 || seconds <= 0.0)
        return 0;
    // By the phase rather than the sign of the cosine, so that at a crest or a
    // trough the way it came still counts.
    const double cycles = seconds / periodSeconds;
    const double phase = cycles - std::floor(cycles);
    const int sineTrend = phase > 0.25 && phase <= 0.75 ? -1 : 1;
    return amplitude > 0.0 ? sineTrend : -sineTrend;
}

std::vector<double> Waveform::extremes() const
{
    if (!stepValues.empty())
        return stepValues;
    return {mean - std::abs(amplitude), mean + std::abs(amplitude)};
}

std::pair<quint16, quint16> encodePressure(float pascals)
{
    quint32 bits = 0;
    static_assert(sizeof bits == sizeof pascals, "IEEE-754 single precision expected");
    std::memcpy(&bits, &pascals, sizeof bits);
    return {static_cast<quint16>(bits & 0xFFFF), static_cast<quint16>(bits >> 16)};
}

quint16 encodeTemperature(double celsius)
{
    const double tenths = std::round(celsius * 10.0);
    const auto clamped = static_cast<qint16>(qBound(-32768.0, tenths, 32767.0));
    return static_cast<quint16>(clamped);
}

double servedPressureAt(const TransmitterConfig &config, double seconds)
{
    return config.pressure.valueAt(seconds) + config.pressureOffset
        + config.pressure.trendAt(seconds) * config.hysteresis;
}

RegisterBlock registersAt(const TransmitterConfig &config, double seconds)
{
    if (config.rawRegisters)
        return *config.rawRegisters;
    RegisterBlock registers{};
    const auto [low, high] = encodePressure(static_cast<float>(servedPressureAt(config, seconds)));
    registers[0] = low;
    registers[1] = high;
    registers[6] = encodeTemperature(config.temperature.valueAt(seconds));
    return registers;
}

Transmitter::Transmitter(TransmitterConfig config, quint32 seed)
    : m_config(std::move(config))
    , m_schedule(m_config.faults, seed)
    , m_splitRandom(~seed)
{
}

Reply Transmitter::respond(const QByteArray &request, double seconds)
{
    return injectFault(m_schedule.next(), request, answer(request, seconds), m_splitRandom);
}

Reply Transmitter::respondHostile(const QByteArray &request, double seconds, std::mt19937 &random) const
{
    return hostileReply(answer(request, seconds).frame, random);
}

Answer Transmitter::answer(const QByteArray &request, double seconds) const
{
    if (m_config.map) {
        return answerRequest(request, encodeWithMap(*m_config.map, servedPressureAt(m_config, seconds),
                                                    m_config.temperature.valueAt(seconds)));
    }
    return answerRequest(request, registersAt(m_config, seconds));
}

} // namespace sim
