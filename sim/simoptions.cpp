#include "simoptions.h"

#include "mapfile.h"
#include "hostport.h"
#include "serialline.h"

#include <QCommandLineParser>

#include <algorithm>
#include <cmath>
#include <set>

namespace sim {

namespace {

constexpr int MaxAddress = 247;
constexpr int MaxDelayMs = 60000;

const char *const SpecHelp =
    "Modbus RTU transmitter simulator: serves slave addresses on a pseudo-terminal\n"
    "(or a serial device) and prints the device path a master should open as the\n"
    "first line of output. On SIGINT or SIGTERM it prints request statistics as one\n"
    "line of JSON and exits.\n"
    "\n"
    "SPEC = ADDR[,key=value]...  with ADDR 1..247 and keys:\n"
    "  pressure=<Pa> | pressure=wave:<mean>:<amplitude>:<period_s>\n"
    "                | pressure=steps:<Pa1>/<Pa2>/.../<PaN>:<dwell_s>\n"
    "                  each value held dwell_s seconds in turn from start-up, the\n"
    "                  last one for good: a pass that runs long stays on it, it\n"
    "                  does not start over\n"
    "  temp=<degC>   | temp=wave:<mean>:<amplitude>:<period_s>\n"
    "                | temp=steps:<degC1>/<degC2>/.../<degCN>:<dwell_s>\n"
    "  offset=<Pa>                              added to the pressure served\n"
    "  hysteresis=<Pa>                          0 or more: added while the pressure\n"
    "                  last rose (a step reached from a lower one, a sine on its way\n"
    "                  up), taken off while it last fell, nothing before it changes\n"
    "  regs=<r0>:<r1>:<r2>:<r3>:<r4>:<r5>:<r6>   raw registers (decimal or 0x hex)\n"
    "  fault=<kind>:<probability 0..1>          random, seeded by --seed\n"
    "  first=<kind>:<N>                         the first N requests\n"
    "  after=<kind>:<N>                         every request after the first N\n"
    "  every=<kind>:<k>                         every k-th request\n"
    "  delay=<ms>                               extra reply delay\n"
    "  map=<name>                               a register map of --map (default: the built-in one)\n"
    "Fault kinds: silent, crc, exception, foreign, truncated, split (the reply in two\n"
    "parts, the second 600..900 ms later: past a master's byte time-out).\n"
    "Without --slave, address 1 is served with 101325 Pa and 20.0 degC.\n"
    "A calibration bench, a true device, one reading 500 Pa high and one with\n"
    "3000 Pa of hysteresis, on steps of 30 s:\n"
    "  --slave 1,pressure=steps:0/500000/1000000/500000/0:30\n"
    "  --slave 2,pressure=steps:0/500000/1000000/500000/0:30,offset=500\n"
    "  --slave 5,pressure=steps:0/500000/1000000/500000/0:30,hysteresis=3000\n"
    "\n"
    "With --tcp the same slaves are served over Modbus TCP, as behind an Ethernet\n"
    "gateway: the unit identifier is the slave address, and the port listened on is\n"
    "the first line of output. One client is served at a time; a second one is\n"
    "disconnected as soon as it connects. Faults that leave no good reply on the\n"
    "serial side (silent, crc, truncated, foreign, an address nobody serves) send\n"
    "nothing back, or exception 0x0B after --gateway MS. SIGUSR1 closes the\n"
    "listening socket and the connection and listens again on the same port.\n"
    "\n"
    "With --tcp and --rtu-over-tcp the slaves are served as behind a transparent\n"
    "serial-to-Ethernet converter: RTU frames, CRC and all, pass over the TCP\n"
    "connection both ways, every fault as on the serial line; a split reply goes\n"
    "out in two TCP segments. SIGUSR1 drops the connection as a converter's reboot\n"
    "does.";

std::optional<double> parseNumber(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

std::optional<long long> parseInteger(const QString &text, long long low, long long high)
{
    bool ok = false;
    const long long value = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
        ? text.mid(2).toLongLong(&ok, 16)
        : text.toLongLong(&ok, 10);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

bool temperatureFits(double celsius)
{
    return std::isfinite(celsius) && std::abs(std::round(celsius * 10.0)) <= 32767.0;
}

std::optional<double> parseFinite(const QString &text)
{
    const auto value = parseNumber(text);
    return value && std::isfinite(*value) ? value : std::nullopt;
}

// "<v1>/<v2>/.../<vn>:<dwell_s>", the part after "steps:".
std::optional<Waveform> parseSteps(const QString &text)
{
    const QStringList parts = text.split(':');
    if (parts.size() != 2)
        return std::nullopt;
    std::vector<double> values;
    for (const QString &item : parts[0].split('/')) {
        const auto value = parseFinite(item);
        if (!value)
            return std::nullopt;
        values.push_back(*value);
    }
    const auto dwell = parseFinite(parts[1]);
    if (!dwell || *dwell <= 0.0)
        return std::nullopt;
    return Waveform::steps(std::move(values), *dwell);
}

// "wave:<mean>:<amplitude>:<period_s>", "steps:..." or a single constant.
std::optional<Waveform> parseWaveform(const QString &text, bool finiteOnly)
{
    if (text.startsWith(QLatin1String("steps:")))
        return parseSteps(text.mid(6));
    if (!text.startsWith(QLatin1String("wave:"))) {
        const auto value = parseNumber(text);
        if (!value || (finiteOnly && !std::isfinite(*value)))
            return std::nullopt;
        return Waveform{*value, 0.0, 0.0};
    }
    const QStringList parts = text.mid(5).split(':');
    if (parts.size() != 3)
        return std::nullopt;
    const auto mean = parseFinite(parts[0]);
    const auto amplitude = parseFinite(parts[1]);
    const auto period = parseFinite(parts[2]);
    if (!mean || !amplitude || !period || *period <= 0.0)
        return std::nullopt;
    return Waveform{*mean, *amplitude, *period};
}

std::optional<RegisterBlock> parseRegisters(const QString &text)
{
    const QStringList parts = text.split(':');
    if (parts.size() != RegisterCount)
        return std::nullopt;
    RegisterBlock registers{};
    for (int i = 0; i < RegisterCount; ++i) {
        const auto value = parseInteger(parts[i], 0, 0xFFFF);
        if (!value)
            return std::nullopt;
        registers[i] = static_cast<quint16>(*value);
    }
    return registers;
}

std::optional<FaultRule> parseFaultRule(const QString &key, const QString &value)
{
    const int colon = value.indexOf(':');
    if (colon < 0)
        return std::nullopt;
    const auto fault = injectableFault(value.left(colon));
    const QString amount = value.mid(colon + 1);
    if (!fault)
        return std::nullopt;

    FaultRule rule;
    rule.fault = *fault;
    if (key == QLatin1String("fault")) {
        const auto probability = parseNumber(amount);
        if (!probability || !(*probability >= 0.0 && *probability <= 1.0))
            return std::nullopt;
        rule.trigger = FaultRule::Trigger::Probability;
        rule.probability = *probability;
        return rule;
    }
    const bool every = key == QLatin1String("every");
    const auto count = parseInteger(amount, every ? 1 : 0, 1'000'000'000);
    if (!count)
        return std::nullopt;
    rule.trigger = every                           ? FaultRule::Trigger::Every
        : key == QLatin1String("first")            ? FaultRule::Trigger::First
                                                   : FaultRule::Trigger::After;
    rule.count = static_cast<int>(*count);
    return rule;
}

// Applies one key=value to `config`; false when the value is not acceptable.
bool applyKey(const QString &key, const QString &value, TransmitterConfig &config,
              const QMap<QString, RegisterMap> &maps)
{
    if (key == QLatin1String("map")) {
        config.map.reset();
        if (value == standardMapName())
            return true;
        const auto map = maps.constFind(value);
        if (map != maps.constEnd())
            config.map = *map;
        return config.map.has_value();
    }
    if (key == QLatin1String("pressure")) {
        // A constant may be any float, NaN and infinity included: masters must cope.
        const auto wave = parseWaveform(value, false);
        if (!wave)
            return false;
        config.pressure = *wave;
        return true;
    }
    if (key == QLatin1String("temp")) {
        const auto wave = parseWaveform(value, true);
        if (!wave)
            return false;
        const std::vector<double> extremes = wave->extremes();
        if (!std::all_of(extremes.cbegin(), extremes.cend(), temperatureFits))
            return false;
        config.temperature = *wave;
        return true;
    }
    if (key == QLatin1String("offset")) {
        const auto offset = parseFinite(value);
        if (offset)
            config.pressureOffset = *offset;
        return offset.has_value();
    }
    if (key == QLatin1String("hysteresis")) {
        const auto hysteresis = parseFinite(value);
        if (!hysteresis || *hysteresis < 0.0)
            return false;
        config.hysteresis = *hysteresis;
        return true;
    }
    if (key == QLatin1String("regs")) {
        config.rawRegisters = parseRegisters(value);
        return config.rawRegisters.has_value();
    }
    if (key == QLatin1String("fault") || key == QLatin1String("first") || key == QLatin1String("after")
        || key == QLatin1String("every")) {
        const auto rule = parseFaultRule(key, value);
        if (rule)
            config.faults.push_back(*rule);
        return rule.has_value();
    }
    if (key == QLatin1String("delay")) {
        const auto delay = parseInteger(value, 0, MaxDelayMs);
        if (delay)
            config.delayMs = static_cast<int>(*delay);
        return delay.has_value();
    }
    return false;
}

} // namespace

bool parseListenAddress(const QString &text, QString *host, int *port, QString *error)
{
    *error = QStringLiteral("--tcp needs [HOST:]PORT with PORT 0..65535, an IPv6 HOST in brackets");
    host->clear();
    std::optional<int> number;
    if (text.startsWith('[') || text.contains(':')) {
        const std::optional<HostPort> parsed = parseHostPort(text);
        if (!parsed || !parsed->hasPort)
            return false;
        *host = parsed->host;
        number = parsed->port();
    } else {
        number = portNumber(text);
    }
    if (!number)
        return false;
    *port = *number;
    return true;
}

std::optional<TransmitterConfig> parseSlaveSpec(const QString &spec, QString *error,
                                                const QMap<QString, RegisterMap> &maps)
{
    const QStringList items = spec.split(',');
    TransmitterConfig config;
    const auto address = parseInteger(items.first().trimmed(), 1, MaxAddress);
    if (!address) {
        *error = QStringLiteral("slave address must be 1..247 in '%1'").arg(spec);
        return std::nullopt;
    }
    config.address = static_cast<int>(*address);

    for (int i = 1; i < items.size(); ++i) {
        const QString item = items[i].trimmed();
        const int equals = item.indexOf('=');
        if (equals <= 0 || !applyKey(item.left(equals), item.mid(equals + 1), config, maps)) {
            *error = QStringLiteral("bad item '%1' in slave spec '%2'").arg(item, spec);
            return std::nullopt;
        }
    }
    if (config.map && config.rawRegisters) {
        *error = QStringLiteral("regs= holds the built-in layout's registers: not with map= in '%1'").arg(spec);
        return std::nullopt;
    }
    return config;
}

CommandLine parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(SpecHelp));
    const QCommandLineOption helpOption(QStringList{"h", "help"}, "Show this help.");
    const QCommandLineOption slaveOption("slave", "Serve a slave address (repeatable).", "SPEC");
    const QCommandLineOption deviceOption("device", "Serve an existing serial device instead of a pseudo-terminal.",
                                          "PATH");
    const QCommandLineOption linkOption("link", "Keep a symbolic link PATH to the served device while running.",
                                        "PATH");
    const QCommandLineOption baudOption(
        "baud", "Emulate the wire time of requests and replies at N baud (and set a --device to it).", "N");
    const QCommandLineOption bitsOption("bits-per-char", "Bits per character on the wire, 9..12 (default 10, 8N1).",
                                        "N", "10");
    const QCommandLineOption seedOption("seed", "Seed of the random faults (default 1).", "N", "1");
    const QCommandLineOption hostileOption("hostile", "Answer every request with a misbehaving reply.");
    const QCommandLineOption statsOption("stats-file", "Also write the exit statistics to PATH.", "PATH");
    const QCommandLineOption parentOption("die-with-parent", "Exit as on SIGTERM when the parent process dies.");
    const QCommandLineOption replugOption(
        "replug-after",
        "SIGUSR1 pulls the line: the pseudo-terminal is dropped and a new one is served behind the same --link "
        "MS milliseconds later (default 5000), or at once on the next SIGUSR1.",
        "MS", "5000");
    const QCommandLineOption tcpOption(
        "tcp", "Serve over Modbus TCP on [HOST:]PORT instead of a serial line (PORT 0: a free one; HOST: every "
        "address unless given).", "[HOST:]PORT");
    const QCommandLineOption gatewayOption(
        "gateway", "With --tcp: answer a request that gets no good reply with exception 0x0B after MS "
        "milliseconds, as a gateway does.", "MS");
    const QCommandLineOption rtuOverTcpOption(
        "rtu-over-tcp", "With --tcp: pass RTU frames over the connection, as a transparent serial-to-Ethernet "
        "converter does, instead of Modbus TCP.");
    const QCommandLineOption mapOption(
        "map", "A register map for slaves given map=NAME: the JSON of a map in a device-list file (repeatable).",
        "FILE");
    parser.addOptions({helpOption, slaveOption, deviceOption, linkOption, baudOption, bitsOption, seedOption,
                       hostileOption, statsOption, parentOption, replugOption, tcpOption, gatewayOption,
                       rtuOverTcpOption, mapOption});

    CommandLine result;
    if (!parser.parse(arguments)) {
        result.message = parser.errorText();
        return result;
    }
    if (parser.isSet(helpOption)) {
        result.action = CommandLine::Action::Help;
        result.message = parser.helpText();
        return result;
    }
    const QStringList positional = parser.positionalArguments();
    if (!positional.isEmpty()) {
        result.message = QStringLiteral("unexpected argument '%1'").arg(positional.first());
        return result;
    }

    SimOptions &options = result.options;
    QMap<QString, RegisterMap> maps;
    for (const QString &path : parser.values(mapOption)) {
        const auto map = readMapFile(path, &result.message);
        if (!map)
            return result;
        if (maps.contains(map->name)) {
            result.message = QStringLiteral("map %1 given twice").arg(map->name);
            return result;
        }
        maps.insert(map->name, *map);
    }
    std::set<int> addresses;
    const QStringList specs = parser.values(slaveOption);
    for (const QString &spec : specs) {
        const auto config = parseSlaveSpec(spec, &result.message, maps);
        if (!config)
            return result;
        if (!addresses.insert(config->address).second) {
            result.message = QStringLiteral("slave address %1 given twice").arg(config->address);
            return result;
        }
        options.slaves.push_back(*config);
    }
    if (options.slaves.empty())
        options.slaves.emplace_back();
    std::sort(options.slaves.begin(), options.slaves.end(),
              [](const TransmitterConfig &a, const TransmitterConfig &b) { return a.address < b.address; });

    if (parser.isSet(baudOption)) {
        const auto baud = parseInteger(parser.value(baudOption), 1, 4'000'000);
        if (!baud) {
            result.message = QStringLiteral("--baud needs a rate of 1..4000000");
            return result;
        }
        options.baud = static_cast<int>(*baud);
    }
    const auto bits = parseInteger(parser.value(bitsOption), 9, 12);
    if (!bits) {
        result.message = QStringLiteral("--bits-per-char needs 9..12");
        return result;
    }
    options.bitsPerChar = static_cast<int>(*bits);
    const auto seed = parseInteger(parser.value(seedOption), 0, 0xFFFFFFFFLL);
    if (!seed) {
        result.message = QStringLiteral("--seed needs an integer 0..4294967295");
        return result;
    }
    options.seed = static_cast<quint32>(*seed);

    const auto replugAfter = parseInteger(parser.value(replugOption), 0, 3'600'000);
    if (!replugAfter) {
        result.message = QStringLiteral("--replug-after needs 0..3600000 milliseconds");
        return result;
    }
    options.replugAfterMs = static_cast<int>(*replugAfter);

    options.devicePath = parser.value(deviceOption);
    if (!options.devicePath.isEmpty() && options.baud > 0 && !termiosSpeed(options.baud)) {
        result.message = QStringLiteral("a serial device cannot run at %1 baud").arg(options.baud);
        return result;
    }
    options.linkPath = parser.value(linkOption);
    if (parser.isSet(tcpOption)) {
        int port = 0;
        if (!parseListenAddress(parser.value(tcpOption), &options.tcpHost, &port, &result.message))
            return result;
        options.tcpPort = port;
        if (!options.devicePath.isEmpty() || !options.linkPath.isEmpty()) {
            result.message = QStringLiteral("--tcp serves no serial device: it takes neither --device nor --link");
            return result;
        }
    }
    if (parser.isSet(gatewayOption)) {
        const auto gateway = parseInteger(parser.value(gatewayOption), 0, MaxDelayMs);
        if (!gateway || !options.tcpPort) {
            result.message = QStringLiteral("--gateway needs --tcp and 0..60000 milliseconds");
            return result;
        }
        options.gatewayMs = static_cast<int>(*gateway);
    }
    if (parser.isSet(rtuOverTcpOption)) {
        // A converter knows nothing of Modbus: it never answers for a slave.
        if (!options.tcpPort || options.gatewayMs >= 0) {
            result.message = QStringLiteral("--rtu-over-tcp needs --tcp and takes no --gateway");
            return result;
        }
        options.rtuOverTcp = true;
    }
    options.statsFile = parser.value(statsOption);
    options.hostile = parser.isSet(hostileOption);
    options.dieWithParent = parser.isSet(parentOption);
    result.action = CommandLine::Action::Run;
    return result;
}

} // namespace sim
