#include "calibrationactions.h"

#include "calibrationwindow.h"
#include "polling.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

CalibrationActions::CalibrationActions(QWidget *window, QMenu *menu, QStandardItemModel *devices,
                                       CalibrationPass *pass, CalibrationOutput *output, Polling *polling,
                                       std::function<QString()> station, std::function<QString()> line)
    : QObject(window)
    , m_window(window)
    , m_devices(devices)
    , m_pass(pass)
    , m_output(output)
    , m_polling(polling)
    , m_station(std::move(station))
    , m_line(std::move(line))
    , m_action(new QAction(tr("校准…"), this))
{
    setObjectName(QStringLiteral("calibrationActions"));
    m_action->setObjectName(QStringLiteral("calibrationAction"));
    m_action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    m_action->setShortcutContext(Qt::WindowShortcut);
    connect(m_action, &QAction::triggered, this, &CalibrationActions::openWindow);
    menu->addAction(m_action);
    // The shortcut works without the menu open.
    window->addAction(m_action);
    connect(m_polling, &Polling::stateChanged, this, &CalibrationActions::pollingChanged);
    pollingChanged();
}

void CalibrationActions::openWindow()
{
    if (!m_calibrationWindow) {
        m_calibrationWindow = new CalibrationWindow(m_devices, m_pass, m_output, m_station, m_line, m_window);
        m_calibrationWindow->setPolling(m_polling->isStarted());
    }
    m_calibrationWindow->show();
    m_calibrationWindow->raise();
    m_calibrationWindow->activateWindow();
}

CalibrationWindow *CalibrationActions::calibrationWindow() const
{
    return m_calibrationWindow;
}

void CalibrationActions::pollingChanged()
{
    const bool polling = m_polling->isStarted();
    // A window already open stays, with its points, whatever polling does.
    m_action->setEnabled(polling || m_calibrationWindow);
    if (m_calibrationWindow)
        m_calibrationWindow->setPolling(polling);
}
