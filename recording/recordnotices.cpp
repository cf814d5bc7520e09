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

void reportLostRows(QWidget *parent, const QStringList &paths)
{
    auto *notice = new QMessageBox(QMessageBox::Information, tr("提示"),
                                   tr("以下记录文件无法写入，记录数据正在丢失：\n%1").arg(paths.join(QLatin1Char('\n'))),
                                   QMessageBox::Ok, parent);
    notice->setObjectName(QStringLiteral("recordWriteNotice"));
    notice->setAttribute(Qt::WA_DeleteOnClose);
    notice->setModal(false);
    notice->show();
}
