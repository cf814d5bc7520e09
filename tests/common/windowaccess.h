#pragma once

#include "app/mainwindow.h"

#include <QListView>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QtTest>

// The window's parts as a user or a test reaches them: by object name, and the
// models through the list view that shows them.
template <typename T>
T *widget(const MainWindow &window, const char *name)
{
    T *found = window.findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no widget named %s", name);
    return found;
}

inline QListView *listView(const MainWindow &window)
{
    return widget<QListView>(window, "listView");
}

inline QSortFilterProxyModel *proxyModel(const MainWindow &window)
{
    return qobject_cast<QSortFilterProxyModel *>(listView(window)->model());
}

inline QStandardItemModel *deviceModel(const MainWindow &window)
{
    return qobject_cast<QStandardItemModel *>(proxyModel(window)->sourceModel());
}

#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>

// Adds a device the way the operator does: set the device widgets, click add.
inline void addDevice(const MainWindow &window, int address, const QString &unit = QStringLiteral("KPa"),
                      int decimals = 0, int period = 1)
{
    widget<QSpinBox>(window, "spinBox_ID")->setValue(address);
    widget<QComboBox>(window, "cBoxUnit")->setCurrentText(unit);
    widget<QSpinBox>(window, "spinBox_dotnum")->setValue(decimals);
    widget<QSpinBox>(window, "spinBox_period")->setValue(period);
    QTest::mouseClick(widget<QPushButton>(window, "btnAddreader"), Qt::LeftButton);
}
