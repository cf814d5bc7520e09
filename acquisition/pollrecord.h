#pragma once

#include "inputregisters.h"
#include "pollresult.h"
#include "registerdecoding.h"
#include "reading.h"
#include "itemdata.h"

// Status after a successful poll, with the counts that include it: Poor once
// a device has had more than 20 polls of which more than 5 % failed.
int statusAfterSuccess(quint32 failCount, quint32 totalCount);

// Counts a poll that answered with a reading, replaces both texts with it
// and returns the device's status. A value that is no reading leaves its
// text empty and is marked invalid; a map without temperature leaves that
// text empty.
int recordAnswer(ItemData &record, const DecodedValues &values);
// The same for the seven input registers of the built-in map.
int recordAnswer(ItemData &record, const InputRegisters &registers);

// Counts a poll that failed; the texts keep the last reading. Returns Offline.
int recordFailure(ItemData &record);

// The reading announced for a poll whose outcome `result`, decoded into
// `values`, was just stored in `record` (counters and status included).
Reading readingOf(const ItemData &record, int status, const PollResult &result, const DecodedValues &values);
