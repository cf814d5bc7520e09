#include "busscan.h"
#include "devicemaps.h"
#include "maplibrary.h"
#include "publisher.h"

#include "common/modalanswer.h"
#include "common/windowaccess.h"

#include "simulatorprocess.h"

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QByteArray FloatAbcdBar = R"({"name": "float-abcd-bar", "register": "holding", "pressure": {"address": 0,)"
                                R"( "type": "FLOAT32", "byteOrder": "ABCD", "unit": "Bar"}, "temperature":)"
                                R"( {"address": 2, "type": "FLOAT32", "byteOrder": "ABCD", "unit": "°C"}})";
const QByteArray Int16DecUnit = R"({"name": "int16-dec-unit", "register": "holding", "pressure": {"address": 4,)"
                                R"( "type": "INT16", "decimalsRegister": 3, "unitRegister": 2,)"
                                R"( "unitCodes": {"0": "MPa", "1": "KPa", "2": "Pa", "3": "Bar"}}})";

RegisterMap mapOf(const QByteArray &json)
{
    return mapFromJson(QJsonDocument::fromJson(json).object()).valueOr(RegisterMap());
}

// The payloads of `address`'s config the publisher handed its link, in order.
QStringList configMapNames(const QSignalSpy &retained, int address)
{
    QStringList names;
    for (const QList<QVariant> &signal : retained) {
        if (signal.at(0).toInt() == address && signal.at(1).toByteArray() == "config")
            names << QJsonDocument::fromJson(signal.at(2).toByteArray()).object().value("map").toString();
    }
    return names;
}

} // namespace

// The register maps' window over velmora-sim serving transmitters of three
// layouts: 试读, edits refused and taken, maps given to devices, and the bus
// scan with the map for new devices.
class TestRegisterMapDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void testReadShowsWhatCameBack_data();
    void testReadShowsWhatCameBack();
    void refusesWithTheReason_data();
    void refusesWithTheReason();
    void assignedAndEditedMapReachTheDevice();
    void scanProbesWithTheNewDeviceMap();

private:
    void startSimulator(const QStringList &slaves);
    // Opens the tile area's context menu and clicks the entry `name`.
    void choose(const char *name);
    QWidget *openDialog();
    void selectMap(const QString &name);
    QString message() const;
    MapLibrary *maps() const { return widget<MapLibrary>(*window, "mapLibrary"); }
    template <typename T>
    T *inDialog(const char *name) const;
    QWidget *pressureEditor() const { return inDialog<QWidget>("pressureEditor"); }

    QTemporaryDir directory;
    // Where the windows keep their maps: every test starts from none.
    QTemporaryDir settingsDirectory;
    std::unique_ptr<SimulatorProcess> sim;
    std::unique_ptr<MainWindow> window;
};

void TestRegisterMapDialog::initTestCase()
{
    QVERIFY(settingsDirectory.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDirectory.path());
}

void TestRegisterMapDialog::init()
{
    QSettings(QStringLiteral("Velmora"), QStringLiteral("velmora")).clear();
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QVERIFY(maps()->store(mapOf(FloatAbcdBar)).ok());
    QVERIFY(maps()->store(mapOf(Int16DecUnit)).ok());
}

void TestRegisterMapDialog::cleanup()
{
    auto *stop = widget<QPushButton>(*window, "btnStop");
    if (stop->isEnabled())
        QTest::mouseClick(stop, Qt::LeftButton);
    window.reset();
    sim.reset();
}

void TestRegisterMapDialog::startSimulator(const QStringList &slaves)
{
    QStringList arguments;
    for (const QByteArray &json : {FloatAbcdBar, Int16DecUnit}) {
        QFile file(directory.filePath(mapOf(json).name + ".json"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(json) == json.size());
        arguments << "--map" << file.fileName();
    }
    sim = std::make_unique<SimulatorProcess>(arguments + SimulatorProcess::slaveArguments(slaves));
    QVERIFY(sim->start());
    QVERIFY(openPort(*window, sim->devicePath()));
}

void TestRegisterMapDialog::choose(const char *name)
{
    QListView *view = listView(*window);
    const QPoint at = view->viewport()->rect().bottomRight() - QPoint(20, 20);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view->viewport(), &event);
    auto *menu = window->findChild<QMenu *>(QStringLiteral("deviceListMenu"));
    QVERIFY(menu && menu->isVisible());
    auto *action = window->findChild<QAction *>(QLatin1String(name));
    QVERIFY(action && menu->actions().contains(action));
    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(action).center());
}

QWidget *TestRegisterMapDialog::openDialog()
{
    choose("registerMapAction");
    auto *dialog = window->findChild<QWidget *>(QStringLiteral("registerMapDialog"));
    return dialog && dialog->isVisible() ? dialog : nullptr;
}

