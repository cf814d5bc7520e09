#pragma once

#include "inputregisters.h"

#include <QMetaType>

// The outcome of one request for a device's input registers.
struct PollResult
{
    // The number the request was sent under; results are matched by it.
    quint64 request = 0;
    bool answered = false;
    // The line was lost when the request was made, or was lost by it.
    bool lineLost = false;
    InputRegisters registers{};
    // When the answer or the time-out came, in milliseconds since the epoch.
    qint64 finishedAt = 0;
};
Q_DECLARE_METATYPE(PollResult)
