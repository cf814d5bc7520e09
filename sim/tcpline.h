#pragma once

#include "bus.h"
#include "serialline.h"
#include "shutdownsignals.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <optional>

namespace sim {

// The simulated line reached over Modbus TCP, as through a gateway: requests
// in MBAP framing go to the bus with the unit identifier as slave address,
// replies come back with the request's transaction identifier.
//
// One client is served at a time. A second one is accepted and disconnected
// at once, so its master sees the connection closed by the far end rather
// than requests that are never answered.
class TcpLine {
public:
    // Listens on `host` (empty: every address, IPv6 and IPv4) at `port`
    // (0: a free one).
    static std::optional<TcpLine> listen(const QString &host, int port, QString *error);

    int port() const { return m_port; }

    // Serves clients until a signal arrives; on a pull the connection and the
    // replies not yet sent are dropped. `gatewayMs` >= 0 answers a request
    // that gets no good reply from the bus with exception 0x0B after that
    // long, as a gateway whose slave stays silent does.
    Bus::End serve(Bus &bus, int gatewayMs, const ShutdownSignals &shutdown, QString *error);

private:
    using Clock = Bus::Clock;

    struct Outgoing {
        QByteArray bytes;
        int address = 0;
        bool isAnswer = false;
    };

    TcpLine(FileDescriptor listener, int port);

    void accept();
    // False when the client has gone or sent something that is not Modbus TCP.
    bool readClient(Bus &bus, int gatewayMs, Clock::time_point now);
    void handle(Bus &bus, int gatewayMs, const QByteArray &adu, Clock::time_point now);
    void sendDue(Bus &bus, Clock::time_point now);
    void dropClient();

    FileDescriptor m_listener;
    FileDescriptor m_client;
    int m_port = 0;
    QByteArray m_received;
    std::multimap<Clock::time_point, Outgoing> m_outgoing;
};

} // namespace sim
