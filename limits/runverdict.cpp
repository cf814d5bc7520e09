#include "limits/runverdict.h"

#include "acquisition/reading.h"
#include "devices/devicerecords.h"
#include "limits/alarmformat.h"
#include "limits/alarmmonitor.h"
#include "limits/limits.h"
#include "limits/runsummarywindow.h"
#include "recording/rowwriter.h"

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

void RunVerdict::begin(const QDateTime &start, const QString &folder, RowWriter *writer)
{
    m_start = start;
    m_folder = folder;
    m_writer = writer;
    m_running = true;
    m_summaries.clear();
    for (int row = 0; row < m_devices->rowCount(); ++row) {
        const ItemData record = readRecord(m_devices, row);
        const int active = m_devices->index(row, 0).data(AlarmRole).toInt();
        m_summaries.append(
            DeviceRunSummary(record.address, record.unit, record.decimals, active, start.toMSecsSinceEpoch()));
    }
    m_sawLimits = anyLimits();

    // The folder is made at Start, as the record files are; the writer does the rest.
    m_writesFiles = m_writer && !m_folder.isEmpty() && m_sawLimits
                    && QDir(m_folder).mkpath(alarmFolderName(m_start));
    if (m_writesFiles)
        m_writer->create(alarmLogPath(), alarmLogHeader().toUtf8());
}

void RunVerdict::end(const QDateTime &end, bool show)
{
    if (!m_running)
        return;
    m_running = false;
    m_sawLimits = m_sawLimits || anyLimits();

    const bool writes = m_writesFiles && m_writer;
    if (writes)
        m_writer->create(summaryPath(), summaryHeader().toUtf8());
    for (DeviceRunSummary &summary : m_summaries) {
        summary.finish(end.toMSecsSinceEpoch());
        if (writes)
            m_writer->append(summaryPath(), summary.row().toUtf8());
    }
    // Shown from the event loop: a window being destroyed takes the call with it.
    if (show && m_sawLimits)
        QMetaObject::invokeMethod(this, &RunVerdict::showSummary, Qt::QueuedConnection);
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
    if (m_writesFiles && m_writer)
        m_writer->append(alarmLogPath(),
                         alarmLogRow(reading.time, reading.address, event, reading.unit, reading.decimals).toUtf8());
}

bool RunVerdict::anyLimits() const
{
    for (int row = 0; row < m_devices->rowCount(); ++row) {
        if (!qvariant_cast<Limits>(m_devices->index(row, 0).data(LimitsRole)).isEmpty())
            return true;
    }
    return false;
}
