#include "publishnotice.h"

#include "logging.h"

#include <QCoreApplication>
#include <QMessageBox>

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
        m_box = new QMessageBox(QMessageBox::Information, QCoreApplication::translate("MainWindow", "提示"),
                                QString(), QMessageBox::Ok, m_window);
        m_box->setObjectName(QStringLiteral("publishNotice"));
        m_box->setAttribute(Qt::WA_DeleteOnClose);
        m_box->setAttribute(Qt::WA_ShowWithoutActivating);
        m_box->setModal(false);
        // Station names and paths come from files: never markup.
        m_box->setTextFormat(Qt::PlainText);
    }
    QStringList lines = m_events;
    for (const QString &line : {m_connection, m_dropped}) {
        if (!line.isEmpty())
            lines << line;
    }
    m_box->setText(lines.join(QLatin1Char('\n')));
    if (show && !m_box->isVisible())
        m_box->show();
}
