#include "linenotice.h"

#include "logging.h"
#include "notice.h"
#include "timeformat.h"

#include <QCoreApplication>
#include <QDateTime>

namespace {

// A weekend of a flaky cable must not grow the notice past the screen.
constexpr int KeptEvents = 20;

QString translated(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

QString stamped(const QDateTime &when, const QString &what)
{
    return secondsText(when) + QLatin1Char(' ') + what;
}

} // namespace

LineNotice::LineNotice(QWidget *window)
    : QObject(window)
    , window(window)
{
}

void LineNotice::openFailed(const QDateTime &when, const QString &reason)
{
    tell(stamped(when, translated("无法打开线路：") + reason));
}

void LineNotice::lineLost(const QDateTime &when, LineSettings::Transport transport)
{
    tell(stamped(when, transport != LineSettings::Transport::Serial ? translated("连接中断，正在自动重新连接")
                                                                    : translated("串口连接中断，正在自动重新连接")));
}

void LineNotice::lineRestored(const QDateTime &when, LineSettings::Transport transport)
{
    tell(stamped(when, transport != LineSettings::Transport::Serial ? translated("连接已恢复")
                                                                    : translated("串口连接已恢复")));
}

void LineNotice::tell(const QString &event)
{
    qCDebug(lcLine).noquote() << event;
    events << event;
    while (events.size() > KeptEvents)
        events.removeFirst();
    if (!notice) {
        notice = Notice::of(window, QStringLiteral("lineNotice"), translated("提示"));
        // What the operator closed was read; the next event starts afresh.
        connect(notice, &QObject::destroyed, this, [this] { events.clear(); });
    }
    notice->tell(events.join(QLatin1Char('\n')));
}
