#include "runreporting.h"

#include "alarmformat.h"
#include "devicerecords.h"
#include "itemdata.h"
#include "recordformat.h"
#include "recordingsession.h"
#include "reportmaker.h"
#include "rowwriter.h"
#include "runverdict.h"
#include "timeformat.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QStandardItemModel>

namespace {

// Closing the window ends the process within 5 s: the report gets what is
// left of it, less the last half second for the rest of the teardown.
constexpr int ClosingReportMs = 4500;

} // namespace

RunReporting::RunReporting(QStandardItemModel *devices, RunVerdict *verdict, RecordingSession *recording,
                           std::function<QString()> station, std::function<QString()> line, QObject *window)
    : QObject(window)
    , m_devices(devices)
    , m_verdict(verdict)
    , m_station(std::move(station))
    , m_lineOf(std::move(line))
    , m_maker(new ReportMaker(this))
{
    setObjectName(QStringLiteral("runReporting"));
    connect(recording, &RecordingSession::started, this,
            [this](const QString &, const QDateTime &, const QList<ItemData> &devices) { m_started = devices; });
    window->installEventFilter(this);
}

bool RunReporting::eventFilter(QObject *, QEvent *event)
{
    if (event->type() == QEvent::Close)
        m_maker->closingBy(QDeadlineTimer(ClosingReportMs));
    return false;
}

void RunReporting::runStarted(const QDateTime &start, const QString &folder, RowWriter *writer)
{
    m_start = start;
    m_folder = folder;
    m_writer = writer;
    m_line = m_lineOf();
    if (folder.isEmpty())
        m_started.clear();
}

void RunReporting::runEnded()
{
    QString path = m_verdict->reportPath();
    if (path.isEmpty())
        return;
    // Never written over: an earlier report saved there by hand keeps its place.
    for (int copy = 2; QFileInfo::exists(path); ++copy)
        path = numberedCopy(m_verdict->reportPath(), copy);
    const RunReportData data = snapshot();
    m_maker->write(path, [data](QIODevice *device, const std::atomic<bool> &cancel) {
        return writeRunReport(data, device, cancel);
    }, [this, data] { return filesSettled(data); });
}

void RunReporting::writeTo(const QString &path)
{
    const RunReportData data = snapshot();
    m_maker->write(path, [data](QIODevice *device, const std::atomic<bool> &cancel) {
        return writeRunReport(data, device, cancel);
    });
}

QString RunReporting::suggestedPath() const
{
    const QString inRunFolder = m_verdict->reportPath();
    if (!inRunFolder.isEmpty())
        return inRunFolder;
    const QString folder = m_folder.isEmpty() ? QDir::homePath() : m_folder;
    return QDir(folder).filePath(reportFileName(m_start.isValid() ? m_start : QDateTime::currentDateTime()));
}

RunReportData RunReporting::snapshot() const
{
    RunReportData data;
    data.station = m_station();
    data.line = m_line;
    data.start = m_start;
    data.running = m_verdict->isRunning();
    data.end = data.running ? QDateTime::currentDateTime() : m_verdict->endTime();
    data.outcome = m_verdict->outcome();
    data.alarmLogPath = m_verdict->alarmLogPath();
    for (const DeviceRunSummary &summary : qAsConst(data.outcome.devices))
        data.devices.append(describe(summary.address()));
    return data;
}

ReportedDevice RunReporting::describe(int address) const
{
    ItemData record;
    Limits limits;
    bool found = false;
    for (int row = 0; row < m_devices->rowCount() && !found; ++row) {
        record = readRecord(m_devices, row);
        if (record.address == address) {
            found = true;
            limits = qvariant_cast<Limits>(m_devices->index(row, 0).data(LimitsRole));
        }
    }
    for (int i = 0; i < m_started.size() && !found; ++i) {
        if (m_started.at(i).address == address) {
            record = m_started.at(i);
            found = true;
        }
    }
    ReportedDevice device;
    device.address = address;
    if (!found)
        return device;
    device.unit = record.unit;
    device.decimals = record.decimals;
    device.recordPeriod = record.recordPeriod;
    device.mapName = record.map.name;
    device.limits = limits;
    // A run without record files leaves the last recording's name in the record.
    if (!m_folder.isEmpty())
        device.recordPath = record.filePath;
    return device;
}

bool RunReporting::filesSettled(const RunReportData &data) const
{
    if (!m_writer)
        return true;
    if (m_writer->waitingRows(data.alarmLogPath) > 0)
        return false;
    for (const ReportedDevice &device : data.devices) {
        if (!device.recordPath.isEmpty() && m_writer->waitingRows(device.recordPath) > 0)
            return false;
    }
    return true;
}
