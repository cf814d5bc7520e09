#include "transmitter.h"

#include "hostile.h"
#include "mapencoding.h"

#include <cmath>
#include <cstring>

namespace sim {

namespace {
constexpr double Pi = 3.14159265358979323846;
}

double Waveform::valueAt(double seconds) const
{
    if (amplitude == 0.0 || periodSeconds <= 0.0)
        return mean;
    return mean + amplitude * std::sin(2.0 * Pi * seconds / periodSeconds);
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

RegisterBlock registersAt(const TransmitterConfig &config, double seconds)
{
    if (config.rawRegisters)
        return *config.rawRegisters;
    RegisterBlock registers{};
    const auto [low, high] = encodePressure(static_cast<float>(config.pressure.valueAt(seconds)));
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
        return answerRequest(request, encodeWithMap(*m_config.map, m_config.pressure.valueAt(seconds),
                                                    m_config.temperature.valueAt(seconds)));
    }
    return answerRequest(request, registersAt(m_config, seconds));
}

} // namespace sim
