#include "itemdelegate.h"

#include "itemdata.h"
#include "alarmevaluation.h"
#include "tilelayout.h"

#include <QPainter>

namespace {

// Between the texts of the top line.
constexpr int FreeGap = 8;

} // namespace

ItemDelegate::ItemDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

void ItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                         const QModelIndex &index) const
{
    if (!index.isValid())
        return;

    painter->save();

    const int status = index.data(StatusRole).toInt();
    const ItemData record = qvariant_cast<ItemData>(index.data(ItemDataRole));

    if (option.state & QStyle::State_Selected) {
        painter->setPen(QPen(QColor(Qt::blue)));
        painter->setBrush(QBrush(QColor(229, 241, 255, 255), Qt::SolidPattern));
    } else if (option.state & QStyle::State_MouseOver) {
        painter->setPen(QPen(QColor(Qt::green)));
        painter->setBrush(Qt::NoBrush);
    } else {
        painter->setPen(QPen(QColor(Qt::gray)));
        painter->setBrush(Qt::NoBrush);
    }
    painter->drawPath(tileFrame(option.rect));

    const TileLayout layout = tileLayout(option.rect);

    // Any other status keeps the frame's pen and brush for the lamp.
    const QColor lamp = lampColor(status);
    if (lamp.isValid()) {
        painter->setBrush(QBrush(lamp, Qt::SolidPattern));
        painter->setPen(QPen(lamp));
    }
    painter->drawEllipse(layout.lamp);

    QFont addressFont(QStringLiteral("Times"), 12, QFont::Bold, false);
    painter->setPen(QPen(QColor(Qt::black)));
    painter->setFont(addressFont);
    painter->drawText(layout.address, Qt::AlignLeft, addressText(record));

    QFont statisticsFont(QStringLiteral("Times"), 10, -1, false);
    painter->setPen(QPen(QColor(Qt::gray)));
    painter->setFont(statisticsFont);
    const QString statistics = statisticsText(record);
    painter->drawText(layout.statistics, Qt::AlignRight | Qt::AlignVCenter, statistics);
    // What the top line leaves free between the address and the statistics.
    QRect free = layout.statistics;
    free.setRight(layout.statistics.right() - painter->fontMetrics().horizontalAdvance(statistics) - FreeGap);

    // A reading beyond its limit is drawn in red; the lamp keeps telling how the device answers.
    const int alarms = index.data(AlarmRole).toInt();
    if (alarms) {
        painter->setPen(QPen(QColor(Qt::red)));
        painter->setFont(addressFont);
        painter->drawText(layout.alarm, Qt::AlignLeft | Qt::AlignVCenter, tr("报警"));
        free.setLeft(layout.alarm.left() + painter->fontMetrics().horizontalAdvance(tr("报警")) + FreeGap);
    }

    // The bench's reference says so first: readings are compared with it.
    if (index.data(ReferenceRole).toBool() && free.width() > 0) {
        painter->setPen(QPen(QColor(Qt::darkBlue)));
        painter->setFont(statisticsFont);
        const QString reference = tr("参考表");
        painter->drawText(free, Qt::AlignLeft | Qt::AlignVCenter,
                          painter->fontMetrics().elidedText(reference, Qt::ElideRight, free.width()));
        free.setLeft(free.left() + painter->fontMetrics().horizontalAdvance(reference) + FreeGap);
    }

    // A transmitter read with a map of its own says which, so that a wrong
    // map is seen at once; elided when the counts leave little room.
    if (record.map.name != standardMapName() && free.width() > 0) {
        painter->setPen(QPen(QColor(Qt::gray)));
        painter->setFont(statisticsFont);
        const QString name = tr("映射：%1").arg(record.map.name);
        painter->drawText(free, Qt::AlignLeft | Qt::AlignVCenter,
                          painter->fontMetrics().elidedText(name, Qt::ElideRight, free.width()));
    }

    QFont readingFont(QStringLiteral("Times"), 18, -1, false);
    painter->setFont(readingFont);
    painter->setPen(QPen(QColor(alarms & (PressureHighAlarm | PressureLowAlarm) ? Qt::red : Qt::gray)));
    painter->drawText(layout.pressure, Qt::AlignLeft, pressureLineText(record));
    painter->setPen(QPen(QColor(alarms & (TemperatureHighAlarm | TemperatureLowAlarm) ? Qt::red : Qt::gray)));
    painter->drawText(layout.temperature, Qt::AlignLeft, temperatureLineText(record));

    painter->restore();
}

QSize ItemDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const
{
    return QSize(500, 100);
}
