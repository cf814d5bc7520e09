#pragma once

#include "itemdata.h"

#include <QList>

class QModelIndex;
class QStandardItem;
class QStandardItemModel;

// The record of a fresh device: counters at zero, no readings, no file.
ItemData newDeviceRecord(quint8 address, const QString &unit, quint16 decimals, quint16 recordPeriod);

// An item carrying status Offline and the record, ready to be appended.
QStandardItem *newDeviceItem(const ItemData &record);

// The record of a row; the value-initialised record for a row that holds none.
ItemData readRecord(const QStandardItemModel *model, int row);
void writeRecord(QStandardItemModel *model, int row, const ItemData &record);
void writeStatus(QStandardItemModel *model, int row, int status);
int readStatus(const QModelIndex &index);

bool containsAddress(const QStandardItemModel *model, int address);

// The address of the device that is the bench's reference, 0 when none is.
int referenceAddress(const QStandardItemModel *model);
// Makes the device at `address` the reference and no other; 0 makes none.
void markReference(QStandardItemModel *model, int address);

// Distinct rows, highest first, so that removing them one by one never shifts
// a row that is still to be removed.
QList<int> rowsForRemoval(const QList<QModelIndex> &sourceIndexes);
