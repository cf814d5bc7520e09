#include "devicerecords.h"
#include "alarmevaluation.h"
#include "itemdelegate.h"
#include "tilelayout.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QStandardItemModel>
#include <QStyleOptionViewItem>
#include <QtTest>

class TestItemDelegate : public QObject
{
    Q_OBJECT

private slots:
    void lampTakesStatusColour_data();
    void lampTakesStatusColour();
    void frameFollowsSelectionAndHover_data();
    void frameFollowsSelectionAndHover();
    void composesTexts_data();
    void composesTexts();
    void drawsAddressAndReadings();
    void drawsFailureStatisticsInTopLine_data();
    void drawsFailureStatisticsInTopLine();
    void marksAlarms_data();
    void marksAlarms();
    void namesItsMap_data();
    void namesItsMap();
    void marksTheReference_data();
    void marksTheReference();
    void sizeHintIsFixed();
    void invalidIndexDrawsNothing();
    void leavesPainterAsItWas();
    void metaObjectHasNoExtras();

private:
    static QImage paintTile(const ItemData &record, const QVariant &status, QStyle::State state, int alarms = 0,
                            bool reference = false);
};

static QColor background()
{
    return QColor(Qt::white);
}

QImage TestItemDelegate::paintTile(const ItemData &record, const QVariant &status, QStyle::State state, int alarms,
                                   bool reference)
{
    QStandardItemModel model;
    auto *item = new QStandardItem;
    if (reference)
        item->setData(true, ReferenceRole);
    if (alarms)
        item->setData(alarms, AlarmRole);
    if (status.isValid())
        item->setData(status, StatusRole);
    item->setData(QVariant::fromValue(record), ItemDataRole);
    model.appendRow(item);

    QImage image(520, 110, QImage::Format_RGB32);
    image.fill(background());
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 500, 100);
    option.state = state;
    ItemDelegate delegate;
    delegate.paint(&painter, option, model.index(0, 0));
    return image;
}

void TestItemDelegate::lampTakesStatusColour_data()
{
    QTest::addColumn<QVariant>("status");
    QTest::addColumn<int>("state");
    QTest::addColumn<QColor>("centre");
    QTest::addColumn<QColor>("edge");

    const int none = int(QStyle::State_None);
    const int selected = int(QStyle::State_Selected);
    const int hover = int(QStyle::State_MouseOver);
    const QColor selectedFill(229, 241, 255);
    QTest::newRow("offline") << QVariant(0) << none << QColor(Qt::red) << QColor(Qt::red);
    QTest::newRow("good") << QVariant(1) << none << QColor(Qt::green) << QColor(Qt::green);
    QTest::newRow("poor") << QVariant(2) << none << QColor(Qt::yellow) << QColor(Qt::yellow);
    QTest::newRow("poor, selected") << QVariant(2) << selected << QColor(Qt::yellow) << QColor(Qt::yellow);
    QTest::newRow("missing status reads as offline") << QVariant() << none << QColor(Qt::red) << QColor(Qt::red);
    QTest::newRow("3: frame look") << QVariant(3) << none << background() << QColor(Qt::gray);
    QTest::newRow("-1: frame look") << QVariant(-1) << none << background() << QColor(Qt::gray);
    QTest::newRow("3, hover") << QVariant(3) << hover << background() << QColor(Qt::green);
    QTest::newRow("-1, selected") << QVariant(-1) << selected << selectedFill << QColor(Qt::blue);
}

void TestItemDelegate::lampTakesStatusColour()
{
    QFETCH(QVariant, status);
    QFETCH(int, state);
    QFETCH(QColor, centre);
    QFETCH(QColor, edge);

    const QImage image = paintTile(newDeviceRecord(1, QStringLiteral("KPa"), 0, 1), status, QStyle::State(state));
    const QRect lamp = tileLayout(QRect(0, 0, 500, 100)).lamp;
    QCOMPARE(QColor(image.pixel(lamp.center())), centre);
    QCOMPARE(QColor(image.pixel(lamp.left(), lamp.center().y())), edge);
}

