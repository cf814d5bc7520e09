#pragma once

#include <QElapsedTimer>

// Whether a peer reached over TCP has gone quiet for good while its
// connection stays open (a pulled cable on the far side of a gateway or a
// converter, a peer that hangs): it has sent nothing for 10 s while a request
// waits. Silence is counted since the last byte from the peer, or since a
// request began to wait while nothing was waiting before, whichever is later.
class PeerSilence
{
public:
    void requestSent();
    void bytesCame();
    // The reply to the request waiting came: nothing waits any more.
    void replyTaken();
    bool tooLong() const;

private:
    QElapsedTimer silence;
    bool waiting = false;
};
