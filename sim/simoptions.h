#pragma once

#include "transmitter.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>
#include <vector>

namespace sim {

struct SimOptions {
    std::vector<TransmitterConfig> slaves; // sorted by address, never empty
    QString devicePath;                    // empty: serve a new pseudo-terminal
    QString linkPath;
    QString statsFile;
    int baud = 0; // 0: reply at once, no wire-time emulation
    int bitsPerChar = 10;
    quint32 seed = 1;
    bool hostile = false;
    bool dieWithParent = false;
    int replugAfterMs = 5000; // a line pulled by SIGUSR1 comes back after this
    // Modbus TCP instead of a serial line: listen on this host (empty: every
    // address) and port (0: a free one).
    std::optional<int> tcpPort;
    QString tcpHost;
    int gatewayMs = -1; // >= 0: silent slaves answer 0x0B after this, over TCP
    // RTU frames over the TCP connection, as a transparent serial-to-Ethernet
    // converter passes them, instead of Modbus TCP.
    bool rtuOverTcp = false;
};

// Parses [HOST:]PORT, HOST being a name, an IPv4 address or an IPv6 address
// in brackets; on failure returns false and says why in `error`.
bool parseListenAddress(const QString &text, QString *host, int *port, QString *error);

// Parses ADDR[,key=value]...; on failure returns nothing and says why in `error`.
// map=NAME names one of `maps` or the built-in map.
std::optional<TransmitterConfig> parseSlaveSpec(const QString &spec, QString *error,
                                                const QMap<QString, RegisterMap> &maps = {});

struct CommandLine {
    enum class Action { Run, Help, Fail };
    Action action = Action::Fail;
    SimOptions options;
    QString message; // usage for Help, the complaint for Fail
};

// `arguments` starts with the program name.
CommandLine parseCommandLine(const QStringList &arguments);

} // namespace sim
