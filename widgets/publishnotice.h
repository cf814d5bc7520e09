#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class Notice;
class QWidget;

// What publishing has to tell the operator, in one notice beside the window
// that is updated in place and never takes the focus: the broker's state,
// readings lost to the queue's bound, and settings taken from a file.
class PublishNotice : public QObject
{
    Q_OBJECT

public:
    explicit PublishNotice(QWidget *window);

    // Updates the notice in place; `show` also brings a closed one back.
    void setConnection(const QString &text, bool show);
    void setDropped(const QString &text);
    // Adds a line about something that happened in this session.
    void tell(const QString &event);
    void clear();

private:
    void refresh(bool show);

    QWidget *const m_window;
    QPointer<Notice> m_box;
    QStringList m_events;
    QString m_connection;
    QString m_dropped;
};
