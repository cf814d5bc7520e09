#include "alarmnotice.h"

#include "reading.h"
#include "alarmevaluation.h"
#include "alarmformat.h"
#include "timeformat.h"

#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QStyle>

#include <algorithm>

namespace {

// A night of a device wandering about its limit keeps the notice on screen.
constexpr int KeptLines = 30;
constexpr int SettleMs = 1000;

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
    const bool pressure = isPressureAlarm(event.kind);
    const QString unit = pressure ? reading.unit : tr("℃");
    QString line = tr("%1 设备地址%2 %3%4 值 %5 %6")
                       .arg(secondsText(reading.time),
                            QString::number(reading.address), alarmQuantityText(event.kind), alarmEventText(event),
                            fixedNumber(event.value, pressure ? reading.decimals : 1), unit);
    const QString limit = limitNumber(event.limit);
    if (!limit.isEmpty())
        line += tr(" 限值 %1 %2").arg(limit, unit);
    m_lines.prepend(line);
    m_widths.prepend(m_text ? m_text->fontMetrics().horizontalAdvance(line) : 0);
    while (m_lines.size() > KeptLines) {
        m_lines.removeLast();
        m_widths.removeLast();
    }

    if (m_settle.isActive())
        m_waiting = true;
    else
        showLines();
}

void AlarmNotice::showLines()
{
    m_waiting = false;
    m_settle.start();
    if (!m_notice) {
        makeNotice();
        for (int i = 0; i < m_lines.size(); ++i)
            m_widths[i] = m_text->fontMetrics().horizontalAdvance(m_lines.at(i));
    }
    const QString text = m_lines.join(QLatin1Char('\n'));
    const QSize size = textSize();
    if (m_notice->isVisible() && size.width() <= m_room.width() && size.height() <= m_room.height()) {
        // The label keeps its size: no layout, only a repaint.
        m_text->setText(text);
        return;
    }
    m_text->setMinimumSize(0, 0);
    m_text->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    m_text->setText(text);
    m_notice->show();
    m_text->setFixedSize(m_text->sizeHint());
    m_room = size;
}

void AlarmNotice::makeNotice()
{
    m_notice = new QDialog(m_window);
    m_notice->setObjectName(QStringLiteral("alarmNotice"));
    m_notice->setWindowTitle(tr("报警"));
    m_notice->setAttribute(Qt::WA_DeleteOnClose);
    m_notice->setAttribute(Qt::WA_ShowWithoutActivating);
    m_notice->setModal(false);
    // What the operator closed was read; the next event starts afresh.
    connect(m_notice, &QObject::destroyed, this, [this] {
        m_lines.clear();
        m_widths.clear();
        m_room = QSize();
    });

    QStyle *const style = m_notice->style();
    const int iconExtent = style->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, m_notice);
    auto *icon = new QLabel(m_notice);
    icon->setPixmap(style->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, m_notice).pixmap(iconExtent));
    // Plain text that cannot be selected is drawn as it is: a label that lets
    // the text be selected rebuilds a whole text document at every change.
    m_text = new QLabel(m_notice);
    m_text->setObjectName(QStringLiteral("alarmLines"));
    m_text->setTextFormat(Qt::PlainText);
    m_text->setTextInteractionFlags(Qt::NoTextInteraction);
    m_text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, m_notice);
    connect(buttons, &QDialogButtonBox::accepted, m_notice, &QWidget::close);

    auto *layout = new QGridLayout(m_notice);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(icon, 0, 0, Qt::AlignTop);
    layout->addWidget(m_text, 0, 1);
    layout->addWidget(buttons, 1, 0, 1, 2);
}

QSize AlarmNotice::textSize() const
{
    const int widest = m_widths.isEmpty() ? 0 : *std::max_element(m_widths.cbegin(), m_widths.cend());
    return QSize(widest, m_lines.size() * m_text->fontMetrics().lineSpacing());
}