template <typename T>
T *TestRegisterMapDialog::inDialog(const char *name) const
{
    auto *dialog = widget<QWidget>(*window, "registerMapDialog");
    T *found = dialog->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no %s in the dialog", name);
    return found;
}

void TestRegisterMapDialog::selectMap(const QString &name)
{
    auto *list = inDialog<QListWidget>("mapList");
    const QList<QListWidgetItem *> items = list->findItems(name, Qt::MatchExactly);
    QCOMPARE(items.size(), 1);
    list->setCurrentItem(items.first());
    QCOMPARE(inDialog<QLineEdit>("nameEdit")->text(), name);
}

QString TestRegisterMapDialog::message() const
{
    return inDialog<QLabel>("messageLabel")->text();
}

void TestRegisterMapDialog::testReadShowsWhatCameBack_data()
{
    QTest::addColumn<QString>("map");
    QTest::addColumn<int>("address");
    QTest::addColumn<bool>("polling");
    QTest::addColumn<bool>("lineOpen");
    QTest::addColumn<QStringList>("expected");

    // 101325 Pa is the float 0x47C5E680, low word first; 23.5 °C is 235 = 0x00EB.
    const QStringList standard{"30001", "0xE680", "59008", "30002", "0x47C5", "18373", "30007", "0x00EB", "235",
                               "压力：101325 Pa", "温度：23.5 °C"};
    QTest::newRow("标准") << "标准" << 1 << false << true << standard;
    QTest::newRow("标准 between two polls") << "标准" << 1 << true << true << standard;
    // 2.5 bar is 0x40200000 and 21.5 °C 0x41AC0000, high word first.
    QTest::newRow("float ABCD in bar")
        << "float-abcd-bar" << 3 << false << true
        << QStringList{"40001", "0x4020", "16416", "40002", "0x0000", "40003", "0x41AC", "16812",
                       "压力：2.5 Bar（250000 Pa）", "温度：21.5 °C"};
    // Unit code 0 (MPa) in register 2, 4 decimals in 3, 0.25 MPa as 2500 in 4.
    QTest::newRow("int16 with decimal and unit registers")
        << "int16-dec-unit" << 2 << false << true
        << QStringList{"40003", "40004", "0x0004", "40005", "0x09C4", "2500", "压力：0.25 MPa（250000 Pa）",
                       "温度：映射中没有温度"};
    QTest::newRow("holding map, input-only slave") << "float-abcd-bar" << 1 << false << true
                                                   << QStringList{"地址 1 回答异常码 01（非法功能）", "功能码 03"};
    QTest::newRow("unmapped register") << "float-abcd-bar" << 2 << false << true
                                       << QStringList{"地址 2 回答异常码 02（非法数据地址）", "40001 起 4 个"};
    QTest::newRow("silent address") << "标准" << 9 << false << true << QStringList{"地址 9 在 1 秒内没有回答"};
    QTest::newRow("line closed") << "标准" << 1 << false << false << QStringList{"串口未打开"};
}

void TestRegisterMapDialog::testReadShowsWhatCameBack()
{
    QFETCH(QString, map);
    QFETCH(int, address);
    QFETCH(bool, polling);
    QFETCH(bool, lineOpen);
    QFETCH(QStringList, expected);

    startSimulator({"1,pressure=101325,temp=23.5", "2,map=int16-dec-unit,pressure=250000",
                    "3,map=float-abcd-bar,pressure=250000,temp=21.5"});
    if (!lineOpen)
        QTest::mouseClick(widget<QPushButton>(*window, "btnOpen"), Qt::LeftButton);
    QCOMPARE(portIsOpen(*window), lineOpen);
    if (polling) {
        addDevice(*window, 1);
        addDevice(*window, 3);
        QVERIFY(clickStart(*window, QString()));
        QTRY_VERIFY_WITH_TIMEOUT(recordAt(*window, 0).totalCount > 0, 5000);
    }
    QVERIFY(openDialog());
    selectMap(map);
    inDialog<QSpinBox>("testAddressBox")->setValue(address);
    auto *button = inDialog<QPushButton>("testReadButton");
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 5000);

    const QString shown = inDialog<QPlainTextEdit>("testReadResult")->toPlainText();
    for (const QString &part : expected)
        QVERIFY2(shown.contains(part), qPrintable(part + " not in:\n" + shown));
    if (polling) {
        // The polls went on around the test read, none of them lost to it.
        const quint32 polled = recordAt(*window, 0).totalCount;
        QTRY_VERIFY_WITH_TIMEOUT(recordAt(*window, 0).totalCount > polled + 1, 5000);
        QCOMPARE(recordAt(*window, 0).failCount, 0u);
        QCOMPARE(recordAt(*window, 1).failCount, 1u * recordAt(*window, 1).totalCount);
    }
}

