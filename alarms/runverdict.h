#pragma once

#include "runsummary.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QVector>

class AlarmMonitor;
class ModbusLine;
class QStandardItemModel;
class RowWriter;
struct AlarmEvent;
struct Reading;

// A run as its summary shows it: every device's summary as it stands, and
// how long the line was lost in a run of `runMs`, which past 5 % fails
// every device.
struct RunOutcome
{
    QVector<DeviceRunSummary> devices;
    qint64 lineLostMs = 0;
    qint64 runMs = 0;
    bool failedForLine = false;
};

// The verdict of a run: every device listed at Start is followed from then
// on, up to its removal, its alarms logged as they come and its summary made
// at the end. Once a device has limits in a run that records, the alarm log
// and the summary go to files in a folder of the run's own inside the record
// folder, written by the recording's writer. A run whose line was lost for
// more than 5 % of its time fails every device.
class RunVerdict : public QObject
{
    Q_OBJECT

public:
    RunVerdict(QStandardItemModel *devices, AlarmMonitor *monitor, ModbusLine *line, QObject *parent = nullptr);

    // `folder` is empty when the recording keeps no files; `writer` writes
    // the recording's files.
    void begin(const QDateTime &start, const QString &folder, RowWriter *writer);
    // Ends the run once: later calls do nothing. `show` opens the summary
    // window when any device had limits.
    void end(const QDateTime &end, bool show);
    bool isRunning() const { return m_running; }

    // The devices of the current or last run, in list order at its Start.
    const QVector<DeviceRunSummary> &summaries() const { return m_summaries; }
    // The files made for the run: empty until the writer has made its
    // folder, and while the run writes no files.
    QString alarmLogPath() const;
    QString summaryPath() const;
    // Where the run's report goes in the same folder; empty as the others.
    QString reportPath() const;
    // Has a run that records make its folder, its alarm log and summary
    // with it, though no device has limits: a calibration pass keeps its
    // file there. Does nothing once they are under way or when not recording.
    void requireFolder();
    // The run's folder; empty as the files are.
    QString folderPath() const;
    // The current or last run's Start, and its end once it ended.
    QDateTime start() const { return m_start; }
    QDateTime endTime() const { return QDateTime::fromMSecsSinceEpoch(m_endMs); }
    // How long the line was lost in the current or last run, up to now.
    qint64 lineLostMs() const;

    RunOutcome outcome() const;
    // Has the run's outcome shown, as the end of a run with limits does.
    void showSummary();

signals:
    void summaryShown(const RunOutcome &outcome);
    // The alarm log or the summary could not be created: all of the run's so far.
    void filesNotCreated(const QStringList &paths);
    // The writer has made the run's folder.
    void folderReady(const QString &folder);

private:
    DeviceRunSummary *summaryOf(int address);
    void take(const Reading &reading, int active);
    void logEvent(const Reading &reading, const AlarmEvent &event);
    void limitsChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QVector<int> &roles);
    void devicesRemoved(const QModelIndex &parent, int first, int last);
    void lineChanged();
    bool anyLimits() const;
    void startFiles();
    QString inFolder(int copy, const QString &fileName) const;
    void fileCreated(const QString &path, const QString &createdAs);
    void tellUncreated(const QString &path);
    qint64 runMs(qint64 nowMs) const;
    bool lineFailed(qint64 nowMs) const;

    QStandardItemModel *const m_devices;
    ModbusLine *const m_line;
    QPointer<RowWriter> m_writer;
    QVector<DeviceRunSummary> m_summaries;
    // Per summary, whether its device is still listed.
    QVector<bool> m_listed;
    QDateTime m_start;
    qint64 m_endMs = 0;
    QString m_folder;
    // The copy number of the run's folder name, 0 until the writer made it.
    int m_copy = 0;
    // What the writer was asked for, its first choice: the rows of the alarm
    // log and the summary are given for these paths.
    QString m_askedFolder;
    QString m_askedLog;
    QString m_askedSummary;
    bool m_running = false;
    bool m_sawLimits = false;
    // The alarm log and the summary are being written.
    bool m_writesFiles = false;
    // One of them could not be created: nothing more is given to the writer.
    bool m_filesFailed = false;
    qint64 m_lostMs = 0;
    // When the line was last lost, -1 while it is not.
    qint64 m_lostSinceMs = -1;
    QStringList m_uncreated;
};
