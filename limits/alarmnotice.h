#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

class QMessageBox;
class QWidget;
struct AlarmEvent;
struct Reading;

// One notice beside the window listing raised and cleared alarms, the latest
// first; it never takes the focus from the window.
class AlarmNotice : public QObject
{
    Q_OBJECT

public:
    explicit AlarmNotice(QWidget *window);

    void tell(const Reading &reading, const AlarmEvent &event);
    QStringList lines() const { return m_lines; }

private:
    QWidget *const m_window;
    QPointer<QMessageBox> m_notice;
    QStringList m_lines;
};
