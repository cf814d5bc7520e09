#pragma once

#include "inputregisters.h"
#include "pollresult.h"
#include "reading.h"
#include "itemdata.h"

// Status after a successful poll, with the counts that include it: Poor once
// a device has had more than 20 polls of which more than 5 % failed.
int statusAfterSuccess(quint32 failCount, quint32 totalCount);

// Counts a poll that answered, replaces both texts with the new reading and
// returns the device's status. A value that is no reading leaves its text
// empty and is marked invalid.
int recordAnswer(ItemData &record, const InputRegisters &registers);

// Counts a poll that failed; the texts keep the last reading. Returns Offline.
int recordFailure(ItemData &record);

// The reading announced for a poll whose outcome `result` was just stored in
// `record` (counters and status included).
Reading readingOf(const ItemData &record, int status, const PollResult &result);
