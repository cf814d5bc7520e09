#pragma once

#include <QList>
#include <QObject>
#include <QString>

// One pull of the simulator's line: when it is due after the start and for
// how long, and when the signals went out (milliseconds since the epoch, -1
// until sent).
struct LinePull
{
    qint64 atMs = 0;
    int forMs = 0;
    qint64 pulledMs = -1;
    qint64 pluggedMs = -1;
};

// A pull every `everyMs` from the start, each lasting 10 to 30 s drawn from
// `seed`. A pull is made only when it is plugged back in time for the window
// to find the line again and poll a while before `runMs` is up.
QList<LinePull> pullSchedule(qint64 everyMs, qint64 runMs, quint32 seed);

// Pulls velmora-sim's line as scheduled with SIGUSR1 and plugs it back with
// a second one: the simulator, started with a long --replug-after, serves a
// new line behind its --link only then.
class LinePuller
{
public:
    LinePuller(qint64 processId, const QList<LinePull> &schedule);

    QList<LinePull> pulls() const { return m_pulls; }
    // Empty unless a signal could not be sent.
    QString failure() const { return m_failure; }

private:
    void send(int index, bool pull);

    const qint64 m_processId;
    QObject m_context;
    QList<LinePull> m_pulls;
    QString m_failure;
};
