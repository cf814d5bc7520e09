#pragma once

#include "alarmevaluation.h"
#include "reading.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <deque>

class Notice;
class QWidget;

// One notice beside the window listing raised and cleared alarms, the latest
// first. A bench-wide excursion brings events by the dozen a second: the
// first event is shown at once, those that follow together at most every two
// seconds (drawing the notice's lines is most of an event's cost), and a line
// is written out only when it is shown.
class AlarmNotice : public QObject
{
    Q_OBJECT

public:
    explicit AlarmNotice(QWidget *window);

    void tell(const Reading &reading, const AlarmEvent &event);

private:
    struct Told {
        Reading reading;
        AlarmEvent event;
        // Empty until the line is first shown.
        QString line;
    };

    void showLines();
    QString lineOf(const Told &told) const;

    QWidget *const m_window;
    QPointer<Notice> m_notice;
    // The latest first.
    std::deque<Told> m_told;
    // Runs while the text shown is recent; lines told meanwhile wait for it.
    QTimer m_settle;
    bool m_waiting = false;
};
