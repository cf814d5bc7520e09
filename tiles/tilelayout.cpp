#include "tilelayout.h"

#include "itemdata.h"

#include <QCoreApplication>

namespace {

QString translate(const char *text)
{
    return QCoreApplication::translate("ItemDelegate", text);
}

} // namespace

TileLayout tileLayout(const QRect &rect)
{
    const int left = rect.left();
    const int top = rect.top();
    return TileLayout{
        QRect(left + 10, top + 10, 15, 15),
        QRect(left + 34, top + 10, 140, 20),
        // The rest of the top line, right of the address, ends inside the frame.
        QRect(left + 180, top + 10, rect.width() - 190, 20),
        QRect(left + 10, top + 50, 250, 30),
        QRect(left + 269, top + 50, 240, 30),
        QRect(left + 180, top + 10, 60, 20),
    };
}

QPainterPath tileFrame(const QRect &rect)
{
    constexpr qreal radius = 7.0;
    const QRectF frame(rect.left(), rect.top(), rect.width() - 1, rect.height() - 1);
    const qreal left = frame.left();
    const qreal top = frame.top();
    const qreal right = frame.right();
    const qreal bottom = frame.bottom();

    QPainterPath path;
    path.moveTo(right - radius, top);
    path.lineTo(left + radius, top);
    path.quadTo(left, top, left, top + radius);
    path.lineTo(left, bottom - radius);
    path.quadTo(left, bottom, left + radius, bottom);
    path.lineTo(right - radius, bottom);
    path.quadTo(right, bottom, right, bottom - radius);
    path.lineTo(right, top + radius);
    path.quadTo(right, top, right - radius, top);
    return path;
}

QColor lampColor(int status)
{
    switch (status) {
    case Offline:
        return QColor(Qt::red);
    case Good:
        return QColor(Qt::green);
    case Poor:
        return QColor(Qt::yellow);
    default:
        return QColor();
    }
}

QString addressText(const ItemData &record)
{
    return translate("设备地址: %1").arg(record.address);
}

QString statisticsText(const ItemData &record)
{
    return translate("失败/总次数：%1/%2").arg(QString::number(record.failCount), QString::number(record.totalCount));
}

QString pressureLineText(const ItemData &record)
{
    // Two substitutions in turn, the unit after the reading.
    const QString value = record.pressureInvalid ? translate("无效") : record.pressureText;
    return translate("压力: %1 %2").arg(value).arg(record.unit); // clazy:exclude=qstring-arg
}

QString temperatureLineText(const ItemData &record)
{
    return translate("温度: %1 ℃").arg(record.temperatureInvalid ? translate("无效") : record.temperatureText);
}
