#pragma once

#include "devicelistfile.h"

#include <QFileDialog>
#include <QList>
#include <QObject>

class BenchForm;
class ModbusLine;
class Publisher;
class QAbstractItemView;
class QAction;
class QMenu;
class QStandardItemModel;
class QWidget;

// Saving and opening device lists from the window: the tile area's context
// menu and the window's Ctrl+S and Ctrl+O. Further actions on the list are
// appended to contextMenu().
class DeviceListActions : public QObject
{
    Q_OBJECT

public:
    // The context menu opens on `view`, which shows `devices`; the line's
    // settings in a file are taken into `form` only while `line` is closed.
    DeviceListActions(QWidget *window, QAbstractItemView *view, QStandardItemModel *devices, BenchForm *form,
                      const ModbusLine *line);

    QMenu *contextMenu() const { return m_menu; }

    // Appends the devices whose addresses are not listed yet, each as
    // 添加到列表 would; returns the addresses that were listed already.
    QList<int> addDevices(const QVector<DeviceEntry> &devices);

    // Lists are saved with the publishing settings, and opening one with
    // them hands them over.
    void setPublisher(Publisher *publisher) { m_publisher = publisher; }

private:
    QAction *newAction(const QString &text, const char *name, Qt::Key key);
    // Asks for a list file; an empty path when the operator cancels.
    QString askPath(QFileDialog::AcceptMode mode);
    void save();
    void open();
    void notify(const QString &text);

    QWidget *const m_window;
    QStandardItemModel *const m_devices;
    BenchForm *const m_form;
    const ModbusLine *const m_line;
    QMenu *m_menu = nullptr;
    Publisher *m_publisher = nullptr;
    // Where the last list was saved or opened, for this run only.
    QString m_directory;
};
