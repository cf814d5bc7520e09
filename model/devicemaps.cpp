#include "devicemaps.h"

#include "devicerecords.h"

#include <QStandardItemModel>

QList<int> addressesUsingMap(const QStandardItemModel *devices, const QString &name)
{
    QList<int> addresses;
    for (int row = 0; row < devices->rowCount(); ++row) {
        const ItemData record = readRecord(devices, row);
        if (record.map.name == name)
            addresses << record.address;
    }
    return addresses;
}

int replaceMap(QStandardItemModel *devices, const QString &name, const RegisterMap &map)
{
    QList<int> rows;
    for (int row = 0; row < devices->rowCount(); ++row) {
        if (readRecord(devices, row).map.name == name)
            rows << row;
    }
    assignMap(devices, rows, map);
    return rows.size();
}

void assignMap(QStandardItemModel *devices, const QList<int> &rows, const RegisterMap &map)
{
    for (const int row : rows) {
        ItemData record = readRecord(devices, row);
        if (record.map == map)
            continue;
        record.map = map;
        writeRecord(devices, row, record);
    }
}
