#include "recordnotices.h"

#include "notice.h"
#include "rowwriter.h"

#include <QCoreApplication>
#include <QStringList>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

} // namespace

void reportUncreatedFiles(QWidget *window, const QStringList &paths)
{
    Notice::of(window, QStringLiteral("uncreatedFilesNotice"), tr("提示"))
        ->tell(tr("以下记录文件无法创建，这些设备本次不记录：\n%1").arg(paths.join(QLatin1Char('\n'))));
}

void reportUncreatedAlarmFiles(QWidget *window, const QStringList &paths)
{
    Notice::of(window, QStringLiteral("alarmFilesNotice"), tr("提示"))
        ->tell(tr("以下报警记录与汇总文件无法创建，本次不保存：\n%1").arg(paths.join(QLatin1Char('\n'))));
}

RecordWriteNotice::RecordWriteNotice(QWidget *window, const RowWriter *writer)
    : QObject(window)
    , window(window)
    , writer(writer)
{
}

void RecordWriteNotice::rowsLost(const QString &path, int rows, bool mayBeTorn)
{
    tellIf(path, losses.lost(path, rows, mayBeTorn));
}

void RecordWriteNotice::rowsWritten(const QString &path)
{
    tellIf(path, losses.written(path));
}

void RecordWriteNotice::rowRefused(const QString &path)
{
    tellIf(path, losses.refused(path));
}

void RecordWriteNotice::rowAccepted(const QString &path)
{
    losses.accepted(path);
}

void RecordWriteNotice::cutBack(const QString &path, bool done)
{
    tellIf(path, losses.cutBack(path, done));
}

void RecordWriteNotice::newRecording()
{
    losses.newRecording(writer->waitingFiles());
}

void RecordWriteNotice::tellIf(const QString &path, bool news)
{
    // A file of the last recording is followed until its last row is settled.
    if (losses.isEarlier(path) && writer->waitingRows(path) == 0)
        news = losses.settled(path) || news;
    if (!news)
        return;
    if (!notice) {
        notice = Notice::of(window, QStringLiteral("recordWriteNotice"), tr("提示"));
        connect(notice, &QObject::destroyed, this, [this] { losses.forgetSettled(); });
    }
    notice->tell(losses.text());
}
