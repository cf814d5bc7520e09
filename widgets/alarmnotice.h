#pragma once

#include <QObject>
#include <QPointer>
#include <QSize>
#include <QStringList>
#include <QTimer>
#include <QVector>

class QDialog;
class QLabel;
class QWidget;
struct AlarmEvent;
struct Reading;

// One notice beside the window listing raised and cleared alarms, the latest
// first; it never takes the focus from the window. A bench-wide excursion
// brings events by the dozen a second, and laying out the notice for 30
// lines costs tens of milliseconds: the first event is shown at once, those
// that follow together at most once a second, and the text goes into room
// already laid out whenever it fits there.
class AlarmNotice : public QObject
{
    Q_OBJECT

public:
    explicit AlarmNotice(QWidget *window);

    void tell(const Reading &reading, const AlarmEvent &event);
    QStringList lines() const { return m_lines; }

private:
    void showLines();
    void makeNotice();
    QSize textSize() const;

    QWidget *const m_window;
    QPointer<QDialog> m_notice;
    QPointer<QLabel> m_text;
    QStringList m_lines;
    // The width of each line, measured once.
    QVector<int> m_widths;
    // The text the notice was last laid out for fits in this.
    QSize m_room;
    // Runs while the text shown is recent; lines told meanwhile wait for it.
    QTimer m_settle;
    bool m_waiting = false;
};