void TestItemDelegate::frameFollowsSelectionAndHover_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QColor>("outline");
    QTest::addColumn<QColor>("inside");

    const QColor selectedFill(229, 241, 255);
    QTest::newRow("plain") << int(QStyle::State_None) << QColor(Qt::gray) << background();
    QTest::newRow("hover") << int(QStyle::State_MouseOver) << QColor(Qt::green) << background();
    QTest::newRow("selected") << int(QStyle::State_Selected) << QColor(Qt::blue) << selectedFill;
    QTest::newRow("selected and hover") << int(QStyle::State_Selected | QStyle::State_MouseOver)
                                        << QColor(Qt::blue) << selectedFill;
}

void TestItemDelegate::frameFollowsSelectionAndHover()
{
    QFETCH(int, state);
    QFETCH(QColor, outline);
    QFETCH(QColor, inside);

    const QImage image = paintTile(newDeviceRecord(1, QStringLiteral("KPa"), 0, 1), QVariant(1), QStyle::State(state));
    // Straight edges at x = 0, x = 499, y = 0 and y = 99.
    for (const QPoint &point : {QPoint(250, 0), QPoint(250, 99), QPoint(0, 50), QPoint(499, 50)})
        QCOMPARE(QColor(image.pixel(point)), outline);
    QCOMPARE(QColor(image.pixel(450, 40)), inside);
    // Outside the frame nothing is filled: beyond the right edge and in a rounded corner.
    QCOMPARE(QColor(image.pixel(505, 20)), background());
    QCOMPARE(QColor(image.pixel(0, 0)), background());
    QCOMPARE(QColor(image.pixel(499, 99)), background());
}

void TestItemDelegate::composesTexts_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("pressure");
    QTest::addColumn<QString>("temperature");
    QTest::addColumn<QString>("addressLine");
    QTest::addColumn<QString>("pressureLine");
    QTest::addColumn<QString>("temperatureLine");

    QTest::newRow("just added") << 1 << "KPa" << "" << "" << "设备地址: 1" << "压力:  KPa" << "温度:  ℃";
    QTest::newRow("read") << 47 << "psi" << "14.696" << "23.5" << "设备地址: 47" << "压力: 14.696 psi"
                          << "温度: 23.5 ℃";
    QTest::newRow("highest address, negative") << 254 << "Pa" << "-3" << "-1.0" << "设备地址: 254"
                                               << "压力: -3 Pa" << "温度: -1.0 ℃";
}

void TestItemDelegate::composesTexts()
{
    QFETCH(int, address);
    QFETCH(QString, unit);
    QFETCH(QString, pressure);
    QFETCH(QString, temperature);

    ItemData record = newDeviceRecord(quint8(address), unit, 0, 1);
    record.pressureText = pressure;
    record.temperatureText = temperature;
    QTEST(addressText(record), "addressLine");
    QTEST(pressureLineText(record), "pressureLine");
    QTEST(temperatureLineText(record), "temperatureLine");
}

static int countPixels(const QImage &image, const QRect &region, const std::function<bool(const QColor &)> &test)
{
    int count = 0;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            count += test(QColor(image.pixel(x, y))) ? 1 : 0;
    return count;
}

void TestItemDelegate::drawsAddressAndReadings()
{
    ItemData record = newDeviceRecord(47, QStringLiteral("KPa"), 0, 1);
    record.pressureText = QStringLiteral("101.325");
    record.temperatureText = QStringLiteral("23.5");
    const QImage image = paintTile(record, QVariant(1), QStyle::State_None);
    const TileLayout layout = tileLayout(QRect(0, 0, 500, 100));

    const auto dark = [](const QColor &c) { return c.red() < 60 && c.green() < 60 && c.blue() < 60; };
    const auto grayish = [](const QColor &c) { return c != background() && qAbs(c.red() - c.blue()) < 30 && c.red() > 60; };
    QVERIFY(countPixels(image, layout.address, dark) > 20);
    QVERIFY(countPixels(image, layout.pressure, grayish) > 20);
    QVERIFY(countPixels(image, layout.temperature.intersected(image.rect()), grayish) > 20);
    // Nothing is drawn between the address line and the reading lines.
    QCOMPARE(countPixels(image, QRect(40, 36, 400, 10), [](const QColor &c) { return c != background(); }), 0);
}

