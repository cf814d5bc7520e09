#pragma once

#include "mainwindow.h"
#include "devicerecords.h"

#include "common/modalanswer.h"
#include "common/windowaccess.h"

#include <QComboBox>
#include <QFileDialog>
#include <QObject>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTimer>
#include <QtTest>

#include <functional>

// The window's serial line and poll cycle as a test drives them.

inline QPushButton *openButton(const MainWindow &window)
{
    return widget<QPushButton>(window, "btnOpen");
}

inline bool portIsClosed(const MainWindow &window)
{
    return openButton(window)->text() == QStringLiteral("打开串口");
}

// Clicks the open button of an open port, which closes it.
inline void clickClose(const MainWindow &window)
{
    QTest::mouseClick(openButton(window), Qt::LeftButton);
}

inline void clickStop(const MainWindow &window)
{
    QTest::mouseClick(widget<QPushButton>(window, "btnStop"), Qt::LeftButton);
}

// One poll cycle, run as the poll timer runs it, to its end.
inline bool runPollCycle(MainWindow &window)
{
    QSignalSpy finished(widget<QObject>(window, "pollCycle"), SIGNAL(finished()));
    return QMetaObject::invokeMethod(&window, "MB_POLL") && finished.wait(30000);
}

// Runs `action` from the event loop `delayMs` after the poll cycle has next
// stored the record of `row`: during the 50 ms pause that follows, or later,
// while the next device's request is in flight.
class AfterRecordStored
{
public:
    AfterRecordStored(const MainWindow &window, int row, int delayMs, std::function<void()> action)
        : m_action(std::move(action))
    {
        QObject::connect(deviceModel(window), &QAbstractItemModel::dataChanged, &m_context,
                         [this, row, delayMs](const QModelIndex &topLeft, const QModelIndex &,
                                              const QVector<int> &roles) {
                             if (m_scheduled || topLeft.row() != row || !roles.contains(ItemDataRole))
                                 return;
                             m_scheduled = true;
                             QTimer::singleShot(delayMs, &m_context, [this] {
                                 m_action();
                                 m_done = true;
                             });
                         });
    }

    bool done() const { return m_done; }

private:
    std::function<void()> m_action;
    QObject m_context;
    bool m_scheduled = false;
    bool m_done = false;
};

// Runs `action` 20 ms after the poll cycle has stored the record of `row`,
// that is during the pause that follows.
class DuringPause : public AfterRecordStored
{
public:
    DuringPause(const MainWindow &window, int row, std::function<void()> action)
        : AfterRecordStored(window, row, 20, std::move(action))
    {
    }
};
