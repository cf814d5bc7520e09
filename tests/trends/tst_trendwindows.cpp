#include "mainwindow.h"
#include "trendchartview.h"
#include "trendrecorder.h"
#include "trendwindow.h"
#include "trendwindows.h"

#include "common/modalanswer.h"
#include "common/windowaccess.h"
#include "alarms/limitsharness.h"
#include "simulatorprocess.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QLineSeries>
#include <QValueAxis>
#include <QPointer>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

// Long enough for a handful of polls of two devices, one of which times out
// every third poll.
constexpr int PollRunMs = 8000;

struct Poll
{
    bool failed = false;
    QString pressureText;
    QString temperatureText;
};

// Every poll of every device as its tile showed it afterwards.
class TileLog
{
public:
    explicit TileLog(const QStandardItemModel *model)
    {
        QObject::connect(model, &QAbstractItemModel::dataChanged, &m_context,
                         [this, model](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                             for (int row = topLeft.row(); row <= bottomRight.row(); ++row)
                                 sample(readRecord(model, row));
                         });
    }

    QList<Poll> pollsOf(int address) const { return m_polls.value(address); }

private:
    void sample(const ItemData &record)
    {
        QList<Poll> &polls = m_polls[record.address];
        if (record.totalCount <= quint32(polls.size()))
            return;
        const quint32 failures = record.failCount - quint32(std::count_if(polls.begin(), polls.end(),
                                                                          [](const Poll &p) { return p.failed; }));
        polls.append({failures > 0, record.pressureText, record.temperatureText});
    }

    QObject m_context;
    QHash<int, QList<Poll>> m_polls;
};

TrendWindows *trendWindows(const MainWindow &window)
{
    return window.findChild<TrendWindows *>();
}

const QStandardItem *deviceItem(const MainWindow &window, int row)
{
    return deviceModel(window)->item(row);
}

TrendWindow *trendWindowOf(const MainWindow &window, int row)
{
    return trendWindows(window)->windowFor(deviceItem(window, row));
}

QPoint viewPosition(const TrendChartView &view, const QPointF &value, TrendQuantity quantity)
{
    return view.mapFromScene(view.chart()->mapToScene(view.chart()->mapToPosition(value, view.series(quantity))));
}

} // namespace

class TestTrendWindows : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void opensOncePerDeviceAndClosesWithIt_data();
    void opensOncePerDeviceAndClosesWithIt();
    void savesPicture();
    void holdsWhatTheTileShowed();
    void drawsLimitsOnRoundTicks();
    void drawsReadingsAtFullPrecision_data();
    void drawsReadingsAtFullPrecision();

private:
    std::unique_ptr<SimulatorProcess> sim;
    std::unique_ptr<MainWindow> window;
};