void TestItemDelegate::marksAlarms_data()
{
    QTest::addColumn<int>("alarms");
    QTest::addColumn<bool>("pressureRed");
    QTest::addColumn<bool>("temperatureRed");

    QTest::newRow("none") << 0 << false << false;
    QTest::newRow("pressure high") << int(PressureHighAlarm) << true << false;
    QTest::newRow("temperature low") << int(TemperatureLowAlarm) << false << true;
    QTest::newRow("pressure low and temperature high")
        << int(PressureLowAlarm | TemperatureHighAlarm) << true << true;
}

void TestItemDelegate::marksAlarms()
{
    QFETCH(int, alarms);
    QFETCH(bool, pressureRed);
    QFETCH(bool, temperatureRed);

    ItemData record = newDeviceRecord(247, QStringLiteral("KPa"), 3, 1);
    record.pressureText = QStringLiteral("105.412");
    record.temperatureText = QStringLiteral("61.5");
    record.failCount = 4294967295u;
    record.totalCount = 4294967295u;
    const QImage image = paintTile(record, QVariant(int(Good)), QStyle::State_None, alarms);
    const TileLayout layout = tileLayout(QRect(0, 0, 500, 100));

    const auto red = [](const QColor &c) { return c.red() > 180 && c.green() < 90 && c.blue() < 90; };
    const auto grayish = [](const QColor &c) { return c != background() && qAbs(c.red() - c.blue()) < 30 && c.red() > 60; };
    QCOMPARE(countPixels(image, layout.pressure, red) > 20, pressureRed);
    QCOMPARE(countPixels(image, layout.temperature.intersected(image.rect()), red) > 20, temperatureRed);
    // 报警 in the top line's free part, clear of the address and the longest statistics.
    QCOMPARE(countPixels(image, layout.alarm, red) > 20, alarms != 0);
    QCOMPARE(countPixels(image, layout.address, red), 0);
    const QRect statisticsText(layout.alarm.right() + 1, layout.statistics.top(),
                               layout.statistics.right() - layout.alarm.right(), layout.statistics.height());
    QCOMPARE(countPixels(image, statisticsText, red), 0);
    QVERIFY(countPixels(image, statisticsText, grayish) > 20);
    // The lamp still tells how the device answers.
    QCOMPARE(QColor(image.pixel(layout.lamp.center())), QColor(Qt::green));
}

void TestItemDelegate::namesItsMap_data()
{
    QTest::addColumn<QString>("map");
    QTest::addColumn<int>("alarms");
    QTest::addColumn<uint>("counts");
    QTest::addColumn<bool>("named");

    QTest::newRow("标准 is not named") << standardMapName() << 0 << 0u << false;
    QTest::newRow("another map") << "float-abcd-bar" << 0 << 0u << true;
    QTest::newRow("after 报警") << "float-abcd-bar" << int(PressureHighAlarm) << 0u << true;
    QTest::newRow("long name, largest counts")
        << "a-map-with-a-name-far-too-long-for-the-top-line" << 0 << 4294967295u << true;
}

