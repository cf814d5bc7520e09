#pragma once

#include "itemdata.h"
#include "runreport.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QStandardItemModel;
class RecordingSession;
class ReportMaker;
class RowWriter;
class RunVerdict;

// The report of every run: written by itself into the run's alarm and
// summary folder at the first of 停止, closing the port and closing the
// window, whenever the run has that folder, and on demand for the current or
// last run. The run is taken as it stands on the window's thread; the pages
// are drawn, and the record files read back, on the maker's thread.
class RunReporting : public QObject
{
    Q_OBJECT

public:
    // `station` and `line` name the bench and its line at Start; `window`,
    // the parent, is watched for its close.
    RunReporting(QStandardItemModel *devices, RunVerdict *verdict, RecordingSession *recording,
                 std::function<QString()> station, std::function<QString()> line, QObject *window);

    ReportMaker *maker() const { return m_maker; }
    // Whether a run has started since the program did.
    bool hasRun() const { return m_start.isValid(); }
    // The report of the current or last run to `path`; the maker tells how it went.
    void writeTo(const QString &path);
    // A name for it: in the run's folder when it has one, else in the record folder.
    QString suggestedPath() const;

    // Wired to the run's start and end, after the verdict.
    void runStarted(const QDateTime &start, const QString &folder, RowWriter *writer);
    void runEnded();

protected:
    // The window closing gives every report still to come what is left of its bound.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    RunReportData snapshot() const;
    ReportedDevice describe(int address) const;
    // The record files and the alarm log have no rows left on their way to the disk.
    bool filesSettled(const RunReportData &data) const;

    QStandardItemModel *const m_devices;
    RunVerdict *const m_verdict;
    const std::function<QString()> m_station;
    const std::function<QString()> m_lineOf;
    ReportMaker *const m_maker;
    QDateTime m_start;
    QString m_folder;
    QString m_line;
    QPointer<RowWriter> m_writer;
    // The devices as Start left them, for those removed since.
    QList<ItemData> m_started;
};
