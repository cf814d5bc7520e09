#include "mainwindow.h"
#include "devicerecords.h"

#include "common/windowaccess.h"

#include <QtTest>

#include <memory>

class TestStatusFilter : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void showsDevicesOfOneStatus_data();
    void showsDevicesOfOneStatus();
    void followsStatusChangesWithoutClick_data();
    void followsStatusChangesWithoutClick();
    void showsNewDeviceOnlyUnderRedAndAll_data();
    void showsNewDeviceOnlyUnderRedAndAll();
    void clickingCheckedButtonChangesNothing();

private:
    void click(const char *button);
    QList<int> shownAddresses() const;

    std::unique_ptr<MainWindow> window;
};

void TestStatusFilter::init()
{
    // Every click must still write its diagnostic line.
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.diagnostics.debug=true"));
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    // Devices of statuses 0, 1, 1 and 2, set as the poll cycle sets them.
    const QList<int> statuses = {Offline, Good, Good, Poor};
    for (int row = 0; row < statuses.size(); ++row) {
        addDevice(*window, row + 1);
        writeStatus(deviceModel(*window), row, statuses.at(row));
    }
}

void TestStatusFilter::cleanup()
{
    window.reset();
}

void TestStatusFilter::click(const char *button)
{
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^filter button: ")));
    QTest::mouseClick(widget<QPushButton>(*window, button), Qt::LeftButton);
}

QList<int> TestStatusFilter::shownAddresses() const
{
    QList<int> result;
    const QAbstractItemModel *shown = listView(*window)->model();
    for (int row = 0; row < shown->rowCount(); ++row)
        result << qvariant_cast<ItemData>(shown->index(row, 0).data(ItemDataRole)).address;
    return result;
}

void TestStatusFilter::showsDevicesOfOneStatus_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QList<int>>("shown");

    QTest::newRow("green") << "greenBtn" << QList<int>{2, 3};
    QTest::newRow("yellow") << "yellowBtn" << QList<int>{4};
    QTest::newRow("red") << "redBtn" << QList<int>{1};
    QTest::newRow("all") << "allBtn" << QList<int>{1, 2, 3, 4};
}

void TestStatusFilter::showsDevicesOfOneStatus()
{
    QFETCH(QString, button);
    QFETCH(QList<int>, shown);

    if (button != QLatin1String("allBtn"))
        click("redBtn"); // start from another filter so that "all" really resets it
    click(button.toLatin1().constData());

    QCOMPARE(shownAddresses(), shown);
    QVERIFY(widget<QPushButton>(*window, button.toLatin1().constData())->isChecked());
    QCOMPARE(deviceModel(*window)->rowCount(), 4);
}

void TestStatusFilter::followsStatusChangesWithoutClick_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("newStatus");
    QTest::addColumn<QList<int>>("shownAfter");

    QTest::newRow("good device fails under green") << "greenBtn" << 1 << int(Offline) << QList<int>{3};
    QTest::newRow("offline device recovers under green") << "greenBtn" << 0 << int(Good) << QList<int>{1, 2, 3};
    QTest::newRow("good device turns poor under yellow") << "yellowBtn" << 2 << int(Poor) << QList<int>{3, 4};
    QTest::newRow("poor device fails under red") << "redBtn" << 3 << int(Offline) << QList<int>{1, 4};
}

void TestStatusFilter::followsStatusChangesWithoutClick()
{
    QFETCH(QString, button);
    QFETCH(int, row);
    QFETCH(int, newStatus);
    QFETCH(QList<int>, shownAfter);

    click(button.toLatin1().constData());
    writeStatus(deviceModel(*window), row, newStatus);
    QCOMPARE(shownAddresses(), shownAfter);
}

void TestStatusFilter::showsNewDeviceOnlyUnderRedAndAll_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("visible");

    QTest::newRow("red") << "redBtn" << true;
    QTest::newRow("all") << "allBtn" << true;
    QTest::newRow("green") << "greenBtn" << false;
    QTest::newRow("yellow") << "yellowBtn" << false;
}

void TestStatusFilter::showsNewDeviceOnlyUnderRedAndAll()
{
    QFETCH(QString, button);
    QFETCH(bool, visible);

    click("greenBtn");
    click(button.toLatin1().constData());
    addDevice(*window, 99);
    QCOMPARE(shownAddresses().contains(99), visible);
}

void TestStatusFilter::clickingCheckedButtonChangesNothing()
{
    click("greenBtn");
    click("greenBtn");
    QVERIFY(widget<QPushButton>(*window, "greenBtn")->isChecked());
    QCOMPARE(shownAddresses(), (QList<int>{2, 3}));
}

QTEST_MAIN(TestStatusFilter)
#include "tst_statusfilter.moc"
