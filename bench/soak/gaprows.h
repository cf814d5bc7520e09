#pragma once

#include <QList>
#include <QStringList>
#include <QtGlobal>

// Times are milliseconds since the epoch, on the wall clock the record rows
// are stamped with.

// A stretch in which the window had lost its line: from lineLost to
// lineRestored; restoredMs is -1 for a line still lost.
struct LineGap
{
    qint64 lostMs = 0;
    qint64 restoredMs = -1;
};

// A device's status (Offline, Good, Poor) from `ms` on.
struct StatusChange
{
    qint64 ms = 0;
    int status = 0;
};

// A record row: the start of the second its time stamp names, and whether
// its pressure and temperature are empty.
struct RowStamp
{
    qint64 ms = 0;
    bool empty = false;
};

// Where a file's empty rows lie. A row deep in a gap (more than `margin`
// from both of its ends) must be empty; an empty row elsewhere must have its
// device Offline within a second of its time stamp (its latest poll failed),
// or lie within `margin` of a gap.
struct EmptyRowTally
{
    int rowsInGaps = 0;
    int readingsInGaps = 0; // rows deep in a gap that are not empty
    int emptyAfterFailedPoll = 0;
    int emptyAtGapEdges = 0;
    int emptyUnexplained = 0;
    QStringList problems; // the first few, for the report
};

EmptyRowTally tallyEmptyRows(const QList<RowStamp> &rows, const QList<LineGap> &gaps,
                             const QList<StatusChange> &statuses, qint64 marginMs);