void TestItemDelegate::namesItsMap()
{
    QFETCH(QString, map);
    QFETCH(int, alarms);
    QFETCH(uint, counts);
    QFETCH(bool, named);

    ItemData record = newDeviceRecord(247, QStringLiteral("KPa"), 3, 1);
    record.map.name = map;
    record.failCount = counts;
    record.totalCount = counts;
    const QImage image = paintTile(record, QVariant(int(Good)), QStyle::State_None, alarms);
    const TileLayout layout = tileLayout(QRect(0, 0, 500, 100));

    // Between 报警 (bold, 12 points) and the statistics (10 points), 8 pixels clear of each.
    const int statisticsLeft = layout.statistics.right()
        - QFontMetrics(QFont(QStringLiteral("Times"), 10), &image).horizontalAdvance(statisticsText(record)) + 1;
    const int alarmRight = alarms ? layout.alarm.left()
            + QFontMetrics(QFont(QStringLiteral("Times"), 12, QFont::Bold), &image).horizontalAdvance("报警")
                                  : layout.alarm.left();
    const QRect free(alarmRight + 1, layout.statistics.top(), statisticsLeft - alarmRight - 2,
                     layout.statistics.height());
    const QRect gapBeforeStatistics(statisticsLeft - 8, free.top(), 7, free.height());
    const auto gray = [](const QColor &c) { return c != background() && qAbs(c.red() - c.blue()) < 30; };
    const auto drawn = [](const QColor &c) { return c != background(); };
    QVERIFY2(free.width() > 40, qPrintable(QString::number(free.width())));
    QCOMPARE(countPixels(image, free, gray) > 20, named);
    QCOMPARE(countPixels(image, gapBeforeStatistics, drawn), 0);
    if (alarms)
        QCOMPARE(countPixels(image, QRect(alarmRight + 1, free.top(), 7, free.height()), drawn), 0);
}

void TestItemDelegate::marksTheReference_data()
{
    QTest::addColumn<bool>("reference");
    QTest::addColumn<QString>("map");
    QTest::addColumn<int>("alarms");

    QTest::newRow("not the reference") << false << standardMapName() << 0;
    QTest::newRow("the reference") << true << standardMapName() << 0;
    QTest::newRow("the reference, after 报警") << true << standardMapName() << int(PressureHighAlarm);
    QTest::newRow("the reference, then its map") << true << "float-abcd-bar" << 0;
    QTest::newRow("a map only") << false << "float-abcd-bar" << 0;
}

void TestItemDelegate::marksTheReference()
{
    QFETCH(bool, reference);
    QFETCH(QString, map);
    QFETCH(int, alarms);

    ItemData record = newDeviceRecord(12, QStringLiteral("KPa"), 3, 1);
    record.map.name = map;
    const QImage image = paintTile(record, QVariant(int(Good)), QStyle::State_None, alarms, reference);
    const TileLayout layout = tileLayout(QRect(0, 0, 500, 100));

    // 参考表 (10 points) where the free part of the top line starts: after
    // 报警 (bold, 12 points) and 8 pixels, else at the alarm's place.
    const int start = alarms ? layout.alarm.left()
            + QFontMetrics(QFont(QStringLiteral("Times"), 12, QFont::Bold), &image).horizontalAdvance("报警") + 8
                             : layout.alarm.left();
    const int width = QFontMetrics(QFont(QStringLiteral("Times"), 10), &image).horizontalAdvance("参考表");
    const QRect marked(start, layout.statistics.top(), width, layout.statistics.height());
    const auto blue = [](const QColor &c) {
        return c.blue() > 80 && c.blue() > c.red() + 40 && c.blue() > c.green() + 40;
    };
    const auto gray = [](const QColor &c) { return c != background() && qAbs(c.red() - c.blue()) < 30; };
    QCOMPARE(countPixels(image, marked, blue) > 20, reference);
    // The map's name follows 8 pixels after it, or takes its place.
    const QRect after(start + (reference ? width + 8 : 0), marked.top(), 60, marked.height());
    QCOMPARE(countPixels(image, after, gray) > 20, map != standardMapName());
    QCOMPARE(countPixels(image, after, blue), 0);
    QCOMPARE(countPixels(image, layout.address, blue), 0);
}

void TestItemDelegate::drawsFailureStatisticsInTopLine_data()
{
    QTest::addColumn<uint>("failures");
    QTest::addColumn<uint>("polls");
    QTest::addColumn<QString>("text");

    QTest::newRow("fresh") << 0u << 0u << "失败/总次数：0/0";
    QTest::newRow("some failures") << 3u << 1000u << "失败/总次数：3/1000";
    QTest::newRow("largest counts") << 4294967295u << 4294967295u << "失败/总次数：4294967295/4294967295";
}