void TestRegisterMapDialog::refusesWithTheReason_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("scale");
    QTest::addColumn<bool>("inUse");
    QTest::addColumn<bool>("recording");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("taken");

    QTest::newRow("zero scale") << "saveMapButton" << "0" << false << false << "倍率 (scale) 0 应为非零的数" << false;
    QTest::newRow("unreadable scale") << "saveMapButton" << "1,5x" << false << false << "倍率 (scale)" << false;
    QTest::newRow("delete in use") << "deleteMapButton" << "" << true << false << "地址 3 的设备正在使用映射 float-abcd-bar，不能删除"
                                   << false;
    QTest::newRow("edit in use while recording")
        << "saveMapButton" << "2" << true << true << "正在记录：地址 3 的设备使用映射 float-abcd-bar" << false;
    QTest::newRow("assign while recording") << "assignMapButton" << "" << false << true << "正在记录" << false;
    QTest::newRow("edit unused while recording") << "saveMapButton" << "2" << false << true << "已保存" << true;
    QTest::newRow("delete unused") << "deleteMapButton" << "" << false << false << "已删除" << true;
}

void TestRegisterMapDialog::refusesWithTheReason()
{
    QFETCH(QString, button);
    QFETCH(QString, scale);
    QFETCH(bool, inUse);
    QFETCH(bool, recording);
    QFETCH(QString, expected);
    QFETCH(bool, taken);

    startSimulator({"3,map=float-abcd-bar,pressure=250000,temp=21.5", "4"});
    addDevice(*window, 3);
    addDevice(*window, 4);
    const RegisterMap original = mapOf(FloatAbcdBar);
    if (inUse)
        assignMap(deviceModel(*window), {0}, original);
    QTemporaryDir records;
    if (recording) {
        QVERIFY(clickStart(*window, records.path()));
        QVERIFY(recordingSession(*window)->isRecording());
    }
    QVERIFY(openDialog());
    selectMap(original.name);
    if (!scale.isEmpty()) {
        auto *edit = pressureEditor()->findChild<QLineEdit *>(QStringLiteral("scaleEdit"));
        edit->clear();
        QTest::keyClicks(edit, scale);
    }
    listView(*window)->selectionModel()->select(proxyModel(*window)->index(1, 0), QItemSelectionModel::Select);
    QTest::mouseClick(inDialog<QPushButton>(qPrintable(button)), Qt::LeftButton);

    QVERIFY2(message().contains(expected), qPrintable(message()));
    const std::optional<RegisterMap> kept = maps()->find(original.name);
    if (!taken) {
        QVERIFY(kept && *kept == original);
    } else if (button == "deleteMapButton") {
        QVERIFY(!kept);
    } else {
        QVERIFY(kept && kept->pressure.scale == 2.0);
    }
    QCOMPARE(recordAt(*window, 0).map.name, inUse ? original.name : standardMapName());
    QCOMPARE(recordAt(*window, 1).map.name, standardMapName());
}

