#include "devicerecords.h"

#include <QStandardItem>
#include <QStandardItemModel>

#include <algorithm>
#include <functional>

ItemData newDeviceRecord(quint8 address, const QString &unit, quint16 decimals, quint16 recordPeriod)
{
    ItemData record;
    record.address = address;
    record.unit = unit;
    record.decimals = decimals;
    record.recordPeriod = recordPeriod;
    return record;
}

QStandardItem *newDeviceItem(const ItemData &record)
{
    auto *item = new QStandardItem;
    item->setData(int(Offline), StatusRole);
    item->setData(QVariant::fromValue(record), ItemDataRole);
    return item;
}

ItemData readRecord(const QStandardItemModel *model, int row)
{
    return qvariant_cast<ItemData>(model->index(row, 0).data(ItemDataRole));
}

void writeRecord(QStandardItemModel *model, int row, const ItemData &record)
{
    model->setData(model->index(row, 0), QVariant::fromValue(record), ItemDataRole);
}

void writeStatus(QStandardItemModel *model, int row, int status)
{
    model->setData(model->index(row, 0), QVariant(status), StatusRole);
}

int readStatus(const QModelIndex &index)
{
    return index.data(StatusRole).toInt();
}

bool containsAddress(const QStandardItemModel *model, int address)
{
    for (int row = 0; row < model->rowCount(); ++row) {
        if (uint(readRecord(model, row).address) == uint(address))
            return true;
    }
    return false;
}

int referenceAddress(const QStandardItemModel *model)
{
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, 0).data(ReferenceRole).toBool())
            return readRecord(model, row).address;
    }
    return 0;
}

void markReference(QStandardItemModel *model, int address)
{
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        const bool reference = address != 0 && readRecord(model, row).address == address;
        // Only the rows that change: each change repaints a tile.
        if (index.data(ReferenceRole).toBool() != reference)
            model->setData(index, reference ? QVariant(true) : QVariant(), ReferenceRole);
    }
}

QList<int> rowsForRemoval(const QList<QModelIndex> &sourceIndexes)
{
    QList<int> rows;
    for (const QModelIndex &index : sourceIndexes) {
        if (index.isValid())
            rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}
