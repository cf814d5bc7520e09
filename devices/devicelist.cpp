#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "devices/devicerecords.h"

#include <QItemSelectionModel>
#include <QMessageBox>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>

void MainWindow::on_btnAddreader_clicked()
{
    // The spin box reaches 254, but only 1 to 247 are slave addresses: the
    // line refuses the others, so such a device could never answer.
    if (!isSlaveAddress(ui->spinBox_ID->value())) {
        QMessageBox::information(this, tr("提示"), tr("Modbus 从站地址只能是 1 到 247"), QMessageBox::Ok);
        return;
    }
    // Every row takes part, also those the current filter hides.
    if (containsAddress(deviceModel, ui->spinBox_ID->value())) {
        QMessageBox::information(this, tr("提示"), tr("该设备已经在列表里"), QMessageBox::Ok);
        return;
    }

    const ItemData record = newDeviceRecord(quint8(ui->spinBox_ID->value()),
                                            ui->cBoxUnit->currentText(),
                                            quint16(ui->spinBox_dotnum->value()),
                                            quint16(ui->spinBox_period->value()));
    deviceModel->appendRow(QList<QStandardItem *>{newDeviceItem(record)});
}

void MainWindow::on_btnDelreader_clicked()
{
    // Map every selected tile before removing anything: removal shifts rows.
    QList<QModelIndex> sourceIndexes;
    const QModelIndexList selected = ui->listView->selectionModel()->selectedIndexes();
    for (const QModelIndex &index : selected)
        sourceIndexes.append(proxyModel->mapToSource(index));

    const QList<int> rows = rowsForRemoval(sourceIndexes);
    for (const int row : rows)
        deviceModel->removeRows(row, 1, QModelIndex());
}

void MainWindow::on_btnClrList_clicked()
{
    deviceModel->clear();
}
