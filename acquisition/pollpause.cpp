#include "acquisition/pollpause.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <chrono>
#include <thread>

namespace {

// The event dispatcher waits in whole milliseconds, rounded up, which would
// stretch every pause by up to one. The last few are slept on the precise
// clock instead.
constexpr qint64 NsPerMs = 1000000;
constexpr qint64 PreciseTailNs = 2 * NsPerMs;

} // namespace

void pauseWithEvents(int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds, Qt::PreciseTimer);
    // Wakes the wait below if nothing else arrives.
    QTimer wakeUp;
    wakeUp.setSingleShot(true);
    wakeUp.setTimerType(Qt::PreciseTimer);
    for (qint64 left = deadline.remainingTimeNSecs(); left >= PreciseTailNs + NsPerMs;
         left = deadline.remainingTimeNSecs()) {
        wakeUp.start(int((left - PreciseTailNs) / NsPerMs));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    std::this_thread::sleep_for(std::chrono::nanoseconds(deadline.remainingTimeNSecs()));
    // Whatever arrived during that last stretch.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}
