#include "recording/recordnotices.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QStringList>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

} // namespace

void reportUncreatedFiles(QWidget *parent, const QStringList &paths)
{
    QMessageBox::information(parent, tr("提示"),
                             tr("以下记录文件无法创建，这些设备本次不记录：\n%1").arg(paths.join(QLatin1Char('\n'))),
                             QMessageBox::Ok);
}

RecordWriteNotice::RecordWriteNotice(QWidget *window)
    : QObject(window)
    , window(window)
{
}

void RecordWriteNotice::rowsLost(const QString &path, int rows, bool mayBeTorn)
{
    if (losses.lost(path, rows, mayBeTorn))
        tell();
}

void RecordWriteNotice::rowsWritten(const QString &path)
{
    if (losses.written(path))
        tell();
}

void RecordWriteNotice::forget()
{
    losses.forgetAll();
}

void RecordWriteNotice::tell()
{
    if (!notice) {
        notice = new QMessageBox(QMessageBox::Information, tr("提示"), QString(), QMessageBox::Ok, window);
        notice->setObjectName(QStringLiteral("recordWriteNotice"));
        notice->setAttribute(Qt::WA_DeleteOnClose);
        notice->setAttribute(Qt::WA_ShowWithoutActivating);
        notice->setModal(false);
        connect(notice, &QObject::destroyed, this, [this] { losses.forgetSettled(); });
    }
    notice->setText(losses.text());
    notice->show();
}
