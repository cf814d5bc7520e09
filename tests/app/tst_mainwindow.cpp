#include "mainwindow.h"
#include "itemdata.h"
#include "itemdelegate.h"

#include "common/windowaccess.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMetaMethod>
#include <QPointer>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void createsWidgetsInOrder_data();
    void createsWidgetsInOrder();
    void placesWidgetsAtFixedGeometry_data();
    void placesWidgetsAtFixedGeometry();
    void setsCaptions_data();
    void setsCaptions();
    void laysOutGroupBoxes();
    void setsSizePoliciesFontsAndStyles();
    void setsSpinBoxRanges_data();
    void setsSpinBoxRanges();
    void fillsChoiceLists_data();
    void fillsChoiceLists();
    void listsOnlyPortsThatExist();
    void acceptsTypedPortWithoutAddingItem_data();
    void acceptsTypedPortWithoutAddingItem();
    void wiresListViewAndProxy();
    void groupsFilterButtonsExclusively();
    void createsIdleTimers();
    void startsIdle();
    void declaresSlotsInOrder();
    void keepsListViewInPlaceWhenResized();
    void releasesDeviceModelWithWindow();

private:
    std::unique_ptr<MainWindow> window;
};

void TestMainWindow::init()
{
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestMainWindow::cleanup()
{
    window.reset();
}

static QStringList childNames(const QObject *parent)
{
    QStringList names;
    for (const QObject *child : parent->children())
        names << child->objectName();
    return names;
}

void TestMainWindow::createsWidgetsInOrder_data()
{
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QStringList>("children");

    QTest::newRow("central widget") << "centralWidget"
        << QStringList{"gbox1", "groupBox", "btnDelreader", "btnClrList", "listView", "btnAddreader",
                       "greenBtn", "yellowBtn", "redBtn", "allBtn", "btnStart", "btnStop"};
    QTest::newRow("serial settings") << "gbox1"
        << QStringList{"verticalLayout", "label", "cboxPortName", "label_2", "cboxBaudRate",
                       "label_3", "cboxDataBit", "label_4", "cboxParity", "label_5", "cboxStopBit",
                       "btnOpen"};
    QTest::newRow("device settings") << "groupBox"
        << QStringList{"verticalLayout_2", "label_6", "spinBox_ID", "label_9", "cBoxUnit",
                       "label_7", "spinBox_dotnum", "label_8", "spinBox_period"};
}

void TestMainWindow::createsWidgetsInOrder()
{
    QFETCH(QString, parent);
    QFETCH(QStringList, children);

    const auto *object = window->findChild<QWidget *>(parent);
    QVERIFY(object);
    QCOMPARE(childNames(object), children);
    QCOMPARE(window->centralWidget()->objectName(), QStringLiteral("centralWidget"));
    QCOMPARE(window->objectName(), QStringLiteral("MainWindow"));
    QVERIFY(!window->menuWidget());
    QVERIFY(!window->findChild<QStatusBar *>());
    QVERIFY(!window->findChild<QToolBar *>());
    QVERIFY(!window->centralWidget()->layout());
}

void TestMainWindow::placesWidgetsAtFixedGeometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");

    QTest::newRow("gbox1") << "gbox1" << QRect(9, 9, 181, 201);
    QTest::newRow("groupBox") << "groupBox" << QRect(10, 220, 181, 161);
    QTest::newRow("btnAddreader") << "btnAddreader" << QRect(20, 390, 161, 41);
    QTest::newRow("btnClrList") << "btnClrList" << QRect(20, 440, 71, 41);
    QTest::newRow("btnDelreader") << "btnDelreader" << QRect(110, 440, 71, 41);
    QTest::newRow("btnStart") << "btnStart" << QRect(20, 510, 71, 41);
    QTest::newRow("btnStop") << "btnStop" << QRect(110, 510, 71, 41);
    QTest::newRow("listView") << "listView" << QRect(200, 30, 1141, 671);
    QTest::newRow("allBtn") << "allBtn" << QRect(200, 0, 100, 23);
    QTest::newRow("greenBtn") << "greenBtn" << QRect(330, 0, 100, 23);
    QTest::newRow("yellowBtn") << "yellowBtn" << QRect(460, 0, 100, 23);
    QTest::newRow("redBtn") << "redBtn" << QRect(590, 0, 100, 23);
}

