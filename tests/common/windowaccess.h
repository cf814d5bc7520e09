#pragma once

#include "pollcycle.h"
#include "mainwindow.h"
#include "devicerecords.h"
#include "recordingsession.h"
#include "rowwriter.h"

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
#include <QFileDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTimer>

#include "common/modalanswer.h"

#include <functional>

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

// Double-clicks the tile of a source row as a mouse does: a click, then the
// double-click (QTest's double-click alone lacks the first press).
inline void doubleClickTile(const MainWindow &window, int row)
{
    QListView *view = listView(window);
    view->doItemsLayout();
    const QModelIndex index = proxyModel(window)->mapFromSource(deviceModel(window)->index(row, 0));
    const QPoint centre = view->visualRect(index).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
}

inline ItemData recordAt(const MainWindow &window, int row)
{
    return readRecord(deviceModel(window), row);
}

// Every listed device's settings, in list order: "address unit decimals period".
inline QStringList listedDevices(const MainWindow &window)
{
    QStringList result;
    for (int row = 0; row < deviceModel(window)->rowCount(); ++row) {
        const ItemData record = recordAt(window, row);
        result << QStringLiteral("%1 %2 %3 %4")
                      .arg(record.address)
                      .arg(record.unit)
                      .arg(record.decimals)
                      .arg(record.recordPeriod);
    }
    return result;
}

inline int statusAt(const MainWindow &window, int row)
{
    return deviceModel(window)->index(row, 0).data(StatusRole).toInt();
}

// The window's own timers, in the order it creates them.
inline QTimer *pollTimer(const MainWindow &window)
{
    return window.findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly).value(0);
}

inline QTimer *recordTimer(const MainWindow &window)
{
    return window.findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly).value(1);
}

inline bool portIsOpen(const MainWindow &window)
{
    return widget<QPushButton>(window, "btnOpen")->text() == QStringLiteral("关闭串口");
}

// Types `path` into the port box, clicks the open button and waits until the
// line's owner has tried to open it; true when the port is open afterwards.
inline bool openPort(const MainWindow &window, const QString &path)
{
    widget<QComboBox>(window, "cboxPortName")->setEditText(path);
    QSignalSpy tried(widget<QObject>(window, "modbusLine"), SIGNAL(openFinished(bool)));
    QTest::mouseClick(widget<QPushButton>(window, "btnOpen"), Qt::LeftButton);
    if (!tried.wait(10000))
        return false;
    return portIsOpen(window);
}

// Waits until no poll cycle runs: after Stop, the running cycle ends with
// every request it sent answered or timed out.
inline bool waitForPollCycleEnd(const MainWindow &window, int timeoutMs = 30000)
{
    const PollCycle *cycle = widget<PollCycle>(window, "pollCycle");
    return QTest::qWaitFor([cycle] { return !cycle->isRunning(); }, timeoutMs);
}

inline RecordingSession *recordingSession(const MainWindow &window)
{
    return widget<RecordingSession>(window, "recordingSession");
}

// Waits until every file asked of the record writer was created or reported
// uncreated and every row handed to it was written or reported lost, and the
// outcome has reached the window.
inline bool waitForRecordWrites(const MainWindow &window, int timeoutMs = 10000)
{
    const RowWriter *writer = recordingSession(window)->writer();
    return QTest::qWaitFor([writer] { return writer->isIdle(); }, timeoutMs);
}

// Chooses `directory` in the directory dialog, as the operator's OK does with
// nothing selected: the dialog takes the directory it shows.
inline void chooseDirectory(QFileDialog *dialog, const QString &directory)
{
    dialog->setDirectory(directory);
    static_cast<QDialog *>(dialog)->accept();
}

// Clicks Start and answers the directory dialog with `answer`; false when no
// dialog appeared.
inline bool clickStart(const MainWindow &window, std::function<void(QFileDialog *)> answer)
{
    const ModalAnswer<QFileDialog> dialog(std::move(answer));
    QTest::mouseClick(widget<QPushButton>(window, "btnStart"), Qt::LeftButton);
    return dialog.answered();
}

// Clicks Start and chooses `directory`, or cancels the dialog when it is
// empty, which polls without recording.
inline bool clickStart(const MainWindow &window, const QString &directory)
{
    return clickStart(window, [directory](QFileDialog *dialog) {
        if (directory.isEmpty())
            dialog->reject();
        else
            chooseDirectory(dialog, directory);
    });
}