void TestItemDelegate::drawsFailureStatisticsInTopLine()
{
    QFETCH(uint, failures);
    QFETCH(uint, polls);
    QFETCH(QString, text);

    ItemData record = newDeviceRecord(254, QStringLiteral("KPa"), 0, 1);
    record.failCount = failures;
    record.totalCount = polls;
    QCOMPARE(statisticsText(record), text);

    const QRect tile(0, 0, 500, 100);
    const TileLayout layout = tileLayout(tile);
    QVERIFY(!layout.statistics.intersects(layout.address));
    QVERIFY(tile.contains(layout.statistics));
    QVERIFY(layout.statistics.bottom() < layout.pressure.top());

    const QImage image = paintTile(record, QVariant(1), QStyle::State_None);
    const auto grayish = [](const QColor &c) { return c != background() && qAbs(c.red() - c.blue()) < 30 && c.red() > 60; };
    QVERIFY(countPixels(image, layout.statistics, grayish) > 20);

    // The text changes with the counts, and only in its own region.
    ItemData other = record;
    other.failCount = failures + 1;
    const QImage changed = paintTile(other, QVariant(1), QStyle::State_None);
    QVERIFY(image.copy(layout.statistics) != changed.copy(layout.statistics));
    QImage outside = image;
    QImage changedOutside = changed;
    for (QImage *picture : {&outside, &changedOutside}) {
        QPainter blank(picture);
        blank.fillRect(layout.statistics, Qt::black);
    }
    QCOMPARE(outside, changedOutside);
}

void TestItemDelegate::sizeHintIsFixed()
{
    ItemDelegate delegate;
    QStyleOptionViewItem option;
    QCOMPARE(delegate.sizeHint(option, QModelIndex()), QSize(500, 100));
    option.rect = QRect(0, 0, 10, 10);
    option.font.setPointSize(40);
    QStandardItemModel model;
    model.appendRow(newDeviceItem(newDeviceRecord(254, QStringLiteral("Kgf/cm2"), 5, 9999)));
    QCOMPARE(delegate.sizeHint(option, model.index(0, 0)), QSize(500, 100));
}

void TestItemDelegate::invalidIndexDrawsNothing()
{
    QImage image(520, 110, QImage::Format_RGB32);
    image.fill(background());
    const QImage before = image;
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 500, 100);
    ItemDelegate().paint(&painter, option, QModelIndex());
    painter.end();
    QCOMPARE(image, before);
}

void TestItemDelegate::leavesPainterAsItWas()
{
    QImage image(520, 110, QImage::Format_RGB32);
    QPainter painter(&image);
    const QPen pen(Qt::magenta, 3);
    const QBrush brush(Qt::cyan, Qt::Dense4Pattern);
    const QFont font(QStringLiteral("Courier"), 7);
    painter.setPen(pen);
    painter.setBrush(brush);
    painter.setFont(font);
    const QFont fontBefore = painter.font();
    const QPainter::RenderHints hintsBefore = painter.renderHints();

    QStandardItemModel model;
    model.appendRow(newDeviceItem(newDeviceRecord(3, QStringLiteral("Pa"), 0, 1)));
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 500, 100);
    ItemDelegate().paint(&painter, option, model.index(0, 0));

    QCOMPARE(painter.pen(), pen);
    QCOMPARE(painter.brush(), brush);
    QCOMPARE(painter.font(), fontBefore);
    QCOMPARE(painter.renderHints(), hintsBefore);
}

void TestItemDelegate::metaObjectHasNoExtras()
{
    const QMetaObject &meta = ItemDelegate::staticMetaObject;
    QCOMPARE(meta.className(), "ItemDelegate");
    QCOMPARE(meta.superClass(), &QStyledItemDelegate::staticMetaObject);
    QCOMPARE(meta.methodCount(), meta.methodOffset());
    QCOMPARE(meta.propertyCount(), meta.propertyOffset());
}

QTEST_MAIN(TestItemDelegate)
#include "tst_itemdelegate.moc"
