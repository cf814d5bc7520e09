#pragma once

// Record ticks since the current recording started, minus one: -1 until the
// first tick after Start. Start sets it to -1; the record writer advances it.
extern int recordTick;

// Starts the clock of the current recording; Start calls it with recordTick = -1.
void restartRecordClock();
