// The cost of decoding one answer through a register map, for every data
// type and byte order, beside the fixed seven-register decoding the built-in
// map replaces: the median of 31 runs of 200000 decodings each, in
// nanoseconds of the thread's own CPU time per decoding (the machine may be
// busy with other work). No line, no simulator.
//   build/bench/velmora-decodebench
#include "inputregisters.h"
#include "registerdecoding.h"
#include "registermap.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr int Repeats = 31;
constexpr int Decodings = 200000;

double cpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e9 + double(now.tv_nsec);
}

// Median nanoseconds per call of `decode`, which returns a number to keep.
template <typename Decode>
double medianNs(Decode decode)
{
    std::vector<double> times;
    volatile float sink = 0;
    for (int run = 0; run < Repeats; ++run) {
        const double start = cpuNs();
        float sum = 0;
        for (int i = 0; i < Decodings; ++i)
            sum += decode(i);
        times.push_back((cpuNs() - start) / Decodings);
        sink = sink + sum;
    }
    std::nth_element(times.begin(), times.begin() + Repeats / 2, times.end());
    return times[Repeats / 2];
}

constexpr int DecimalsRegister = 10;
constexpr int UnitRegister = 11;

// Values 0x4120 (10.0 as a float's high word), and 2 in the decimals and
// unit registers.
MapRegisters readOf(const RegisterMap &map)
{
    MapRegisters read;
    read.ranges = registerRanges(map);
    for (const RegisterRange &range : qAsConst(read.ranges)) {
        for (int address = range.start; address < range.end(); ++address)
            read.values.append(address >= DecimalsRegister ? quint16(2) : quint16(0x4120));
    }
    return read;
}

double mapNs(const RegisterMap &map)
{
    const MapRegisters read = readOf(map);
    return medianNs([&](int) { return decodeRegisters(map, read).pressurePa; });
}

} // namespace

int main()
{
    const InputRegisters fixed{0xE680, 0x47C5, 0, 0, 0, 0, 235};
    const double fixedNs = medianNs([&](int) {
        const float pascals = pressureFromRegisters(fixed);
        const float celsius = temperatureFromRegisters(fixed);
        return (isValidPressure(pascals) ? pascals : 0.0f) + (isValidTemperature(celsius) ? celsius : 0.0f);
    });
    const double standardNs = mapNs(standardMap());
    std::printf("fixed layout             %7.1f ns\n", fixedNs);
    std::printf("标准 map                 %7.1f ns  (x%.2f)\n", standardNs, standardNs / fixedNs);

    const struct {
        ValueType type;
        const char *name;
    } types[] = {{ValueType::Int16, "INT16"},
                 {ValueType::UInt16, "UINT16"},
                 {ValueType::Int32, "INT32"},
                 {ValueType::UInt32, "UINT32"},
                 {ValueType::Float32, "FLOAT32"}};
    const struct {
        ByteOrder order;
        const char *name;
    } orders[] = {{ByteOrder::ABCD, "ABCD"}, {ByteOrder::CDAB, "CDAB"}, {ByteOrder::BADC, "BADC"},
                  {ByteOrder::DCBA, "DCBA"}};
    for (const auto &type : types) {
        RegisterMap map;
        map.name = QStringLiteral("bench");
        map.pressure.type = type.type;
        map.pressure.unit = QStringLiteral("KPa");
        map.pressure.scale = 0.01;
        MapField temperature;
        temperature.address = 2;
        temperature.type = type.type;
        temperature.unit = celsiusUnit();
        map.temperature = temperature;
        const int orderCount = map.pressure.registerCount() == 2 ? 4 : 1;
        for (int o = 0; o < orderCount; ++o) {
            map.pressure.byteOrder = orders[o].order;
            map.temperature->byteOrder = orders[o].order;
            std::printf("%-7s %-4s, scaled, kPa %7.1f ns\n", type.name, orderCount == 4 ? orders[o].name : "",
                        mapNs(map));
        }
        map.pressure.decimalsRegister = DecimalsRegister;
        map.pressure.unit.clear();
        map.pressure.unitRegister = UnitRegister;
        map.pressure.unitCodes = {{2, QStringLiteral("Bar")}};
        std::printf("%-7s decimals and unit regs %7.1f ns\n", type.name, mapNs(map));
    }
    return 0;
}
