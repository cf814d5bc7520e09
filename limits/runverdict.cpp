#include "limits/runverdict.h"

#include "acquisition/reading.h"
#include "devices/devicerecords.h"
#include "limits/alarmformat.h"
#include "limits/alarmmonitor.h"
#include "limits/limits.h"
#include "limits/runfileswriter.h"
#include "limits/runsummarywindow.h"

#include <QDir>
#include <QStandardItemModel>

RunVerdict::RunVerdict(QStandardItemModel *devices, AlarmMonitor *monitor, QWidget *window)
    : QObject(window)
    , m_devices(devices)
    , m_window(window)
{
    setObjectName(QStringLiteral("runVerdict"));
    connect(monitor, &AlarmMonitor::evaluated, this, &RunVerdict::take);
    connect(monitor, &AlarmMonitor::alarmEvent, this, &RunVerdict::logEvent);
}

void RunVerdict::begin(const QDateTime &start, const QString &folder)
{
    m_start = start;
    m_folder = folder;
    m_running = true;
    m_summaries.clear();
    for (int row = 0; row < m_devices->rowCount(); ++row) {
        const ItemData record = readRecord(m_devices, row);
        const int active = m_devices->index(row, 0).data(AlarmRole).toInt();
        m_summaries.append(
            DeviceRunSummary(record.address, record.unit, record.decimals, active, start.toMSecsSinceEpoch()));
    }
    m_sawLimits = anyLimits();
}

void RunVerdict::end(const QDateTime &end, bool show)
{
    if (!m_running)
        return;
    m_running = false;
    m_sawLimits = m_sawLimits || anyLimits();

    QString rows;
    for (DeviceRunSummary &summary : m_summaries) {
        summary.finish(end.toMSecsSinceEpoch());
        rows += summary.row();
    }
    if (m_writer && !m_folder.isEmpty() && m_sawLimits)
        m_writer->appendRows(summaryPath(), summaryHeader(), rows);
    if (show && m_sawLimits)
        showSummary();
}

QString RunVerdict::alarmLogPath() const
{
    return QDir(m_folder).filePath(alarmFolderName(m_start) + QLatin1Char('/') + alarmLogFileName(m_start));
}

QString RunVerdict::summaryPath() const
{
    return QDir(m_folder).filePath(alarmFolderName(m_start) + QLatin1Char('/') + summaryFileName(m_start));
}

void RunVerdict::showSummary()
{
    if (!m_summaryWindow)
        m_summaryWindow = new RunSummaryWindow(m_window);
    m_summaryWindow->present(m_summaries, m_running);
}

DeviceRunSummary *RunVerdict::summaryOf(int address)
{
    for (DeviceRunSummary &summary : m_summaries) {
        if (summary.address() == address)
            return &summary;
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
    if (m_writer && !m_folder.isEmpty())
        m_writer->appendRows(alarmLogPath(), alarmLogHeader(),
                             alarmLogRow(reading.time, reading.address, event, reading.unit, reading.decimals));
}

bool RunVerdict::anyLimits() const
{
    for (int row = 0; row < m_devices->rowCount(); ++row) {
        if (!qvariant_cast<Limits>(m_devices->index(row, 0).data(LimitsRole)).isEmpty())
            return true;
    }
    return false;
}
