#pragma once

#include "peersilence.h"
#include "registertransport.h"

#include <QByteArray>

#include <functional>
#include <optional>

// Waits on a TCP socket for the reply to the request just sent: what comes
// is added to `received` and handed to `take`, which gives the outcome once
// the reply, or a stream that cannot be read on, is in it. A connection that
// fails is gone; a wait that runs out is no reply, unless the peer has now
// been silent too long for its connection to be trusted.
TransactionOutcome awaitStreamReply(int socket, int timeoutMs, QByteArray &received, PeerSilence &silence,
                                    const std::function<std::optional<TransactionOutcome>()> &take);
