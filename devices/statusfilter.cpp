#include "app/mainwindow.h"

#include "devices/itemdata.h"

#include <QAbstractButton>
#include <QDebug>
#include <QSortFilterProxyModel>

void MainWindow::onButtonClicked(QAbstractButton *button)
{
    qDebug().noquote() << "filter button:" << button->text();
}

void MainWindow::on_redBtn_clicked()
{
    if (proxyModel)
        proxyModel->setFilterFixedString(QString::number(Offline, 10));
}

void MainWindow::on_greenBtn_clicked()
{
    if (proxyModel)
        proxyModel->setFilterFixedString(QString::number(Good, 10));
}

void MainWindow::on_yellowBtn_clicked()
{
    if (proxyModel)
        proxyModel->setFilterFixedString(QString::number(Poor, 10));
}

void MainWindow::on_allBtn_clicked()
{
    if (proxyModel)
        proxyModel->setFilterFixedString(QString());
}
