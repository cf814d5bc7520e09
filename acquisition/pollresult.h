#pragma once

#include "registerdecoding.h"

#include <QMetaType>

// The outcome of one poll of a device: the requests its map asks for, sent
// back to back.
struct PollResult
{
    // The number the request was sent under; results are matched by it.
    quint64 request = 0;
    bool answered = false;
    // The line was lost when the request was made, or was lost by it.
    bool lineLost = false;
    // Every request answered: the registers of each, in the order sent.
    MapRegisters registers;
    // When the last answer or the time-out came, in milliseconds since the epoch.
    qint64 finishedAt = 0;
};
Q_DECLARE_METATYPE(PollResult)
