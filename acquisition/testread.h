#pragma once

#include "registerdecoding.h"
#include "registertransport.h"

#include <QMetaType>

// The outcome of reading one address once with a map, as an engineer does
// to learn how a new transmitter answers: the registers, or where and how
// it went wrong.
struct TestReadResult
{
    // The number the request was sent under; results are matched by it.
    quint64 request = 0;
    // Answered when every request of the map was; otherwise how the first
    // that was not went. NotSent: the line is not open (or lost).
    TransactionOutcome outcome = TransactionOutcome::NotSent;
    // The request that went wrong, when one did.
    RegisterRequest failedRequest;
    // From a slave's or a gateway's exception reply.
    quint8 exceptionCode = 0;
    // The ranges answered, in the order sent: all of them when answered.
    MapRegisters registers;
};
Q_DECLARE_METATYPE(TestReadResult)
