#pragma once

#include "registermap.h"

#include <QList>

class QStandardItemModel;

// Which listed devices are read with which register map: each device's
// record carries its whole map, so a map changed or renamed reaches the
// devices only through these.

// The addresses of the devices read with the map named `name`, in list order.
QList<int> addressesUsingMap(const QStandardItemModel *devices, const QString &name);

// Gives every device read with the map named `name` the map `map`, which may
// bear another name; returns how many devices it gave it to.
int replaceMap(QStandardItemModel *devices, const QString &name, const RegisterMap &map);

// Gives the devices in `rows` the map `map`.
void assignMap(QStandardItemModel *devices, const QList<int> &rows, const RegisterMap &map);
