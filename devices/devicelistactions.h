#pragma once

#include "devices/devicelistfile.h"

#include <QFileDialog>
#include <QList>
#include <QObject>

class MainWindow;
class Publisher;
class QAction;
class QMenu;
class QStandardItemModel;

namespace Ui {
class MainWindow;
class Publisher;
}

// Saving and opening device lists from the window: the tile area's context
// menu and the window's Ctrl+S and Ctrl+O. Further actions on the list are
// appended to contextMenu().
class DeviceListActions : public QObject
{
    Q_OBJECT

public:
    DeviceListActions(MainWindow *window, Ui::MainWindow *ui, QStandardItemModel *devices);

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

    OfferedValues offeredValues() const;
    LineChoices lineSettings() const;
    void applyLineSettings(const LineChoices &line);

    MainWindow *const m_window;
    Ui::MainWindow *const m_ui;
    QStandardItemModel *const m_devices;
    QMenu *m_menu = nullptr;
    Publisher *m_publisher = nullptr;
    // Where the last list was saved or opened, for this run only.
    QString m_directory;
};
