#include "alarmnotice.h"

#include "alarmformat.h"
#include "notice.h"
#include "timeformat.h"

#include <QStringList>

namespace {

// A night of a device wandering about its limit keeps the notice on screen.
constexpr int KeptLines = 30;
constexpr int SettleMs = 2000;

} // namespace

AlarmNotice::AlarmNotice(QWidget *window)
    : QObject(window)
    , m_window(window)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(SettleMs);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        if (m_waiting)
            showLines();
    });
}

void AlarmNotice::tell(const Reading &reading, const AlarmEvent &event)
{
    m_told.push_front({reading, event, QString()});
    if (m_told.size() > size_t(KeptLines))
        m_told.pop_back();

    if (m_settle.isActive())
        m_waiting = true;
    else
        showLines();
}

void AlarmNotice::showLines()
{
    m_settle.start();
    // Nothing is drawn out of sight: the lines wait, and are looked at again
    // every two seconds until the notice can be seen.
    m_waiting = m_notice && (m_notice->isMinimized() || m_window->isMinimized());
    if (m_waiting)
        return;
    if (!m_notice) {
        m_notice = Notice::of(m_window, QStringLiteral("alarmNotice"), tr("报警"), QStyle::SP_MessageBoxWarning);
        m_notice->setTextName(QStringLiteral("alarmLines"));
        // What the operator closed was read; the next event starts afresh.
        connect(m_notice, &QObject::destroyed, this, [this] { m_told.clear(); });
    }
    QStringList lines;
    lines.reserve(int(m_told.size()));
    for (Told &told : m_told) {
        if (told.line.isEmpty())
            told.line = lineOf(told);
        lines << told.line;
    }
    m_notice->tell(lines.join(QLatin1Char('\n')));
}

QString AlarmNotice::lineOf(const Told &told) const
{
    const Reading &reading = told.reading;
    const AlarmEvent &event = told.event;
    const bool pressure = isPressureAlarm(event.kind);
    const QString unit = pressure ? reading.unit : tr("℃");
    QString line = tr("%1 设备地址%2 %3%4 值 %5 %6")
                       .arg(secondsText(reading.time),
                            QString::number(reading.address), alarmQuantityText(event.kind), alarmEventText(event),
                            fixedNumber(event.value, pressure ? reading.decimals : 1), unit);
    const QString limit = limitNumber(event.limit);
    if (!limit.isEmpty())
        line += tr(" 限值 %1 %2").arg(limit, unit);
    return line;
}
