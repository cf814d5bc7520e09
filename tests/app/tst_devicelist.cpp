#include "mainwindow.h"
#include "devicerecords.h"

#include "common/modalanswer.h"
#include "common/windowaccess.h"

#include <QMessageBox>
#include <QtTest>

#include <memory>

class TestDeviceList : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void addsDeviceWithWidgetValues();
    void refusesDuplicateAddress_data();
    void refusesDuplicateAddress();
    void acceptsOnlySlaveAddresses_data();
    void acceptsOnlySlaveAddresses();
    void keepsSettingsWhenWidgetsChange();
    void deletesExactlySelectedTiles_data();
    void deletesExactlySelectedTiles();
    void deleteWithoutSelectionDoesNothing();
    void clearsList();
    void readsMissingRowAsEmptyRecord_data();
    void readsMissingRowAsEmptyRecord();
    void storesStatusAsPlainInt();

private:
    QList<int> addresses() const;
    void clickTile(int proxyRow);

    std::unique_ptr<MainWindow> window;
};

void TestDeviceList::init()
{
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestDeviceList::cleanup()
{
    window.reset();
}

QList<int> TestDeviceList::addresses() const
{
    QList<int> result;
    const QStandardItemModel *model = deviceModel(*window);
    for (int row = 0; row < model->rowCount(); ++row)
        result << readRecord(model, row).address;
    return result;
}

void TestDeviceList::clickTile(int proxyRow)
{
    QListView *view = listView(*window);
    const QRect rect = view->visualRect(view->model()->index(proxyRow, 0));
    QVERIFY(rect.isValid());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

void TestDeviceList::addsDeviceWithWidgetValues()
{
    addDevice(*window, 47, QStringLiteral("psi"), 3, 60);

    const QStandardItemModel *model = deviceModel(*window);
    QCOMPARE(model->rowCount(), 1);
    const QModelIndex index = model->index(0, 0);
    QCOMPARE(index.data(StatusRole), QVariant(0));
    QVERIFY(!index.data(Qt::DisplayRole).isValid());
    const ItemData record = readRecord(model, 0);
    QCOMPARE(int(record.address), 47);
    QCOMPARE(record.unit, QStringLiteral("psi"));
    QCOMPARE(int(record.decimals), 3);
    QCOMPARE(int(record.recordPeriod), 60);
    QCOMPARE(record.failCount, 0u);
    QCOMPARE(record.totalCount, 0u);
    QCOMPARE(record.recordIndex, 0u);
    QVERIFY(record.pressureText.isEmpty());
    QVERIFY(record.temperatureText.isEmpty());
    QVERIFY(record.filePath.isEmpty());
    QCOMPARE(proxyModel(*window)->rowCount(), 1);
}

void TestDeviceList::refusesDuplicateAddress_data()
{
    QTest::addColumn<QString>("filter");

    QTest::newRow("all shown") << "allBtn";
    QTest::newRow("listed device hidden by the green filter") << "greenBtn";
}

void TestDeviceList::refusesDuplicateAddress()
{
    QFETCH(QString, filter);

    addDevice(*window, 3);
    addDevice(*window, 5, QStringLiteral("Bar"), 2, 7);
    QTest::mouseClick(widget<QPushButton>(*window, filter.toLatin1().constData()), Qt::LeftButton);

    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    ModalAnswer<QMessageBox> answer([&](QMessageBox *box) {
        title = box->windowTitle();
        text = box->text();
        buttons = box->standardButtons();
        box->button(QMessageBox::Ok)->click();
    });
    addDevice(*window, 5, QStringLiteral("Pa"), 0, 1);

    QVERIFY(answer.answered());
    QCOMPARE(title, QStringLiteral("提示"));
    QCOMPARE(text, QStringLiteral("该设备已经在列表里"));
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(addresses(), (QList<int>{3, 5}));
    QCOMPARE(readRecord(deviceModel(*window), 1).unit, QStringLiteral("Bar"));
}

void TestDeviceList::acceptsOnlySlaveAddresses_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("247, the highest slave address") << 247 << true;
    QTest::newRow("248") << 248 << false;
    QTest::newRow("250") << 250 << false;
    QTest::newRow("254, the top of the spin box") << 254 << false;
}

void TestDeviceList::acceptsOnlySlaveAddresses()
{
    QFETCH(int, address);
    QFETCH(bool, accepted);

    addDevice(*window, 3);
    QString title;
    QString text;
    ModalAnswer<QMessageBox> answer([&](QMessageBox *box) {
        title = box->windowTitle();
        text = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    addDevice(*window, address);

    // The spin box still reaches the address: the list is what refuses it.
    QCOMPARE(widget<QSpinBox>(*window, "spinBox_ID")->value(), address);
    QCOMPARE(answer.answered(), !accepted);
    if (accepted) {
        QCOMPARE(addresses(), (QList<int>{3, address}));
    } else {
        QCOMPARE(title, QStringLiteral("提示"));
        QCOMPARE(text, QStringLiteral("Modbus 从站地址只能是 1 到 247"));
        QCOMPARE(addresses(), QList<int>{3});
    }
}

void TestDeviceList::keepsSettingsWhenWidgetsChange()
{
    addDevice(*window, 9, QStringLiteral("psi"), 3, 5);
    addDevice(*window, 10, QStringLiteral("psi"), 3, 5);
    widget<QSpinBox>(*window, "spinBox_dotnum")->setValue(1);
    widget<QComboBox>(*window, "cBoxUnit")->setCurrentText(QStringLiteral("Pa"));

    for (int row = 0; row < 2; ++row) {
        const ItemData record = readRecord(deviceModel(*window), row);
        QCOMPARE(record.unit, QStringLiteral("psi"));
        QCOMPARE(int(record.decimals), 3);
        QCOMPARE(int(record.recordPeriod), 5);
    }
}

void TestDeviceList::deletesExactlySelectedTiles_data()
{
    QTest::addColumn<QList<int>>("clickOrder");
    QTest::addColumn<QList<int>>("remaining");

    QTest::newRow("tiles 2 and 4") << QList<int>{1, 3} << QList<int>{11, 13, 15, 16};
    QTest::newRow("tiles 4 and 2") << QList<int>{3, 1} << QList<int>{11, 13, 15, 16};
    QTest::newRow("last, first, middle") << QList<int>{5, 0, 2} << QList<int>{12, 14, 15};
    QTest::newRow("all six backwards") << QList<int>{5, 4, 3, 2, 1, 0} << QList<int>{};
}

void TestDeviceList::deletesExactlySelectedTiles()
{
    QFETCH(QList<int>, clickOrder);
    QFETCH(QList<int>, remaining);

    for (int address = 11; address <= 16; ++address)
        addDevice(*window, address, QStringLiteral("KPa"), address % 6, address);
    for (const int row : clickOrder)
        clickTile(row);
    QCOMPARE(listView(*window)->selectionModel()->selectedIndexes().size(), clickOrder.size());

    QTest::mouseClick(widget<QPushButton>(*window, "btnDelreader"), Qt::LeftButton);

    QCOMPARE(addresses(), remaining);
    for (int row = 0; row < remaining.size(); ++row) {
        const ItemData record = readRecord(deviceModel(*window), row);
        QCOMPARE(int(record.recordPeriod), remaining.at(row));
        QCOMPARE(int(record.decimals), remaining.at(row) % 6);
    }
}

void TestDeviceList::deleteWithoutSelectionDoesNothing()
{
    addDevice(*window, 1);
    addDevice(*window, 2);
    QTest::mouseClick(widget<QPushButton>(*window, "btnDelreader"), Qt::LeftButton);
    QCOMPARE(addresses(), (QList<int>{1, 2}));
}

void TestDeviceList::clearsList()
{
    QTest::mouseClick(widget<QPushButton>(*window, "btnClrList"), Qt::LeftButton);
    QCOMPARE(deviceModel(*window)->rowCount(), 0);

    addDevice(*window, 1);
    addDevice(*window, 2);
    QTest::mouseClick(widget<QPushButton>(*window, "redBtn"), Qt::LeftButton);
    QTest::mouseClick(widget<QPushButton>(*window, "btnClrList"), Qt::LeftButton);
    QCOMPARE(deviceModel(*window)->rowCount(), 0);
    QCOMPARE(proxyModel(*window)->filterRegExp().pattern(), QStringLiteral("0"));

    // A cleared list takes new devices, the same addresses included.
    addDevice(*window, 2);
    QCOMPARE(addresses(), (QList<int>{2}));
    QCOMPARE(proxyModel(*window)->rowCount(), 1);
}

void TestDeviceList::readsMissingRowAsEmptyRecord_data()
{
    QTest::addColumn<int>("row");

    QTest::newRow("past the end") << 1;
    QTest::newRow("negative") << -1;
}

void TestDeviceList::readsMissingRowAsEmptyRecord()
{
    QFETCH(int, row);

    QStandardItemModel model;
    model.appendRow(newDeviceItem(newDeviceRecord(8, QStringLiteral("Pa"), 2, 3)));
    model.appendRow(new QStandardItem); // a row without a record
    const ItemData missing = readRecord(&model, row == 1 ? 5 : row);
    const ItemData bare = readRecord(&model, 1);
    for (const ItemData &record : {missing, bare}) {
        QCOMPARE(int(record.address), 0);
        QVERIFY(record.unit.isEmpty());
        QCOMPARE(int(record.decimals), 0);
        QCOMPARE(int(record.recordPeriod), 0);
        QCOMPARE(record.failCount, 0u);
        QCOMPARE(record.totalCount, 0u);
        QVERIFY(record.pressureText.isEmpty());
        QVERIFY(record.filePath.isEmpty());
    }
    QCOMPARE(int(readRecord(&model, 0).address), 8);
}

void TestDeviceList::storesStatusAsPlainInt()
{
    addDevice(*window, 1);
    QStandardItemModel *model = deviceModel(*window);
    for (const int status : {Offline, Good, Poor}) {
        writeStatus(model, 0, status);
        const QVariant stored = model->index(0, 0).data(StatusRole);
        QCOMPARE(stored.userType(), int(QMetaType::Int));
        QCOMPARE(stored.toString(), QString::number(status));
    }
    QCOMPARE(QMetaType::typeName(qMetaTypeId<ItemData>()), "ItemData");
}

QTEST_MAIN(TestDeviceList)
#include "tst_devicelist.moc"
