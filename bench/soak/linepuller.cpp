#include "linepuller.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace {

constexpr int ShortestPullMs = 10000;
constexpr int LongestPullMs = 30000;
// The window tries the lost line again at most 10 s apart, then needs a cycle
// or two to poll every device.
constexpr qint64 SettleMs = 20000;

} // namespace

QList<LinePull> pullSchedule(qint64 everyMs, qint64 runMs, quint32 seed)
{
    QList<LinePull> schedule;
    if (everyMs <= 0)
        return schedule;
    QRandomGenerator random(seed);
    for (qint64 at = everyMs; at < runMs; at += everyMs) {
        const int forMs = ShortestPullMs + int(random.bounded(LongestPullMs - ShortestPullMs + 1));
        if (at + forMs + SettleMs > runMs)
            break;
        schedule << LinePull{at, forMs, -1, -1};
    }
    return schedule;
}

LinePuller::LinePuller(qint64 processId, const QList<LinePull> &schedule)
    : m_processId(processId)
    , m_pulls(schedule)
{
    for (int i = 0; i < m_pulls.size(); ++i) {
        QTimer::singleShot(int(m_pulls.at(i).atMs), Qt::PreciseTimer, &m_context, [this, i] {
            send(i, true);
            QTimer::singleShot(m_pulls.at(i).forMs, Qt::PreciseTimer, &m_context, [this, i] { send(i, false); });
        });
    }
}

void LinePuller::send(int index, bool pull)
{
    if (m_processId <= 0 || ::kill(pid_t(m_processId), SIGUSR1) != 0) {
        if (m_failure.isEmpty())
            m_failure = QStringLiteral("cannot signal velmora-sim: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    (pull ? m_pulls[index].pulledMs : m_pulls[index].pluggedMs) = QDateTime::currentMSecsSinceEpoch();
}
