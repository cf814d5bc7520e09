#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

class QMessageBox;
class QWidget;
struct AlarmEvent;
struct Reading;

// One notice beside the window listing raised and cleared alarms, the latest
// first; it never takes the focus from the window. Laying out its text costs
// milliseconds, so a bench-wide excursion is shown a few times a second, not
// at every event: the first event at once, those that follow together.
class AlarmNotice : public QObject
{
    Q_OBJECT

public:
    explicit AlarmNotice(QWidget *window);

    void tell(const Reading &reading, const AlarmEvent &event);
    QStringList lines() const { return m_lines; }

private:
    void showLines();

    QWidget *const m_window;
    // Runs while the text shown is recent; lines told meanwhile wait for it.
    QTimer m_settle;
    bool m_waiting = false;
    QPointer<QMessageBox> m_notice;
    QStringList m_lines;
};
