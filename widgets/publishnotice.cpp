#include "publishnotice.h"

#include "logging.h"
#include "notice.h"

#include <QCoreApplication>

PublishNotice::PublishNotice(QWidget *window)
    : QObject(window)
    , m_window(window)
{
}

void PublishNotice::setConnection(const QString &text, bool show)
{
    if (text == m_connection)
        return;
    m_connection = text;
    qCDebug(lcPublishing).noquote() << "MQTT:" << text;
    refresh(show);
}

void PublishNotice::setDropped(const QString &text)
{
    m_dropped = text;
    refresh(true);
}

void PublishNotice::tell(const QString &event)
{
    if (!m_events.contains(event))
        m_events << event;
    refresh(true);
}

void PublishNotice::clear()
{
    m_events.clear();
    m_connection.clear();
    m_dropped.clear();
}

void PublishNotice::refresh(bool show)
{
    if (!m_box && !show)
        return;
    if (!m_box) {
        m_box = Notice::of(m_window, QStringLiteral("publishNotice"),
                           QCoreApplication::translate("MainWindow", "提示"));
    }
    QStringList lines = m_events;
    for (const QString &line : {m_connection, m_dropped}) {
        if (!line.isEmpty())
            lines << line;
    }
    const QString text = lines.join(QLatin1Char('\n'));
    if (show)
        m_box->tell(text);
    else
        m_box->setText(text);
}
