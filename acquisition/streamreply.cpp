#include "streamreply.h"

#include "descriptorio.h"

#include <QDeadlineTimer>

TransactionOutcome awaitStreamReply(int socket, int timeoutMs, QByteArray &received, PeerSilence &silence,
                                    const std::function<std::optional<TransactionOutcome>()> &take)
{
    const QDeadlineTimer deadline(timeoutMs);
    int error = 0;
    for (;;) {
        if (const auto outcome = take())
            return *outcome;
        if (deadline.hasExpired())
            break;
        switch (readAvailable(socket, int(deadline.remainingTime()), received, &error)) {
        case ReadOutcome::Failed:
            return TransactionOutcome::LineGone;
        case ReadOutcome::TimedOut:
            break;
        case ReadOutcome::Bytes:
            silence.bytesCame();
            break;
        }
    }
    return silence.tooLong() ? TransactionOutcome::LineGone : TransactionOutcome::NoReply;
}