void TestTrendWindows::init()
{
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestTrendWindows::cleanup()
{
    if (portIsOpen(*window))
        QTest::mouseClick(widget<QPushButton>(*window, "btnOpen"), Qt::LeftButton);
    window.reset();
    sim.reset();
}

void TestTrendWindows::opensOncePerDeviceAndClosesWithIt_data()
{
    QTest::addColumn<QString>("removal");
    QTest::addColumn<bool>("otherStays");

    QTest::newRow("device removed") << "btnDelreader" << true;
    QTest::newRow("list cleared") << "btnClrList" << false;
}

void TestTrendWindows::opensOncePerDeviceAndClosesWithIt()
{
    QFETCH(QString, removal);
    QFETCH(bool, otherStays);

    addDevice(*window, 7);
    addDevice(*window, 12, QStringLiteral("MPa"), 3);

    doubleClickTile(*window, 0);
    const QPointer<TrendWindow> first = trendWindowOf(*window, 0);
    QVERIFY(first);
    QVERIFY(first->isVisible());
    QVERIFY(first->windowTitle().contains(QStringLiteral("设备地址7")));
    // The tile is not edited: no editor opened over it.
    QVERIFY(!listView(*window)->findChild<QLineEdit *>());

    doubleClickTile(*window, 0);
    QCOMPARE(trendWindowOf(*window, 0), first.data());
    QCOMPARE(window->findChildren<TrendWindow *>().size(), 1);

    doubleClickTile(*window, 1);
    const QPointer<TrendWindow> second = trendWindowOf(*window, 1);
    QVERIFY(second && second != first);
    QVERIFY(second->windowTitle().contains(QStringLiteral("设备地址12")));
    QCOMPARE(window->findChildren<TrendWindow *>().size(), 2);

    // Remove the first device (the one the removed rows shift), or clear all.
    QItemSelectionModel *selection = listView(*window)->selectionModel();
    selection->clearSelection();
    selection->select(proxyModel(*window)->index(0, 0), QItemSelectionModel::Select);
    QTest::mouseClick(widget<QPushButton>(*window, removal.toLatin1().constData()), Qt::LeftButton);

    QVERIFY(first.isNull());
    QCOMPARE(!second.isNull(), otherStays);
    if (otherStays) {
        QVERIFY(second->isVisible());
        QCOMPARE(trendWindowOf(*window, 0), second.data());
    }
}

void TestTrendWindows::savesPicture()
{
    addDevice(*window, 3);
    doubleClickTile(*window, 0);
    TrendWindow *trend = trendWindowOf(*window, 0);
    QVERIFY(trend);
    QVERIFY(QTest::qWaitForWindowExposed(trend));

    const QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const ModalAnswer<QFileDialog> answer([&dir](QFileDialog *dialog) {
        // Typed into the name field: selectFile() leaves the field alone while it has focus.
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(dir.filePath(QStringLiteral("trend")));
        static_cast<QDialog *>(dialog)->accept();
    });
    QTest::mouseClick(trend->findChild<QPushButton *>(QStringLiteral("btnTrendSave")), Qt::LeftButton);
    QVERIFY(answer.answered());

    QImage picture;
    QVERIFY(picture.load(dir.filePath(QStringLiteral("trend.png")), "PNG"));
    QCOMPARE(picture.size(), trend->chartView()->size());
}

void TestTrendWindows::holdsWhatTheTileShowed()
{
    // Device 1 answers every poll; device 2 stays silent on every third.
    sim = std::make_unique<SimulatorProcess>(
        QStringList{"--slave", "1,pressure=wave:250000:5000:8,temp=wave:20:5:8",
                    "--slave", "2,pressure=wave:101325:2000:6,temp=wave:30:2:6,every=silent:3"});
    QVERIFY(sim->start());
    QVERIFY(openPort(*window, sim->devicePath()));
    addDevice(*window, 1, QStringLiteral("KPa"), 3);
    addDevice(*window, 2, QStringLiteral("MPa"), 4);
    const TileLog log(deviceModel(*window));
    doubleClickTile(*window, 0);
    doubleClickTile(*window, 1);

    QVERIFY(clickStart(*window, QString()));
    QTest::qWait(PollRunMs);
    QTest::mouseClick(widget<QPushButton>(*window, "btnStop"), Qt::LeftButton);

    const QList<QPair<int, int>> devices = {{1, 3}, {2, 4}}; // address, decimals
    for (int row = 0; row < devices.size(); ++row) {
        const int address = devices.at(row).first;
        const QList<Poll> polls = log.pollsOf(address);
        const int failures = int(std::count_if(polls.begin(), polls.end(), [](const Poll &p) { return p.failed; }));
        QVERIFY2(polls.size() >= 6, qPrintable(QString::number(polls.size())));
        QCOMPARE(failures > 0, address == 2);

        TrendWindow *trend = trendWindowOf(*window, row);
        QVERIFY(trend);
        TrendChartView *view = trend->chartView();
        QVERIFY(view->isFollowing());
        for (const TrendQuantity quantity : {TrendQuantity::Pressure, TrendQuantity::Temperature}) {
            const int decimals = quantity == TrendQuantity::Pressure ? devices.at(row).second : 1;
            QStringList expected;
            for (const Poll &poll : polls) {
                if (!poll.failed)
                    expected << (quantity == TrendQuantity::Pressure ? poll.pressureText : poll.temperatureText);
            }
            // Every poll has a column of its own: the drawn points are the
            // polls, and each failure breaks the line.
            QStringList drawn;
            int breaks = 0;
            for (const QPointF &point : view->drawnPoints(quantity)) {
                if (std::isnan(point.y()))
                    ++breaks;
                else
                    drawn << QString::number(point.y(), 'f', decimals);
            }
            QCOMPARE(drawn, expected);
            QCOMPARE(breaks, failures);
        }
    }

    // Hovering the last point of device 1 names its time and both readings.
    TrendChartView *view = trendWindowOf(*window, 0)->chartView();
    QVERIFY(QTest::qWaitForWindowExposed(view->window()));
    const QPointF last = view->drawnPoints(TrendQuantity::Pressure).constLast();
    QMouseEvent hover(QEvent::MouseMove, viewPosition(*view, last, TrendQuantity::Pressure), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &hover);
    const Poll lastPoll = log.pollsOf(1).constLast();
    const QString text = view->hoverText();
    QVERIFY2(text.contains(QDateTime::fromMSecsSinceEpoch(qint64(last.x())).toString("yyyy-MM-dd hh:mm:ss")),
             qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("压力：%1 KPa").arg(lastPoll.pressureText)), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("温度：%1 ℃").arg(lastPoll.temperatureText)), qPrintable(text));
}

