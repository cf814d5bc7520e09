#include "calibrationoutput.h"

#include "calibrationcertificates.h"
#include "calibrationfiles.h"
#include "calibrationlog.h"
#include "reportmaker.h"
#include "runverdict.h"

#include <QDir>
#include <QFileDialog>
#include <QWidget>

CalibrationOutput::CalibrationOutput(RunVerdict *verdict, ReportMaker *maker, QWidget *window)
    : QObject(window)
    , m_verdict(verdict)
    , m_certificates(new CalibrationCertificates(maker, this))
    , m_window(window)
    , m_chooseFolder([window] {
        return QFileDialog::getExistingDirectory(window, tr("校准文件保存到"), QDir::homePath());
    })
{
    setObjectName(QStringLiteral("calibrationOutput"));
    connect(m_verdict, &RunVerdict::folderReady, this, &CalibrationOutput::folderReady);
    // The maker also draws the run's reports: only the certificates asked for here are told.
    connect(m_certificates->maker(), &ReportMaker::written, this, [this](const QString &path) {
        if (m_asked.remove(path))
            emit told(tr("校准证书已写入 %1").arg(QDir::toNativeSeparators(path)));
    });
    connect(m_certificates->maker(), &ReportMaker::failed, this, [this](const QString &path, const QString &why) {
        if (m_asked.remove(path))
            emit told(tr("校准证书无法写入：%1（%2）").arg(QDir::toNativeSeparators(path), why));
    });
}

CalibrationOutput::~CalibrationOutput() = default;

void CalibrationOutput::runStarted(const QDateTime &, const QString &folder, RowWriter *)
{
    m_recording = !folder.isEmpty();
}

void CalibrationOutput::runEnded()
{
    m_recording = false;
}

bool CalibrationOutput::begin(const QDateTime &start, const QHash<int, int> &decimals)
{
    delete m_log;
    m_log = nullptr;
    m_pending.clear();
    m_pendingRetracted.clear();
    m_pendingResult.reset();
    m_start = start;
    m_decimals = decimals;
    m_folder.clear();
    if (m_recording) {
        // The run's folder, made by the run's writer if it has none yet.
        m_verdict->requireFolder();
        if (!m_verdict->folderPath().isEmpty())
            folderReady(m_verdict->folderPath());
        return true;
    }
    const QString chosen = m_chooseFolder();
    if (chosen.isEmpty())
        return false;
    folderReady(chosen);
    return true;
}

void CalibrationOutput::folderReady(const QString &folder)
{
    if (!m_start.isValid() || m_log || folder.isEmpty())
        return;
    m_folder = folder;
    // A writer of the log's own: the file outlives the run it started in.
    m_log = new CalibrationLog(QDir(folder).filePath(calibrationFileName(m_start)), m_decimals, nullptr, this);
    connect(m_log, &CalibrationLog::failed, this, &CalibrationOutput::told);
    for (int i = 0; i < m_pending.size(); ++i) {
        if (m_pendingRetracted.at(i))
            m_log->retract(m_pending.at(i));
        else
            m_log->append(m_pending.at(i));
    }
    m_pending.clear();
    m_pendingRetracted.clear();
    if (m_pendingResult) {
        writeCertificates(*m_pendingResult);
        m_pendingResult.reset();
    }
}

void CalibrationOutput::append(const QVector<PointOutcome> &outcomes)
{
    if (m_log) {
        m_log->append(outcomes);
        return;
    }
    m_pending.append(outcomes);
    m_pendingRetracted.append(false);
}

void CalibrationOutput::retract(const QVector<PointOutcome> &outcomes)
{
    if (m_log) {
        m_log->retract(outcomes);
        return;
    }
    m_pending.append(outcomes);
    m_pendingRetracted.append(true);
}

void CalibrationOutput::finish(const CalibrationResult &result)
{
    if (m_folder.isEmpty()) {
        m_pendingResult = result;
        return;
    }
    writeCertificates(result);
}

void CalibrationOutput::writeCertificates(const CalibrationResult &result)
{
    const QStringList paths = m_certificates->write(result, m_folder);
    for (const QString &path : paths)
        m_asked.insert(path);
    emit told(tr("校准完成：%1 份校准证书将写入 %2").arg(paths.size()).arg(QDir::toNativeSeparators(m_folder)));
}

QString CalibrationOutput::logPath() const
{
    return m_log ? m_log->path() : QString();
}
