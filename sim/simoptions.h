#pragma once

#include "transmitter.h"

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
};

// Parses ADDR[,key=value]...; on failure returns nothing and says why in `error`.
std::optional<TransmitterConfig> parseSlaveSpec(const QString &spec, QString *error);

struct CommandLine {
    enum class Action { Run, Help, Fail };
    Action action = Action::Fail;
    SimOptions options;
    QString message; // usage for Help, the complaint for Fail
};

// `arguments` starts with the program name.
CommandLine parseCommandLine(const QStringList &arguments);

} // namespace sim
