#include "windowtimeline.h"

#include "processusage.h"

#include "modbusline.h"
#include "pollcycle.h"
#include "devicerecords.h"

#include <QDateTime>
#include <QStandardItemModel>

namespace {

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

WindowTimeline::WindowTimeline(const QStandardItemModel *devices, const ModbusLine *line, const PollCycle *cycle)
{
    const auto sampleRow = [this, devices](int row) {
        const ItemData record = readRecord(devices, row);
        sample(record.address, readStatus(devices->index(row, 0)), record.totalCount);
    };
    for (int row = 0; row < devices->rowCount(); ++row)
        sampleRow(row);
    QObject::connect(devices, &QAbstractItemModel::dataChanged, &m_context,
                     [sampleRow](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                         for (int row = topLeft.row(); row <= bottomRight.row(); ++row)
                             sampleRow(row);
                     });
    // The line's owner tells of a loss before the outcome of the poll that
    // found it, and of a restored line before any poll that reached it: both
    // come to this thread in the order they were sent.
    QObject::connect(line, &ModbusLine::lineLost, &m_context, [this] { lost(); });
    QObject::connect(line, &ModbusLine::lineRestored, &m_context, [this] {
        if (lineIsLost())
            m_gaps.last().restoredMs = now();
        // The line's owner holds the reopened line and opens nothing else now.
        m_descriptorsAtRestores << openFileDescriptors();
    });
    QObject::connect(cycle, &PollCycle::finished, &m_context, [this] {
        const qint64 end = now();
        if (m_lastCycleEndMs >= 0)
            m_cycleLengthsMs << end - m_lastCycleEndMs;
        m_lastCycleEndMs = end;
    });
}

void WindowTimeline::lost()
{
    m_gaps << LineGap{now(), -1};
    m_lossUnfound = true;
}

void WindowTimeline::sample(int address, int status, quint32 polls)
{
    QList<StatusChange> &statuses = m_statuses[address];
    if (statuses.isEmpty() || statuses.constLast().status != status)
        statuses << StatusChange{now(), status};

    const auto known = m_polls.constFind(address);
    const bool polled = known != m_polls.constEnd() && polls > *known;
    m_polls[address] = polls;
    if (!polled || !lineIsLost())
        return;
    GapPolls &gapPolls = m_gapPolls[address];
    if (m_lossUnfound) {
        ++gapPolls.findingLoss;
        m_lossUnfound = false;
        return;
    }
    ++gapPolls.whileLost;
    // A poll's status is stored before its counts: Offline when it failed.
    gapPolls.answeredWhileLost += status != Offline;
}
