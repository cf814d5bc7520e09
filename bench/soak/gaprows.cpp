#include "gaprows.h"

#include "itemdata.h"

#include <QDateTime>

#include <limits>

namespace {

constexpr int ReportedProblems = 5;
constexpr qint64 SecondMs = 1000;

qint64 gapEnd(const LineGap &gap)
{
    return gap.restoredMs < 0 ? std::numeric_limits<qint64>::max() / 2 : gap.restoredMs;
}

// Whether the whole second starting at `ms` lies in a gap, `margin` away from its ends.
bool deepInGap(qint64 ms, const QList<LineGap> &gaps, qint64 marginMs)
{
    for (const LineGap &gap : gaps) {
        if (ms >= gap.lostMs + marginMs && ms + SecondMs <= gapEnd(gap) - marginMs)
            return true;
    }
    return false;
}

bool nearGap(qint64 ms, const QList<LineGap> &gaps, qint64 marginMs)
{
    for (const LineGap &gap : gaps) {
        if (ms + SecondMs > gap.lostMs - marginMs && ms < gapEnd(gap) + marginMs)
            return true;
    }
    return false;
}

// Whether the device was Offline at any moment of [from, to].
bool offlineWithin(const QList<StatusChange> &statuses, qint64 from, qint64 to)
{
    bool offline = false;
    for (const StatusChange &change : statuses) {
        if (change.ms > to)
            break;
        if (change.ms <= from)
            offline = change.status == Offline;
        else if (change.status == Offline)
            return true;
    }
    return offline;
}

QString timeOf(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("hh:mm:ss"));
}

} // namespace

EmptyRowTally tallyEmptyRows(const QList<RowStamp> &rows, const QList<LineGap> &gaps,
                             const QList<StatusChange> &statuses, qint64 marginMs)
{
    EmptyRowTally tally;
    for (const RowStamp &row : rows) {
        QString problem;
        if (deepInGap(row.ms, gaps, marginMs)) {
            ++tally.rowsInGaps;
            if (!row.empty) {
                ++tally.readingsInGaps;
                problem = QStringLiteral("row of %1 has readings while the line was lost").arg(timeOf(row.ms));
            }
        } else if (!row.empty) {
            continue;
        } else if (offlineWithin(statuses, row.ms - SecondMs, row.ms + SecondMs)) {
            ++tally.emptyAfterFailedPoll;
        } else if (nearGap(row.ms, gaps, marginMs)) {
            ++tally.emptyAtGapEdges;
        } else {
            ++tally.emptyUnexplained;
            problem = QStringLiteral("row of %1 is empty while the device answered").arg(timeOf(row.ms));
        }
        if (!problem.isEmpty() && tally.problems.size() < ReportedProblems)
            tally.problems << problem;
    }
    return tally;
}
