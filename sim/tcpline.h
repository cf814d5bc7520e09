#pragma once

#include "bus.h"
#include "replyqueue.h"
#include "rtuframer.h"
#include "serialline.h"
#include "shutdownsignals.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace sim {

// The simulated line reached over TCP. Through a gateway, requests come in
// MBAP framing and go to the bus with the unit identifier as slave address,
// replies come back with the request's transaction identifier. Through a
// transparent converter, RTU frames pass both ways as they are; a reply in
// two parts goes out in two TCP segments.
//
// One client is served at a time. A second one is accepted and disconnected
// at once, so its master sees the connection closed by the far end rather
// than requests that are never answered.
class TcpLine {
public:
    enum class Framing { Mbap, Rtu };

    // Listens on `host` (empty: every address, IPv6 and IPv4) at `port`
    // (0: a free one).
    static std::optional<TcpLine> listen(const QString &host, int port, Framing framing, QString *error);

    int port() const { return m_port; }

    // Serves clients until a signal arrives; on a pull the connection and the
    // replies not yet sent are dropped. `gatewayMs` >= 0 answers an MBAP
    // request that gets no good reply from the bus with exception 0x0B after
    // that long, as a gateway whose slave stays silent does.
    Bus::End serve(Bus &bus, int gatewayMs, const ShutdownSignals &shutdown, QString *error);

private:
    using Clock = Bus::Clock;

    TcpLine(FileDescriptor listener, int port, Framing framing);

    void accept();
    // False when the client has gone or sent, in MBAP framing, something that
    // is not Modbus TCP.
    bool readClient(Bus &bus, int gatewayMs, Clock::time_point now);
    bool takeMbapFrames(Bus &bus, int gatewayMs, Clock::time_point now);
    void takeRtuFrames(Bus &bus, Clock::time_point now);
    void handle(Bus &bus, int gatewayMs, const QByteArray &adu, Clock::time_point now);
    void handleRtu(Bus &bus, const QByteArray &frame, Clock::time_point now);
    void sendDue(Bus &bus, Clock::time_point now);
    void dropClient();

    FileDescriptor m_listener;
    FileDescriptor m_client;
    int m_port = 0;
    Framing m_framing = Framing::Mbap;
    QByteArray m_received;
    RtuFramer m_framer;
    ReplyQueue m_outgoing;
};

} // namespace sim