void TestRegisterMapDialog::assignedAndEditedMapReachTheDevice()
{
    startSimulator({"3,map=float-abcd-bar,pressure=250000,temp=21.5"});
    addDevice(*window, 3, QStringLiteral("KPa"), 3, 1);
    QSignalSpy retained(widget<Publisher>(*window, "publisher"), &Publisher::retainedForLink);
    QVERIFY(clickStart(*window, QString()));
    // Read as 标准, with function 04, the transmitter has nothing to say.
    QTRY_VERIFY_WITH_TIMEOUT(recordAt(*window, 0).failCount > 0, 5000);

    QVERIFY(openDialog());
    selectMap(QStringLiteral("float-abcd-bar"));
    listView(*window)->selectionModel()->select(proxyModel(*window)->index(0, 0), QItemSelectionModel::Select);
    QTest::mouseClick(inDialog<QPushButton>("assignMapButton"), Qt::LeftButton);
    QVERIFY2(message().contains("地址 3 的设备从下一次询问起按映射 float-abcd-bar 读取"), qPrintable(message()));
    QCOMPARE(recordAt(*window, 0).map, mapOf(FloatAbcdBar));
    QTRY_COMPARE_WITH_TIMEOUT(recordAt(*window, 0).pressureText, QStringLiteral("250.000"), 5000);
    QCOMPARE(recordAt(*window, 0).temperatureText, QStringLiteral("21.5"));
    QCOMPARE(configMapNames(retained, 3), QStringList{"float-abcd-bar"});

    // Each address typed from 0, its holding register number beside it.
    QCOMPARE(pressureEditor()->findChild<QLabel *>(QStringLiteral("addressNumber"))->text(), QStringLiteral("40001"));
    QCOMPARE(inDialog<QWidget>("temperatureEditor")->findChild<QLabel *>(QStringLiteral("addressNumber"))->text(),
             QStringLiteral("40003"));

    // Renamed and read in mbar: the 2.5 the transmitter sends is now 250 Pa.
    auto *name = inDialog<QLineEdit>("nameEdit");
    name->clear();
    QTest::keyClicks(name, QStringLiteral("abcd-mbar"));
    pressureEditor()->findChild<QComboBox *>(QStringLiteral("unitBox"))->setCurrentText(QStringLiteral("mBar"));
    QTest::mouseClick(inDialog<QPushButton>("saveMapButton"), Qt::LeftButton);
    QVERIFY2(message().contains("地址 3 的设备从下一次询问起按它读取"), qPrintable(message()));
    QVERIFY(!maps()->find(QStringLiteral("float-abcd-bar")));
    QCOMPARE(recordAt(*window, 0).map.name, QStringLiteral("abcd-mbar"));
    QCOMPARE(recordAt(*window, 0).map.pressure.unit, QStringLiteral("mBar"));
    QTRY_COMPARE_WITH_TIMEOUT(recordAt(*window, 0).pressureText, QStringLiteral("0.250"), 5000);
    QCOMPARE(configMapNames(retained, 3), (QStringList{"float-abcd-bar", "abcd-mbar"}));
    QCOMPARE(inDialog<QLabel>("usageLabel")->text(), QStringLiteral("使用此映射的设备：地址 3。"));
}

void TestRegisterMapDialog::scanProbesWithTheNewDeviceMap()
{
    startSimulator({"3,map=float-abcd-bar,pressure=250000,temp=21.5", "7,map=float-abcd-bar,pressure=1000"});
    auto *menu = window->findChild<QMenu *>(QStringLiteral("newDeviceMapMenu"));
    QVERIFY(menu);
    QCOMPARE(menu->title(), QStringLiteral("新设备映射：标准"));
    const QList<QAction *> choices = menu->actions();
    QCOMPARE(choices.size(), 3);
    QCOMPARE(choices.at(0)->text(), standardMapName());
    QVERIFY(choices.at(0)->isChecked());
    choices.at(1)->trigger();
    QCOMPARE(maps()->newDeviceMapName(), QStringLiteral("float-abcd-bar"));
    QCOMPARE(menu->title(), QStringLiteral("新设备映射：float-abcd-bar"));
    QVERIFY(choices.at(1)->isChecked() && !choices.at(0)->isChecked());

    QString explanation;
    const ModalAnswer<QDialog> range([&explanation](QDialog *dialog) {
        explanation = dialog->findChild<QLabel *>(QStringLiteral("scanExplanation"))->text();
        dialog->findChild<QSpinBox *>(QStringLiteral("scanFirstAddress"))->setValue(1);
        dialog->findChild<QSpinBox *>(QStringLiteral("scanLastAddress"))->setValue(10);
        dialog->accept();
    });
    QString offer;
    const ModalAnswer<QMessageBox> end(
        [&offer](QMessageBox *box) {
            offer = box->text();
            for (QAbstractButton *button : box->buttons()) {
                if (box->buttonRole(button) == QMessageBox::RejectRole)
                    button->click();
            }
        },
        30000);
    choose("scanBusAction");
    QVERIFY(range.answered());
    QVERIFY2(explanation.contains("按新设备映射 float-abcd-bar 向每个地址发送一次读保持寄存器请求（功能码 03，地址 0 起 4 个）"),
             qPrintable(explanation));
    QVERIFY(QTest::qWaitFor([&end] { return end.answered(); }, 30000));
    QCOMPARE(widget<BusScan>(*window, "busScan")->foundAddresses(), (QList<int>{3, 7}));
    QVERIFY2(offer.contains("找到 2 个设备：3、7") && offer.contains("映射 float-abcd-bar"), qPrintable(offer));

    // The map forgotten, new devices get 标准 again, and the caption says so.
    QVERIFY(maps()->remove(QStringLiteral("float-abcd-bar")));
    QCOMPARE(menu->title(), QStringLiteral("新设备映射：标准"));
    QCOMPARE(menu->actions().size(), 2);
    QVERIFY(menu->actions().at(0)->isChecked());
}

QTEST_MAIN(TestRegisterMapDialog)
#include "tst_registermapdialog.moc"
