#include "recordnotices.h"

#include "rowwriter.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QStringList>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

// A notice beside the window that never takes the focus, made once and
// updated in place.
QMessageBox *noticeBox(QWidget *window, const QString &name)
{
    if (auto *box = window->findChild<QMessageBox *>(name))
        return box;
    auto *box = new QMessageBox(QMessageBox::Information, tr("提示"), QString(), QMessageBox::Ok, window);
    box->setObjectName(name);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setAttribute(Qt::WA_ShowWithoutActivating);
    box->setModal(false);
    return box;
}

} // namespace

void reportUncreatedFiles(QWidget *window, const QStringList &paths)
{
    QMessageBox *box = noticeBox(window, QStringLiteral("uncreatedFilesNotice"));
    box->setText(tr("以下记录文件无法创建，这些设备本次不记录：\n%1").arg(paths.join(QLatin1Char('\n'))));
    box->show();
}

void reportUncreatedAlarmFiles(QWidget *window, const QStringList &paths)
{
    QMessageBox *box = noticeBox(window, QStringLiteral("alarmFilesNotice"));
    box->setText(tr("以下报警记录与汇总文件无法创建，本次不保存：\n%1").arg(paths.join(QLatin1Char('\n'))));
    box->show();
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
        notice = noticeBox(window, QStringLiteral("recordWriteNotice"));
        connect(notice, &QObject::destroyed, this, [this] { losses.forgetSettled(); });
    }
    notice->setText(losses.text());
    notice->show();
}