void TestMainWindow::placesWidgetsAtFixedGeometry()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);

    QCOMPARE(widget<QWidget>(*window, name.toLatin1().constData())->geometry(), geometry);
}

void TestMainWindow::setsCaptions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");

    QTest::newRow("gbox1") << "gbox1" << "串口参数设置";
    QTest::newRow("label") << "label" << "串口号：";
    QTest::newRow("label_2") << "label_2" << "波特率：";
    QTest::newRow("label_3") << "label_3" << "数据位：";
    QTest::newRow("label_4") << "label_4" << "校验位：";
    QTest::newRow("label_5") << "label_5" << "停止位：";
    QTest::newRow("btnOpen") << "btnOpen" << "打开串口";
    QTest::newRow("groupBox") << "groupBox" << "读取地址设置";
    QTest::newRow("label_6") << "label_6" << "设备地址：";
    QTest::newRow("label_9") << "label_9" << "单位：";
    QTest::newRow("label_7") << "label_7" << "小数点位数：";
    QTest::newRow("label_8") << "label_8" << "记录间隔(S)：";
    QTest::newRow("btnDelreader") << "btnDelreader" << "从列表删除";
    QTest::newRow("btnClrList") << "btnClrList" << "清空列表";
    QTest::newRow("btnAddreader") << "btnAddreader" << "添加到列表";
    QTest::newRow("greenBtn") << "greenBtn" << "green";
    QTest::newRow("yellowBtn") << "yellowBtn" << "yellow";
    QTest::newRow("redBtn") << "redBtn" << "red";
    QTest::newRow("allBtn") << "allBtn" << "all";
    QTest::newRow("btnStart") << "btnStart" << "开始";
    QTest::newRow("btnStop") << "btnStop" << "停止";
}

void TestMainWindow::setsCaptions()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);

    QObject *object = widget<QWidget>(*window, name.toLatin1().constData());
    if (auto *box = qobject_cast<QGroupBox *>(object))
        QCOMPARE(box->title(), caption);
    else
        QCOMPARE(object->property("text").toString(), caption);
}

static QStringList itemNames(const QLayout *layout)
{
    QStringList names;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        if (item->widget())
            names << item->widget()->objectName();
        else if (item->layout())
            names << item->layout()->objectName();
        else
            names << QStringLiteral("(spacer)");
    }
    return names;
}

void TestMainWindow::laysOutGroupBoxes()
{
    const auto *serial = widget<QGroupBox>(*window, "gbox1")->layout();
    QVERIFY(qobject_cast<const QVBoxLayout *>(serial));
    QCOMPARE(serial->objectName(), QStringLiteral("verticalLayout"));
    QCOMPARE(serial->spacing(), 6);
    QCOMPARE(serial->contentsMargins(), QMargins(3, 3, 3, 3));
    QCOMPARE(itemNames(serial),
             (QStringList{"(spacer)", "horizontalLayout", "horizontalLayout_2", "horizontalLayout_3",
                          "horizontalLayout_4", "horizontalLayout_5", "btnOpen"}));
    QSpacerItem *spacer = serial->itemAt(0)->spacerItem();
    QVERIFY(spacer);
    QCOMPARE(spacer->sizeHint(), QSize(0, 0));
    QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);
    QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);

    const auto *device = widget<QGroupBox>(*window, "groupBox")->layout();
    QCOMPARE(device->objectName(), QStringLiteral("verticalLayout_2"));
    QCOMPARE(device->spacing(), 6);
    QCOMPARE(device->contentsMargins(), QMargins(11, 11, 11, 11));
    QCOMPARE(itemNames(device),
             (QStringList{"horizontalLayout_6", "horizontalLayout_9", "horizontalLayout_7", "horizontalLayout_8"}));

    const QList<QPair<QString, QStringList>> rows = {
        {"horizontalLayout", {"label", "cboxPortName"}},
        {"horizontalLayout_2", {"label_2", "cboxBaudRate"}},
        {"horizontalLayout_3", {"label_3", "cboxDataBit"}},
        {"horizontalLayout_4", {"label_4", "cboxParity"}},
        {"horizontalLayout_5", {"label_5", "cboxStopBit"}},
        {"horizontalLayout_6", {"label_6", "spinBox_ID"}},
        {"horizontalLayout_9", {"label_9", "cBoxUnit"}},
        {"horizontalLayout_7", {"label_7", "spinBox_dotnum"}},
        {"horizontalLayout_8", {"label_8", "spinBox_period"}},
    };
    for (const auto &row : rows) {
        const auto *layout = window->findChild<QHBoxLayout *>(row.first);
        QVERIFY2(layout, qPrintable(row.first));
        QCOMPARE(layout->spacing(), 6);
        QCOMPARE(itemNames(layout), row.second);
    }
}

