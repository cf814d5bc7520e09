#pragma once

#include <QColor>
#include <QPainterPath>
#include <QRect>
#include <QString>

struct ItemData;

// Where the parts of one tile go, for a tile painted into `rect`.
struct TileLayout
{
    QRect lamp;
    QRect address;
    QRect statistics;
    QRect pressure;
    QRect temperature;
    // The free start of the top line's right part, where an alarm is named.
    QRect alarm;
};

TileLayout tileLayout(const QRect &rect);

// The rounded frame: radius 7, each corner a quadratic curve through the corner.
QPainterPath tileFrame(const QRect &rect);

// The lamp colour of a status; invalid for a value that is no status.
QColor lampColor(int status);

QString addressText(const ItemData &record);
QString statisticsText(const ItemData &record);
QString pressureLineText(const ItemData &record);
QString temperatureLineText(const ItemData &record);