void TestTrendWindows::drawsLimitsOnRoundTicks()
{
    // 97.2 to 98.8 KPa shown with no decimals: ticks must not repeat a label.
    sim = std::make_unique<SimulatorProcess>(QStringList{"--slave", "1,pressure=wave:98000:800:4,temp=20"});
    QVERIFY(sim->start());
    QVERIFY(openPort(*window, sim->devicePath()));
    addDevice(*window, 1, QStringLiteral("KPa"), 0);
    doubleClickTile(*window, 0);
    TrendChartView *view = trendWindowOf(*window, 0)->chartView();
    QVERIFY(std::isnan(view->limitLines().at(1)));

    // Set while the trend is open: the lines follow at once.
    QCOMPARE(setLimitsFromMenu(*window, 0, {"97.5", "98.5", "", "", "25", ""}), QString());
    const QVector<double> lines = view->limitLines();
    QCOMPARE(lines.at(0), 97.5);
    QCOMPARE(lines.at(1), 98.5);
    QVERIFY(std::isnan(lines.at(2)));
    QCOMPARE(lines.at(3), 25.0);

    QVERIFY(clickStart(*window, QString()));
    QTest::qWait(4500);
    QTest::mouseClick(widget<QPushButton>(*window, "btnStop"), Qt::LeftButton);

    const QList<QPair<TrendQuantity, Qt::Alignment>> axes = {{TrendQuantity::Pressure, Qt::AlignLeft},
                                                             {TrendQuantity::Temperature, Qt::AlignRight}};
    for (const auto &pair : axes) {
        const auto *axis = qobject_cast<QtCharts::QValueAxis *>(view->chart()->axes(Qt::Vertical).at(
            pair.second == Qt::AlignLeft ? 0 : 1));
        QVERIFY(axis && axis->alignment() == pair.second);
        QStringList labels;
        for (int i = 0; i < axis->tickCount(); ++i) {
            const double value = axis->min() + i * (axis->max() - axis->min()) / (axis->tickCount() - 1);
            labels << QString::asprintf(qPrintable(axis->labelFormat()), value);
            // Round ticks: the label is the tick's value, nothing rounded away.
            QVERIFY2(std::abs(labels.last().toDouble() - value) < 1e-9, qPrintable(labels.join(' ')));
        }
        QVERIFY2(labels.size() > 2 && labels.removeDuplicates() == 0, qPrintable(labels.join(' ')));
        const double low = pair.first == TrendQuantity::Pressure ? 97.2 : 20.0;
        const double high = pair.first == TrendQuantity::Pressure ? 98.8 : 25.0;
        QVERIFY2(axis->min() <= low && axis->max() >= high, qPrintable(labels.join(' ')));
    }
}

void TestTrendWindows::drawsReadingsAtFullPrecision_data()
{
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<double>("drawn");
    QTest::addColumn<QString>("hover");

    // The transmitter sends 101068.796875 Pa and -10.0 °C.
    QTest::newRow("Pa, 0 decimals: no staircase, hover truncated as the tile")
        << "Pa" << 0 << 101068.796875 << QStringLiteral("压力：101068 Pa");
    QTest::newRow("KPa, 1 decimal") << "KPa" << 1 << double(float(101.068796875)) << QStringLiteral("压力：101.1 KPa");
}

void TestTrendWindows::drawsReadingsAtFullPrecision()
{
    QFETCH(QString, unit);
    QFETCH(int, decimals);
    QFETCH(double, drawn);
    QFETCH(QString, hover);

    sim = std::make_unique<SimulatorProcess>(QStringList{"--slave", "1,regs=0x6666:0x47C5:0:0:0:0:0xFF9C"});
    QVERIFY(sim->start());
    QVERIFY(openPort(*window, sim->devicePath()));
    addDevice(*window, 1, unit, decimals);
    doubleClickTile(*window, 0);
    QVERIFY(clickStart(*window, QString()));
    QTRY_VERIFY_WITH_TIMEOUT(recordAt(*window, 0).totalCount >= 3, 5000);
    QTest::mouseClick(widget<QPushButton>(*window, "btnStop"), Qt::LeftButton);

    TrendChartView *view = trendWindowOf(*window, 0)->chartView();
    const QVector<QPointF> points = view->drawnPoints(TrendQuantity::Pressure);
    QVERIFY(points.size() >= 3);
    for (const QPointF &point : points)
        QCOMPARE(point.y(), drawn);
    for (const QPointF &point : view->drawnPoints(TrendQuantity::Temperature))
        QCOMPARE(point.y(), -10.0);

    QVERIFY(QTest::qWaitForWindowExposed(view->window()));
    QMouseEvent move(QEvent::MouseMove, viewPosition(*view, points.constLast(), TrendQuantity::Pressure),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &move);
    const QString text = view->hoverText();
    QVERIFY2(text.contains(hover), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("温度：-10.0 ℃")), qPrintable(text));
}

QTEST_MAIN(TestTrendWindows)
#include "tst_trendwindows.moc"
