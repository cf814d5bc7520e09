#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class CalibrationOutput;
class CalibrationPass;
class CalibrationWindow;
class Polling;
class QAction;
class QMenu;
class QStandardItemModel;
class QWidget;

// 校准… in the tile area's menu and on Ctrl+K, while the bench polls: opens
// the calibration window, or brings it up when it is open.
class CalibrationActions : public QObject
{
    Q_OBJECT

public:
    CalibrationActions(QWidget *window, QMenu *menu, QStandardItemModel *devices, CalibrationPass *pass,
                       CalibrationOutput *output, Polling *polling, std::function<QString()> station,
                       std::function<QString()> line);

    void openWindow();
    // Null until first opened.
    CalibrationWindow *calibrationWindow() const;

private:
    void pollingChanged();

    QWidget *const m_window;
    QStandardItemModel *const m_devices;
    CalibrationPass *const m_pass;
    CalibrationOutput *const m_output;
    Polling *const m_polling;
    const std::function<QString()> m_station;
    const std::function<QString()> m_line;
    QAction *const m_action;
    QPointer<CalibrationWindow> m_calibrationWindow;
};
