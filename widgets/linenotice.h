#pragma once

#include "linesettings.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

class QDateTime;
class Notice;
class QWidget;

// Tells the operator, without holding anything up, why the line could not be
// opened, when it was lost and when it came back: one notice beside the window that keeps the latest
// events with their times, and the debug output.
class LineNotice : public QObject
{
    Q_OBJECT

public:
    explicit LineNotice(QWidget *window);

    void openFailed(const QDateTime &when, const QString &reason);
    // A serial line's loss is its port's; a TCP line's, its connection's.
    void lineLost(const QDateTime &when, LineSettings::Transport transport);
    void lineRestored(const QDateTime &when, LineSettings::Transport transport);

private:
    void tell(const QString &event);

    QWidget *const window;
    QPointer<Notice> notice;
    QStringList events;
};
