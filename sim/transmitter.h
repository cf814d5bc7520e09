#pragma once

#include "fault.h"
#include "faultschedule.h"
#include "registermap.h"
#include "slaveanswer.h"

#include <QByteArray>
#include <QtGlobal>

#include <optional>
#include <random>
#include <utility>
#include <vector>

namespace sim {

// A constant when amplitude is 0, otherwise mean + amplitude * sin(2*pi*t/period);
// or, made by steps(), a staircase: each value held for dwellSeconds from
// start-up in turn, the last one for good.
struct Waveform {
    Waveform(double mean = 0.0, double amplitude = 0.0, double periodSeconds = 0.0);
    // `values` not empty, `dwellSeconds` > 0.
    static Waveform steps(std::vector<double> values, double dwellSeconds);

    double valueAt(double seconds) const;
    // +1 when the value had last changed upward at `seconds`, -1 when it last
    // changed downward, 0 while it has not changed yet (a constant, a sine at
    // start-up, the first step).
    int trendAt(double seconds) const;
    // The values it reaches at its highest and lowest: every step of a staircase.
    std::vector<double> extremes() const;

    double mean;
    double amplitude;
    double periodSeconds;
    std::vector<double> stepValues; // not empty: a staircase, the sine unused
    double dwellSeconds = 0.0;

private:
    int stepIndexAt(double seconds) const;
};

// Registers 0 and 1: low and high halves of the IEEE-754 single-precision bit pattern.
std::pair<quint16, quint16> encodePressure(float pascals);
// Register 6: tenths of a degree as a signed 16-bit value, clamped to its range.
quint16 encodeTemperature(double celsius);

struct TransmitterConfig {
    int address = 1;
    Waveform pressure{101325.0, 0.0, 0.0};
    Waveform temperature{20.0, 0.0, 0.0};
    // A device under test: reads this much high, and by hysteresis more while
    // its pressure last rose, less while it last fell.
    double pressureOffset = 0.0;
    double hysteresis = 0.0;
    std::optional<RegisterBlock> rawRegisters; // overrides pressure and temperature
    // Read with another layout than the built-in one: pressure and
    // temperature encoded with this map, rawRegisters unused.
    std::optional<RegisterMap> map;
    std::vector<FaultRule> faults;
    int delayMs = 0;
};

// The pressure the device serves: its waveform with its offset and hysteresis.
double servedPressureAt(const TransmitterConfig &config, double seconds);

RegisterBlock registersAt(const TransmitterConfig &config, double seconds);

// One slave on the line: its register map and its fault schedule.
class Transmitter {
public:
    Transmitter(TransmitterConfig config, quint32 seed);

    int address() const { return m_config.address; }
    int delayMs() const { return m_config.delayMs; }

    // The reply to a request with a valid CRC, `seconds` after start-up,
    // with the fault the schedule picks for it.
    Reply respond(const QByteArray &request, double seconds);
    // A misbehaving reply chosen by the line's own random generator.
    Reply respondHostile(const QByteArray &request, double seconds, std::mt19937 &random) const;

private:
    Answer answer(const QByteArray &request, double seconds) const;

    TransmitterConfig m_config;
    FaultSchedule m_schedule;
    std::mt19937 m_splitRandom; // apart from the schedule's, so shapes do not shift which faults come
};

} // namespace sim
