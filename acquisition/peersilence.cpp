#include "peersilence.h"

namespace {

constexpr qint64 SilentPeerMs = 10000;

} // namespace

void PeerSilence::requestSent()
{
    if (waiting)
        return;
    waiting = true;
    silence.start();
}

void PeerSilence::bytesCame()
{
    silence.start();
}

void PeerSilence::replyTaken()
{
    waiting = false;
}

bool PeerSilence::tooLong() const
{
    return waiting && silence.hasExpired(SilentPeerMs);
}
