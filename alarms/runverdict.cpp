#include "runverdict.h"

#include "modbusline.h"
#include "reading.h"
#include "devicerecords.h"
#include "alarmformat.h"
#include "alarmmonitor.h"
#include "devicelimits.h"
#include "failureshare.h"
#include "rowwriter.h"

#include <QDir>
#include <QStandardItemModel>

#include <algorithm>

namespace {

// Far more Starts within one second than an operator can make.
constexpr int MaxCopies = 100;

} // namespace

RunVerdict::RunVerdict(QStandardItemModel *devices, AlarmMonitor *monitor, ModbusLine *line, QObject *parent)
    : QObject(parent)
    , m_devices(devices)
    , m_line(line)
{
    setObjectName(QStringLiteral("runVerdict"));
    connect(monitor, &AlarmMonitor::evaluated, this, &RunVerdict::take);
    connect(monitor, &AlarmMonitor::runEvent, this, &RunVerdict::logEvent);
    connect(devices, &QAbstractItemModel::dataChanged, this, &RunVerdict::limitsChanged);
    connect(devices, &QAbstractItemModel::rowsAboutToBeRemoved, this, &RunVerdict::devicesRemoved);
    // The list cleared: every device is removed.
    connect(devices, &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { devicesRemoved(QModelIndex(), 0, m_devices->rowCount() - 1); });
    connect(line, &ModbusLine::stateChanged, this, &RunVerdict::lineChanged);
}

void RunVerdict::begin(const QDateTime &start, const QString &folder, RowWriter *writer)
{
    m_start = start;
    m_folder = folder;
    m_writer = writer;
    m_running = true;
    m_summaries.clear();
    m_listed.clear();
    // The run judges its own readings: no alarm is raised in it yet.
    for (int row = 0; row < m_devices->rowCount(); ++row) {
        const ItemData record = readRecord(m_devices, row);
        m_summaries.append(DeviceRunSummary(record.address, record.unit, record.decimals, 0, start.toMSecsSinceEpoch()));
        m_listed.append(true);
    }
    m_lostMs = 0;
    m_lostSinceMs = m_line->state() == LineState::Lost ? start.toMSecsSinceEpoch() : -1;
    m_writesFiles = false;
    m_filesFailed = false;
    m_copy = 0;
    m_askedFolder.clear();
    m_askedLog.clear();
    m_askedSummary.clear();
    m_uncreated.clear();
    m_sawLimits = anyLimits();
    if (m_sawLimits)
        startFiles();
}

void RunVerdict::end(const QDateTime &end, bool show)
{
    if (!m_running)
        return;
    m_running = false;
    m_endMs = end.toMSecsSinceEpoch();
    lineChanged();
    m_sawLimits = m_sawLimits || anyLimits();

    const bool failedForLine = lineFailed(m_endMs);
    const bool writes = m_writesFiles && !m_filesFailed && m_writer;
    for (DeviceRunSummary &summary : m_summaries) {
        summary.finish(m_endMs);
        if (failedForLine)
            summary.failForLine();
        if (writes)
            m_writer->append(m_askedSummary, summary.row().toUtf8());
    }
    // Shown from the event loop: a window being destroyed takes the call with it.
    if (show && m_sawLimits)
        QMetaObject::invokeMethod(this, &RunVerdict::showSummary, Qt::QueuedConnection);
}

QString RunVerdict::alarmLogPath() const
{
    if (!m_writesFiles || m_copy == 0)
        return QString();
    return inFolder(m_copy, alarmLogFileName(m_start, m_copy));
}

QString RunVerdict::summaryPath() const
{
    if (!m_writesFiles || m_copy == 0)
        return QString();
    return inFolder(m_copy, summaryFileName(m_start, m_copy));
}

QString RunVerdict::reportPath() const
{
    if (!m_writesFiles || m_copy == 0)
        return QString();
    return inFolder(m_copy, reportFileName(m_start, m_copy));
}

void RunVerdict::requireFolder()
{
    if (m_running)
        startFiles();
}

QString RunVerdict::folderPath() const
{
    if (!m_writesFiles || m_copy == 0)
        return QString();
    return QDir(m_folder).filePath(alarmFolderName(m_start, m_copy));
}

QString RunVerdict::inFolder(int copy, const QString &fileName) const
{
    return QDir(m_folder).filePath(alarmFolderName(m_start, copy) + QLatin1Char('/') + fileName);
}

qint64 RunVerdict::lineLostMs() const
{
    if (m_lostSinceMs < 0)
        return m_lostMs;
    return m_lostMs + std::max<qint64>(0, QDateTime::currentMSecsSinceEpoch() - m_lostSinceMs);
}

qint64 RunVerdict::runMs(qint64 nowMs) const
{
    return std::max<qint64>(0, (m_running ? nowMs : m_endMs) - m_start.toMSecsSinceEpoch());
}

bool RunVerdict::lineFailed(qint64 nowMs) const
{
    return exceedsFailureShare(lineLostMs(), runMs(nowMs));
}

