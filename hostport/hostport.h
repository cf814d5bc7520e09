#pragma once

#include <QString>

#include <optional>

// A host and maybe a port, as typed: `host`, `host:port`, `[v6]` or
// `[v6]:port`. The host is a name or an IPv4 address (ASCII letters, digits,
// '-', '_' and '.') or an IPv6 address in brackets; the port, when a colon
// follows the host, is nothing but decimal digits, maybe none at all. What
// a port may be beyond that, and whether one is needed, each reader decides.
struct HostPort
{
    QString host; // without brackets
    bool hasPort = false;
    QString portText; // the digits after the colon, as typed

    // The port as 0..65535; nothing for no digits or too many.
    std::optional<int> port() const;
};

// Nothing when `text` is not of one of the forms above; spaces are never part
// of one.
std::optional<HostPort> parseHostPort(const QString &text);

// 0..65535 written in one to five decimal digits; nothing for anything else.
std::optional<int> portNumber(const QString &text);
