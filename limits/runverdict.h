#pragma once

#include "limits/runsummary.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QVector>

class AlarmMonitor;
class QStandardItemModel;
class QWidget;
class RowWriter;
class RunSummaryWindow;
struct AlarmEvent;
struct Reading;

// The verdict of a recording: every device listed at Start is followed from
// then on, its alarms logged as they come and its summary made at the end.
// With a folder and at least one device with limits at Start, both go to
// files in a folder of their own inside it, written by the recording's writer.
class RunVerdict : public QObject
{
    Q_OBJECT

public:
    RunVerdict(QStandardItemModel *devices, AlarmMonitor *monitor, QWidget *window);

    // `folder` is empty when the recording keeps no files; `writer` writes
    // the recording's files.
    void begin(const QDateTime &start, const QString &folder, RowWriter *writer);
    // Ends the run once: later calls do nothing. `show` opens the summary
    // window when any device has limits.
    void end(const QDateTime &end, bool show);
    bool isRunning() const { return m_running; }

    // The devices of the current or last run, in list order at its Start.
    const QVector<DeviceRunSummary> &summaries() const { return m_summaries; }
    QString alarmLogPath() const;
    QString summaryPath() const;

    void showSummary();

private:
    DeviceRunSummary *summaryOf(int address);
    void take(const Reading &reading, int active);
    void logEvent(const Reading &reading, const AlarmEvent &event);
    bool anyLimits() const;

    QStandardItemModel *const m_devices;
    QWidget *const m_window;
    QPointer<RowWriter> m_writer;
    QVector<DeviceRunSummary> m_summaries;
    QDateTime m_start;
    QString m_folder;
    bool m_running = false;
    bool m_sawLimits = false;
    // The alarm log and the summary are written: limits at Start and a folder.
    bool m_writesFiles = false;
    QPointer<RunSummaryWindow> m_summaryWindow;
};
