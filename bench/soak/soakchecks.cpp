#include "soakchecks.h"

#include "recordcheck.h"
#include "soakreport.h"
#include "soakrun.h"

#include "simulatorprocess.h"

#include <QFileInfo>

#include <algorithm>
#include <limits>

namespace {

// The window tries a lost line again at most 10 s apart; the rest is slack
// for a busy machine.
constexpr qint64 BackAfterPlugLimitMs = 12000;
constexpr double GrowthLimitMiB = 8.0;

double seconds(qint64 ms)
{
    return double(ms) / 1000.0;
}

double mebibytes(qint64 kibibytes)
{
    return double(kibibytes) / 1024.0;
}

double percent(qint64 part, qint64 whole)
{
    return whole ? 100.0 * double(part) / double(whole) : 0.0;
}

qint64 lineValue(const QJsonObject &stats, int address, const char *key)
{
    return qint64(SimulatorProcess::slaveStats(stats, address).value(QLatin1String(key)).toDouble(-1));
}

// Rows a device of record period `period` is due to have written after
// `seconds` of recording: at 2, 2 + p, 2 + 2p, ... seconds after Start.
int rowsDue(double seconds, int period)
{
    return seconds < 2.0 ? 0 : int((seconds - 2.0) / period) + 1;
}

// Whether gap `gap` is the window's side of pull `pull`: lost after the pull
// and before the plug, back after the plug and not long after it.
bool gapFollowsPull(const LineGap &gap, const LinePull &pull)
{
    return pull.pulledMs >= 0 && pull.pluggedMs >= 0 && gap.lostMs >= pull.pulledMs && gap.lostMs <= pull.pluggedMs
        && gap.restoredMs >= pull.pluggedMs && gap.restoredMs - pull.pluggedMs <= BackAfterPlugLimitMs;
}

qint64 median(QList<qint64> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

} // namespace

qint64 reportLine(SoakReport &report, const SoakRun &run)
{
    const qint64 longestCycleMs
        = run.cycleLengthsMs.isEmpty() ? 0 : *std::max_element(run.cycleLengthsMs.cbegin(), run.cycleLengthsMs.cend());
    report.info(QStringLiteral("poll cycles: %1, median %2 ms, longest %3 ms")
                    .arg(run.cycleLengthsMs.size())
                    .arg(median(run.cycleLengthsMs))
                    .arg(longestCycleMs));
    if (run.pulls.isEmpty()) {
        report.check(run.gaps.isEmpty(), QStringLiteral("the line was never pulled, and the window never lost it (%1 "
                                                        "losses)")
                                             .arg(run.gaps.size()));
        return longestCycleMs;
    }

    report.info(QStringLiteral("pull     at    for   lost after pull  back after plug    gap"));
    bool allFollow = run.gaps.size() == run.pulls.size() && run.pullFailure.isEmpty();
    qint64 shortestGap = std::numeric_limits<qint64>::max();
    qint64 longestGap = 0;
    qint64 latestBack = 0;
    for (int i = 0; i < run.pulls.size(); ++i) {
        const LinePull &pull = run.pulls.at(i);
        const LineGap gap = run.gaps.value(i, LineGap{-1, -1});
        const bool follows = gapFollowsPull(gap, pull);
        allFollow = allFollow && follows;
        report.info(QString::asprintf("%4d %6.1f s %4.1f s %14.2f s %14.2f s %5.1f s%s", i + 1, seconds(pull.atMs),
                                      seconds(pull.forMs), seconds(gap.lostMs - pull.pulledMs),
                                      seconds(gap.restoredMs - pull.pluggedMs), seconds(gap.restoredMs - gap.lostMs),
                                      follows ? "" : "  (no gap of this pull)"));
        if (follows) {
            shortestGap = qMin(shortestGap, gap.restoredMs - gap.lostMs);
            longestGap = qMax(longestGap, gap.restoredMs - gap.lostMs);
            latestBack = qMax(latestBack, gap.restoredMs - pull.pluggedMs);
        }
    }
    if (!run.pullFailure.isEmpty())
        report.info(run.pullFailure);
    report.check(allFollow, QStringLiteral("every pull lost the window's line once and its plug brought it back without a "
                                           "click: %1 pulls, %2 gaps of %3–%4 s, back at most %5 s after the plug "
                                           "(limit %6 s)")
                                .arg(run.pulls.size())
                                .arg(run.gaps.size())
                                .arg(seconds(shortestGap), 0, 'f', 1)
                                .arg(seconds(longestGap), 0, 'f', 1)
                                .arg(seconds(latestBack), 0, 'f', 1)
                                .arg(seconds(BackAfterPlugLimitMs), 0, 'f', 0));
    return longestCycleMs;
}

void reportDevices(SoakReport &report, const QList<SoakDevice> &devices, const SoakRun &run, qint64 gapMarginMs)
{
    report.info(QStringLiteral("addr period polls failed  fail%  lost found requests answers extra  rows   due "
                               "empty  gaps polls edge"));
    bool countsMatch = true;
    bool noAnswerWhileLost = true;
    bool ownReadings = true;
    bool rowsWellFormed = true;
    bool rowsAllWritten = true;
    bool rowsPerPeriod = true;
    QList<QString> recordFiles;
    int rows = 0;
    EmptyRowTally empties;
    for (int i = 0; i < devices.size(); ++i) {
        const SoakDevice &device = devices.at(i);
        const ItemData &record = run.records.at(i);
        const GapPolls gapPolls = run.gapPolls.value(device.address);
        const qint64 requests = lineValue(run.lineStats, device.address, "requests");
        const qint64 answers = lineValue(run.lineStats, device.address, "answers");
        const RecordFileCheck file = checkRecordFile(record.filePath, QStringLiteral("KPa"), device.pressureText,
                                                     device.temperatureText, device.recordPeriod);
        const EmptyRowTally tally
            = tallyEmptyRows(file.stamps, run.gaps, run.statuses.value(device.address), gapMarginMs);
        const int due = rowsDue(run.recordingSeconds, device.recordPeriod);

        // Polls outside the gaps reached the line; polls that found a loss
        // may have, and may have been answered; later polls in a gap did not.
        const qint64 pollsReaching = qint64(record.totalCount) - gapPolls.whileLost - gapPolls.findingLoss;
        const qint64 successes = qint64(record.totalCount) - record.failCount;
        const qint64 extraRequests = requests - pollsReaching;
        const qint64 extraAnswers = answers - successes;
        report.info(QString::asprintf("%4d %6d %5u %6u %5.1f%% %5d %5d %8lld %7lld %2lld/%lld %5d %5d %5d %5d %5d %4d",
                                      device.address, device.recordPeriod, record.totalCount, record.failCount,
                                      percent(record.failCount, record.totalCount), gapPolls.whileLost,
                                      gapPolls.findingLoss, static_cast<long long>(requests),
                                      static_cast<long long>(answers), static_cast<long long>(extraRequests),
                                      static_cast<long long>(extraAnswers), file.rows, due, file.emptyRows,
                                      tally.rowsInGaps, tally.emptyAfterFailedPoll, tally.emptyAtGapEdges));
        const QStringList problems = file.problems + tally.problems;
        for (const QString &problem : problems)
            report.info(QStringLiteral("     %1").arg(problem));

        countsMatch = countsMatch && 0 <= extraAnswers && extraAnswers <= extraRequests
            && extraRequests <= gapPolls.findingLoss;
        noAnswerWhileLost = noAnswerWhileLost && gapPolls.answeredWhileLost == 0;
        const QSet<QPair<QString, QString>> own{{device.pressureText, device.temperatureText}};
        ownReadings = ownReadings && run.readings.value(device.address) == own;
        rowsWellFormed = rowsWellFormed && file.badRows == 0 && file.rows > 0;
        rowsAllWritten = rowsAllWritten && int(record.recordIndex) == file.rows;
        rowsPerPeriod = rowsPerPeriod && qAbs(file.rows - due) <= 1 && file.offPeriodRows == 0;
        recordFiles << QFileInfo(record.filePath).fileName();
        rows += file.rows;
        empties.rowsInGaps += tally.rowsInGaps;
        empties.readingsInGaps += tally.readingsInGaps;
        empties.emptyAfterFailedPoll += tally.emptyAfterFailedPoll;
        empties.emptyAtGapEdges += tally.emptyAtGapEdges;
        empties.emptyUnexplained += tally.emptyUnexplained;
    }
    report.info(QStringLiteral("lost: polls while the line was lost; found: polls that found it lost; extra: "
                               "requests / answers of the line beyond the polls outside the gaps and their "
                               "successes; gaps, polls, edge: rows deep in gaps, empty rows after a failed poll, "
                               "empty rows explained only by a gap's margin of %1 ms")
                    .arg(gapMarginMs));

    report.check(countsMatch, QStringLiteral("the window's polls match the line device by device: requests and answers "
                                             "equal the polls outside the gaps and their successes, but for the polls "
                                             "that found the line lost (0 <= extra answers <= extra requests <= polls "
                                             "that found a loss)"));
    report.check(noAnswerWhileLost, QStringLiteral("no poll succeeded while the line was lost"));
    report.check(ownReadings, QStringLiteral("every device showed its own readings and never another's"));
    QStringList sortedFiles = recordFiles;
    std::sort(sortedFiles.begin(), sortedFiles.end());
    QStringList newFiles = run.newFiles;
    std::sort(newFiles.begin(), newFiles.end());
    report.check(newFiles == sortedFiles && sortedFiles.size() == devices.size(),
                 QStringLiteral("every device recorded into its own file, all %1 present, and no other file "
                                "appeared (%2 new files)")
                     .arg(devices.size())
                     .arg(newFiles.size()));
    report.check(rowsWellFormed, QStringLiteral("every record file has its header and only well-formed rows: five "
                                                "commas, sequence numbers from 1 with none lost or merged, valid "
                                                "time stamps, own readings or none"));
    report.check(rowsAllWritten, QStringLiteral("every row counted by the writer reached its file"));
    report.check(rowsPerPeriod, QStringLiteral("one row per record period: as many rows as periods (give or take "
                                               "one), each one period after the row above (give or take a second)"));
    report.check(empties.readingsInGaps == 0 && empties.emptyUnexplained == 0,
                 QStringLiteral("readings empty only in the gaps and after failed polls: of %1 rows, %2 deep in gaps "
                                "(%3 of them with readings), %4 empty after a failed poll, %5 empty at a gap's "
                                "edge, %6 empty while the device answered")
                     .arg(rows)
                     .arg(empties.rowsInGaps)
                     .arg(empties.readingsInGaps)
                     .arg(empties.emptyAfterFailedPoll)
                     .arg(empties.emptyAtGapEdges)
                     .arg(empties.emptyUnexplained));
}

void reportProcess(SoakReport &report, const SoakRun &run)
{
    report.check(run.holdsOverLimit == 0,
                 QStringLiteral("no hold of the event loop over %1 ms: %2 holds over it, longest %3 ms (%4 ticks of "
                                "%5 ms)")
                     .arg(HoldLimitMs)
                     .arg(run.holdsOverLimit)
                     .arg(run.longestHoldMs)
                     .arg(run.ticks)
                     .arg(HoldWatchIntervalMs));

    const double growth = mebibytes(run.residentAtEndKiB - run.residentFirstKiB);
    report.check(run.residentFirstKiB > 0 && run.residentAtEndKiB > 0 && growth <= GrowthLimitMiB,
                 QStringLiteral("resident memory %1 MiB after %2 s, %3 MiB at the end: %4%5 MiB (limit %6 MiB)")
                     .arg(mebibytes(run.residentFirstKiB), 0, 'f', 1)
                     .arg(run.firstSampleSeconds)
                     .arg(mebibytes(run.residentAtEndKiB), 0, 'f', 1)
                     .arg(growth >= 0.0 ? "+" : "")
                     .arg(growth, 0, 'f', 2)
                     .arg(GrowthLimitMiB, 0, 'f', 0));

    QStringList atRestores;
    bool descriptorsFlat = run.descriptorsFirst > 0 && run.descriptorsAtEnd == run.descriptorsFirst;
    for (const int count : run.descriptorsAtRestores) {
        atRestores << QString::number(count);
        descriptorsFlat = descriptorsFlat && count == run.descriptorsFirst;
    }
    atRestores.removeDuplicates();
    report.check(descriptorsFlat, QStringLiteral("open file descriptors %1 after %2 s, %3 at the end%4")
                                      .arg(run.descriptorsFirst)
                                      .arg(run.firstSampleSeconds)
                                      .arg(run.descriptorsAtEnd)
                                      .arg(atRestores.isEmpty()
                                               ? QString()
                                               : QStringLiteral(", %1 each time the line came back (%2 times)")
                                                     .arg(atRestores.join('/'))
                                                     .arg(run.descriptorsAtRestores.size())));

    report.check(run.strayBoxes.isEmpty(), QStringLiteral("no message box but the lost-line notice (%1 other)%2")
                                               .arg(run.strayBoxes.size())
                                               .arg(run.strayBoxes.isEmpty() ? QString()
                                                                             : ": " + run.strayBoxes.join(" | ")));
    report.info(QStringLiteral("processor: %1 s over %2 s of wall time, %3 CPU s per wall s")
                    .arg(run.cpuSeconds, 0, 'f', 1)
                    .arg(run.wallSeconds, 0, 'f', 1)
                    .arg(run.cpuSeconds / run.wallSeconds, 0, 'f', 3));
}
