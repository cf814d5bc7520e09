#pragma once

#include "soakline.h"

#include <QList>
#include <QtGlobal>

class SoakReport;
struct SoakRun;

// The soak's checks on a finished run, each printed with its figures.

// Every pull lost the window's line once and its plug brought it back; with
// no pulls, the line was never lost. Returns how far from a gap's ends a
// record row has to be to count as inside it: the longest poll cycle.
qint64 reportLine(SoakReport &report, const SoakRun &run);

// Polls against the line's requests and answers, readings, and the record
// files row by row, device by device.
void reportDevices(SoakReport &report, const QList<SoakDevice> &devices, const SoakRun &run, qint64 gapMarginMs);

// Holds of the event loop, memory, file descriptors, stray message boxes
// and processor time.
void reportProcess(SoakReport &report, const SoakRun &run);