RunOutcome RunVerdict::outcome() const
{
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    RunOutcome outcome{m_summaries, lineLostMs(), runMs(nowMs), lineFailed(nowMs)};
    for (DeviceRunSummary &summary : outcome.devices) {
        // A run still going is shown as it stands now.
        if (m_running)
            summary.finish(nowMs);
        if (outcome.failedForLine)
            summary.failForLine();
    }
    return outcome;
}

void RunVerdict::showSummary()
{
    emit summaryShown(outcome());
}

DeviceRunSummary *RunVerdict::summaryOf(int address)
{
    for (int i = 0; i < m_summaries.size(); ++i) {
        if (m_listed.at(i) && m_summaries.at(i).address() == address)
            return &m_summaries[i];
    }
    return nullptr;
}

void RunVerdict::take(const Reading &reading, int active)
{
    if (!m_running)
        return;
    if (DeviceRunSummary *summary = summaryOf(reading.address))
        summary->add(reading, active);
}

void RunVerdict::logEvent(const Reading &reading, const AlarmEvent &event)
{
    if (!m_running || !summaryOf(reading.address))
        return;
    m_sawLimits = true;
    if (m_writesFiles && !m_filesFailed && m_writer)
        m_writer->append(m_askedLog,
                         alarmLogRow(reading.time, reading.address, event, reading.unit, reading.decimals).toUtf8());
}

void RunVerdict::limitsChanged(const QModelIndex &, const QModelIndex &, const QVector<int> &roles)
{
    if (!m_running || !roles.contains(LimitsRole) || m_sawLimits)
        return;
    // Limits set during a run: its log and summary start now, its counts at Start.
    m_sawLimits = anyLimits();
    if (m_sawLimits)
        startFiles();
}

void RunVerdict::devicesRemoved(const QModelIndex &, int first, int last)
{
    if (!m_running)
        return;
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    for (int row = first; row <= last; ++row) {
        const int address = readRecord(m_devices, row).address;
        for (int i = 0; i < m_summaries.size(); ++i) {
            if (!m_listed.at(i) || m_summaries.at(i).address() != address)
                continue;
            // Its row sums up the run up to now; listed again, it is a device added after Start.
            m_summaries[i].finish(nowMs);
            m_listed[i] = false;
        }
    }
}

void RunVerdict::lineChanged()
{
    const bool lost = m_running && m_line->state() == LineState::Lost;
    const qint64 nowMs = m_running ? QDateTime::currentMSecsSinceEpoch() : m_endMs;
    if (lost && m_lostSinceMs < 0) {
        m_lostSinceMs = nowMs;
    } else if (!lost && m_lostSinceMs >= 0) {
        m_lostMs += std::max<qint64>(0, nowMs - m_lostSinceMs);
        m_lostSinceMs = -1;
    }
}

bool RunVerdict::anyLimits() const
{
    for (int row = 0; row < m_devices->rowCount(); ++row) {
        if (!qvariant_cast<Limits>(m_devices->index(row, 0).data(LimitsRole)).isEmpty())
            return true;
    }
    return false;
}

void RunVerdict::startFiles()
{
    if (m_writesFiles || !m_writer || m_folder.isEmpty())
        return;
    // The folder is made on the writer's thread, as the record files are: a
    // slow record folder never holds the window. Its name is free only once
    // the writer has looked, so it tries every copy in turn.
    QVector<FolderCopy> copies;
    for (int copy = 1; copy <= MaxCopies; ++copy) {
        copies.append({QDir(m_folder).filePath(alarmFolderName(m_start, copy)),
                       {inFolder(copy, alarmLogFileName(m_start, copy)), inFolder(copy, summaryFileName(m_start, copy))}});
    }
    m_askedFolder = copies.first().folder;
    m_askedLog = copies.first().files.at(0);
    m_askedSummary = copies.first().files.at(1);
    m_writesFiles = true;
    connect(m_writer, &RowWriter::created, this, &RunVerdict::fileCreated, Qt::UniqueConnection);
    m_writer->createInFolder(copies, {alarmLogHeader().toUtf8(), summaryHeader().toUtf8()});
}

void RunVerdict::fileCreated(const QString &path, const QString &createdAs)
{
    if (!m_writesFiles || m_filesFailed)
        return;
    if (path == m_askedFolder && m_copy == 0) {
        if (createdAs.isEmpty()) {
            m_filesFailed = true;
            tellUncreated(path);
            return;
        }
        for (int copy = 1; copy <= MaxCopies && m_copy == 0; ++copy) {
            if (QDir(m_folder).filePath(alarmFolderName(m_start, copy)) == createdAs)
                m_copy = copy;
        }
        if (m_copy != 0)
            emit folderReady(folderPath());
        return;
    }
    if (!createdAs.isEmpty() || (path != m_askedLog && path != m_askedSummary))
        return;
    m_filesFailed = true;
    tellUncreated(path == m_askedLog ? alarmLogPath() : summaryPath());
}

void RunVerdict::tellUncreated(const QString &path)
{
    m_uncreated << path;
    emit filesNotCreated(m_uncreated);
}