void TestMainWindow::setsSizePoliciesFontsAndStyles()
{
    const auto policy = [this](const char *name) { return widget<QWidget>(*window, name)->sizePolicy(); };

    QCOMPARE(policy("gbox1").horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(policy("gbox1").verticalPolicy(), QSizePolicy::Expanding);
    for (const char *combo : {"cboxPortName", "cboxBaudRate", "cboxDataBit", "cboxParity", "cboxStopBit"}) {
        QCOMPARE(policy(combo).horizontalPolicy(), QSizePolicy::Preferred);
        QCOMPARE(policy(combo).horizontalStretch(), 1);
        QCOMPARE(policy(combo).verticalPolicy(), QSizePolicy::Fixed);
    }
    QCOMPARE(widget<QWidget>(*window, "cboxBaudRate")->minimumSize(), QSize(30, 0));
    QCOMPARE(policy("btnOpen").horizontalPolicy(), QSizePolicy::Minimum);
    QCOMPARE(policy("btnOpen").verticalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(widget<QWidget>(*window, "btnOpen")->cursor().shape(), Qt::PointingHandCursor);
    for (const char *spin : {"spinBox_ID", "spinBox_dotnum", "spinBox_period"}) {
        QCOMPARE(policy(spin).horizontalPolicy(), QSizePolicy::Minimum);
        QCOMPARE(policy(spin).verticalPolicy(), QSizePolicy::Preferred);
        QCOMPARE(widget<QWidget>(*window, spin)->maximumSize(), QSize(61, 16777215));
    }
    for (const char *label : {"label_9", "label_7", "label_8"})
        QCOMPARE(widget<QWidget>(*window, label)->minimumSize(), QSize(62, 0));
    QCOMPARE(policy("listView").horizontalPolicy(), QSizePolicy::Preferred);
    QCOMPARE(policy("listView").verticalPolicy(), QSizePolicy::Preferred);

    const QFont deviceFont = widget<QWidget>(*window, "groupBox")->font();
    QCOMPARE(deviceFont.family(), QStringLiteral("Times New Roman"));
    QCOMPARE(deviceFont.pointSize(), 10);

    QCOMPARE(window->styleSheet(), QString());
    QCOMPARE(window->windowModality(), Qt::NonModal);
    QCOMPARE(window->centralWidget()->styleSheet(),
             QStringLiteral("QWidget#centralWidget{\nbackground-color: white;\n}"));
    QCOMPARE(listView(*window)->styleSheet(),
             QStringLiteral("QListView {\n   background-color: transparent;\n\tborder:1px solid #EFEFEF;\n}\n\n"));
    QCOMPARE(listView(*window)->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    QCOMPARE(listView(*window)->horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    QCOMPARE(listView(*window)->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(listView(*window)->selectionMode(), QAbstractItemView::MultiSelection);

    const QList<QPair<const char *, QString>> filters = {
        {"greenBtn", "rgb(5, 255, 46)"}, {"yellowBtn", "rgb(255, 226, 6)"},
        {"redBtn", "rgb(255, 84, 92)"}, {"allBtn", "gray"}};
    for (const auto &filter : filters) {
        auto *button = widget<QPushButton>(*window, filter.first);
        const QString name = QString::fromLatin1(filter.first);
        const QString expected = QStringLiteral(
            "QPushButton#%1{\nbackground:white;\nborder:1px solid %2;\nborder-radius:5px;\npadding:2px 4px;\ncolor:%2;\n}"
            "\n\nQPushButton#%1:checked{\nbackground:%2;\ncolor:white;\n}").arg(name, filter.second);
        QCOMPARE(button->styleSheet(), expected);
        QCOMPARE(button->font().pointSize(), 12);
        QVERIFY(button->isCheckable());
        QCOMPARE(button->isChecked(), name == QLatin1String("allBtn"));
    }
}

void TestMainWindow::setsSpinBoxRanges_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("value");

    QTest::newRow("address") << "spinBox_ID" << 1 << 254 << 1;
    QTest::newRow("decimals") << "spinBox_dotnum" << 0 << 5 << 0;
    QTest::newRow("record period") << "spinBox_period" << 1 << 9999 << 1;
}

void TestMainWindow::setsSpinBoxRanges()
{
    QFETCH(QString, name);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, value);

    auto *spin = widget<QSpinBox>(*window, name.toLatin1().constData());
    QVERIFY(spin->isEnabled());
    QCOMPARE(spin->value(), value);
    spin->setValue(minimum - 1);
    QCOMPARE(spin->value(), minimum);
    spin->setValue(maximum + 1);
    QCOMPARE(spin->value(), maximum);
}

void TestMainWindow::fillsChoiceLists_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("current");

    QTest::newRow("baud rate") << "cboxBaudRate"
        << QStringList{"50", "75", "100", "134", "150", "200", "300", "600", "1200", "1800", "2400",
                       "4800", "9600", "14400", "19200", "38400", "56000", "57600", "76800", "115200",
                       "128000", "256000"}
        << "9600";
    QTest::newRow("parity") << "cboxParity" << QStringList{"N", "O", "E"} << "N";
    QTest::newRow("data bits") << "cboxDataBit" << QStringList{"5", "6", "7", "8"} << "8";
    QTest::newRow("stop bits") << "cboxStopBit" << QStringList{"1", "2"} << "1";
    QTest::newRow("unit") << "cBoxUnit"
        << QStringList{"KPa", "MPa", "psi", "Bar", "mBar", "Kgf/cm2", "mmH2O", "Pa"} << "KPa";
}

void TestMainWindow::fillsChoiceLists()
{
    QFETCH(QString, name);
    QFETCH(QStringList, items);
    QFETCH(QString, current);

    auto *combo = widget<QComboBox>(*window, name.toLatin1().constData());
    QStringList actual;
    for (int i = 0; i < combo->count(); ++i)
        actual << combo->itemText(i);
    QCOMPARE(actual, items);
    QCOMPARE(combo->currentText(), current);
}

void TestMainWindow::listsOnlyPortsThatExist()
{
    // Whatever this machine has, every listed port is a short name of a present port.
    auto *ports = widget<QComboBox>(*window, "cboxPortName");
    for (int i = 0; i < ports->count(); ++i) {
        const QString name = ports->itemText(i);
        QVERIFY2(!name.startsWith(QLatin1Char('/')), qPrintable(name));
        QVERIFY2(QFile::exists(QStringLiteral("/dev/") + name), qPrintable(name));
    }
    QCOMPARE(ports->currentIndex(), ports->count() > 0 ? 0 : -1);
}

void TestMainWindow::acceptsTypedPortWithoutAddingItem_data()
{
    QTest::addColumn<QString>("typed");

    QTest::newRow("stable by-id name") << "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0";
    QTest::newRow("virtual port") << "/tmp/velmora-bus";
    QTest::newRow("short name") << "ttyUSB7";
}

void TestMainWindow::acceptsTypedPortWithoutAddingItem()
{
    QFETCH(QString, typed);

    auto *ports = widget<QComboBox>(*window, "cboxPortName");
    const int probed = ports->count();
    QVERIFY(ports->isEditable());
    ports->setFocus();
    ports->lineEdit()->selectAll();
    QTest::keyClicks(ports->lineEdit(), typed);
    QTest::keyClick(ports->lineEdit(), Qt::Key_Return);

    QCOMPARE(ports->currentText(), typed);
    QCOMPARE(ports->count(), probed);
}

void TestMainWindow::wiresListViewAndProxy()
{
    QListView *view = listView(*window);
    QSortFilterProxyModel *proxy = proxyModel(*window);
    QVERIFY(proxy);
    QCOMPARE(proxy->parent(), view);
    QCOMPARE(proxy->filterRole(), 256);
    QVERIFY(proxy->dynamicSortFilter());
    QCOMPARE(proxy->filterKeyColumn(), 0);
    QVERIFY(proxy->filterRegExp().pattern().isEmpty());
    QCOMPARE(proxy->sortColumn(), -1);

    QStandardItemModel *model = deviceModel(*window);
    QVERIFY(model);
    QVERIFY(!model->parent());
    QCOMPARE(model->rowCount(), 0);

    auto *delegate = qobject_cast<ItemDelegate *>(view->itemDelegate());
    QVERIFY(delegate);
    QCOMPARE(delegate->parent(), window.get());
    QCOMPARE(view->viewMode(), QListView::IconMode);
    QVERIFY(!view->dragEnabled());
    QCOMPARE(view->spacing(), 15);
    QCOMPARE(view->movement(), QListView::Free);
}

void TestMainWindow::groupsFilterButtonsExclusively()
{
    const auto groups = window->findChildren<QButtonGroup *>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(groups.size(), 1);
    QButtonGroup *group = groups.first();
    QVERIFY(group->exclusive());
    QList<QString> names;
    const QList<QAbstractButton *> buttons = group->buttons();
    for (QAbstractButton *button : buttons)
        names << button->objectName();
    QCOMPARE(names, (QList<QString>{"allBtn", "redBtn", "greenBtn", "yellowBtn"}));
    QCOMPARE(group->checkedButton(), widget<QAbstractButton>(*window, "allBtn"));

    QLoggingCategory::setFilterRules(QStringLiteral("velmora.diagnostics.debug=true"));
    QTest::ignoreMessage(QtDebugMsg, "filter button: yellow");
    QTest::mouseClick(widget<QPushButton>(*window, "yellowBtn"), Qt::LeftButton);
    QCOMPARE(group->checkedButton(), widget<QAbstractButton>(*window, "yellowBtn"));
    QVERIFY(!widget<QPushButton>(*window, "allBtn")->isChecked());
}

void TestMainWindow::createsIdleTimers()
{
    const auto timers = window->findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(timers.size(), 2);
    QTimer *poll = timers.at(0);
    QTimer *record = timers.at(1);
    QVERIFY(poll->isSingleShot());
    QCOMPARE(poll->interval(), 200);
    QVERIFY(!poll->isActive());
    QVERIFY(!record->isSingleShot());
    QCOMPARE(record->interval(), 1000);
    QVERIFY(!record->isActive());
}

void TestMainWindow::startsIdle()
{
    QVERIFY(window->windowState() & Qt::WindowMaximized);
    QVERIFY(widget<QPushButton>(*window, "btnStart")->isEnabled());
    QVERIFY(!widget<QPushButton>(*window, "btnStop")->isEnabled());
    QCOMPARE(widget<QPushButton>(*window, "btnOpen")->text(), QStringLiteral("打开串口"));
}

void TestMainWindow::declaresSlotsInOrder()
{
    const QMetaObject &meta = MainWindow::staticMetaObject;
    QCOMPARE(meta.className(), "MainWindow");
    QCOMPARE(meta.superClass(), &QMainWindow::staticMetaObject);
    QStringList slotNames;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        QCOMPARE(method.methodType(), QMetaMethod::Slot);
        QCOMPARE(method.access(), QMetaMethod::Private);
        slotNames << QString::fromLatin1(method.methodSignature());
    }
    QCOMPARE(slotNames,
             (QStringList{"onButtonClicked(QAbstractButton*)", "on_btnOpen_clicked()", "on_btnAddreader_clicked()",
                          "on_btnDelreader_clicked()", "MB_POLL()", "saved_process()", "on_btnClrList_clicked()",
                          "on_redBtn_clicked()", "on_greenBtn_clicked()", "on_yellowBtn_clicked()",
                          "on_allBtn_clicked()", "on_btnStart_clicked()", "on_btnStop_clicked()"}));
    QCOMPARE(meta.propertyCount(), meta.propertyOffset());
}

void TestMainWindow::keepsListViewInPlaceWhenResized()
{
    window->setWindowState(Qt::WindowNoState);
    window->resize(1800, 1000);
    QCoreApplication::processEvents();
    QCOMPARE(listView(*window)->geometry(), QRect(200, 30, 1141, 671));
}

void TestMainWindow::releasesDeviceModelWithWindow()
{
    addDevice(*window, 1);
    const QPointer<QStandardItemModel> model = deviceModel(*window);
    QVERIFY(model);
    window.reset();
    QVERIFY(model.isNull());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
