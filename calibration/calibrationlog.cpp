#include "calibrationlog.h"

#include "calibrationfiles.h"
#include "csvline.h"
#include "rowwriter.h"
#include "timeformat.h"

#include <cmath>

namespace {

// Empty for a value that is none.
QString number(double value, int decimals)
{
    return std::isfinite(value) ? QString::number(value, 'f', decimals) : QString();
}

} // namespace

QStringList calibrationFields(const PointOutcome &outcome, int decimals, bool retracted)
{
    const int places = decimals + 2;
    const bool valued = outcome.hasValue;
    QString verdict = outcome.passed && valued ? QStringLiteral("合格") : QStringLiteral("不合格");
    if (retracted)
        verdict = QStringLiteral("撤销");
    return {secondsText(outcome.time), QString::number(outcome.address), outcome.serialNumber,
            QString::number(outcome.pointIndex), number(outcome.nominal, places),
            outcome.rising ? QStringLiteral("上行") : QStringLiteral("下行"), number(outcome.reference, places),
            valued ? number(outcome.indication, places) : QString(), outcome.unit,
            valued ? number(outcome.error, places) : QString(),
            valued ? number(outcome.errorPercentFs, 3) : QString(), number(outcome.permittedError, places),
            valued ? number(outcome.expandedUncertainty, places) : QString(),
            valued ? number(outcome.standardDeviation, places) : QString(), QString::number(outcome.count),
            outcome.steady ? QStringLiteral("是") : QStringLiteral("否"), verdict};
}

QString calibrationRow(const PointOutcome &outcome, int decimals, bool retracted)
{
    return csvLine(calibrationFields(outcome, decimals, retracted));
}

CalibrationLog::CalibrationLog(const QString &path, const QHash<int, int> &decimals, RowWriter *writer,
                               QObject *parent)
    : QObject(parent)
    , m_askedPath(path)
    , m_decimals(decimals)
    , m_writer(writer ? writer : new RowWriter(this))
{
    setObjectName(QStringLiteral("calibrationLog"));
    connect(m_writer, &RowWriter::created, this, &CalibrationLog::fileCreated);
    connect(m_writer, &RowWriter::lost, this, &CalibrationLog::rowsLost);
    m_writer->create(m_askedPath, calibrationHeader().toUtf8(), true);
}

QString CalibrationLog::path() const
{
    return m_createdAs.isEmpty() ? m_askedPath : m_createdAs;
}

void CalibrationLog::append(const QVector<PointOutcome> &outcomes)
{
    write(outcomes, false);
}

void CalibrationLog::retract(const QVector<PointOutcome> &outcomes)
{
    write(outcomes, true);
}

void CalibrationLog::write(const QVector<PointOutcome> &outcomes, bool retracted)
{
    // Its failure was told once: rows for no file are not counted again.
    if (m_notCreated)
        return;
    int dropped = 0;
    for (const PointOutcome &outcome : outcomes) {
        const QByteArray row = calibrationRow(outcome, m_decimals.value(outcome.address), retracted).toUtf8();
        if (!m_writer || !m_writer->append(m_askedPath, row))
            ++dropped;
    }
    if (dropped > 0)
        emit failed(tr("校准文件 %1 有 %2 行未能写入").arg(path()).arg(dropped));
}

void CalibrationLog::fileCreated(const QString &path, const QString &createdAs)
{
    if (path != m_askedPath || !m_createdAs.isEmpty() || m_notCreated)
        return;
    if (createdAs.isEmpty()) {
        m_notCreated = true;
        emit failed(tr("无法创建校准文件 %1").arg(path));
        return;
    }
    m_createdAs = createdAs;
}

void CalibrationLog::rowsLost(const QString &path, int rows)
{
    if (path != m_askedPath || m_notCreated)
        return;
    emit failed(tr("校准文件 %1 有 %2 行未能写入").arg(this->path()).arg(rows));
}
