#pragma once

#include "calibrationresult.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <optional>

class CalibrationCertificates;
class CalibrationLog;
class ReportMaker;
class RowWriter;
class RunVerdict;
class QWidget;

// Where a calibration pass leaves its file of points and its certificates:
// the run's alarm and summary folder while recording (made then if the run
// has none yet), else a folder the operator picks. Points taken before the
// run's folder is made wait for it; so do the certificates of a pass ended
// that soon.
class CalibrationOutput : public QObject
{
    Q_OBJECT

public:
    using FolderChooser = std::function<QString()>;

    CalibrationOutput(RunVerdict *verdict, ReportMaker *maker, QWidget *window);
    ~CalibrationOutput() override;

    // Wired to the run's start and end.
    void runStarted(const QDateTime &start, const QString &folder, RowWriter *writer);
    void runEnded();

    // Replaces the folder dialog asked when no run records.
    void setFolderChooser(FolderChooser chooser) { m_chooseFolder = std::move(chooser); }

    // A pass begins at `start`: false when no folder could be had for it.
    bool begin(const QDateTime &start, const QHash<int, int> &decimals);
    void append(const QVector<PointOutcome> &outcomes);
    void retract(const QVector<PointOutcome> &outcomes);
    // The certificates of a finished pass, one per device.
    void finish(const CalibrationResult &result);

    // The folder of the current or last pass; empty while the run's is being made.
    QString folder() const { return m_folder; }
    QString logPath() const;

signals:
    // Something the operator should know: where the files went, or why not.
    void told(const QString &text);

private:
    void folderReady(const QString &folder);
    void writeCertificates(const CalibrationResult &result);

    RunVerdict *const m_verdict;
    CalibrationCertificates *const m_certificates;
    QWidget *const m_window;
    FolderChooser m_chooseFolder;
    bool m_recording = false;
    QString m_folder;
    QDateTime m_start;
    QHash<int, int> m_decimals;
    CalibrationLog *m_log = nullptr;
    // Waiting for the run's folder.
    QVector<QVector<PointOutcome>> m_pending;
    QVector<bool> m_pendingRetracted;
    std::optional<CalibrationResult> m_pendingResult;
    // Certificates asked for and not yet told.
    QSet<QString> m_asked;
};
