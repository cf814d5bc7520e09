#include "mainwindow.h"
#include "devicelistfile.h"
#include "devicerecords.h"
#include "devicelistactions.h"
#include "maplibrary.h"
#include "tilelayout.h"

#include "common/modalanswer.h"
#include "common/windowaccess.h"
#include "alarms/limitsharness.h"
#include "calibrationsettingsactions.h"
#include "calibrationsettingsdialog.h"

#include "simulatorprocess.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// Answers every message box shown while it lives and keeps what they said.
class MessageBoxes
{
public:
    MessageBoxes()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                titles << box->windowTitle();
                texts << box->text();
                box->button(QMessageBox::Ok)->click();
            }
        });
        m_timer.start();
    }

    QStringList titles;
    QStringList texts;

private:
    QTimer m_timer;
};

QString deviceJson(const QString &address, const QString &unit, int decimals, int period)
{
    return QStringLiteral(R"({"address": %1, "unit": "%2", "decimals": %3, "recordPeriod": %4})")
        .arg(address, unit)
        .arg(decimals)
        .arg(period);
}

const QString goodHead = QStringLiteral(R"("format": "velmora-device-list", "version": 1)");
const QString goodLine = QStringLiteral(
    R"("port": "/dev/ttyUSB3", "baudRate": "115200", "parity": "O", "dataBits": "8", "stopBits": "1")");
QString goodDevices()
{
    return deviceJson("1", "KPa", 2, 5) + ", " + deviceJson("2", "MPa", 4, 10);
}

QByteArray listFile(const QString &head = goodHead, const QString &line = goodLine,
                    const QString &devices = goodDevices())
{
    return QStringLiteral(R"({%1, "line": {%2}, "devices": [%3]})").arg(head, line, devices).toUtf8();
}

// Two maps of other layouts, as the sample maps hold them.
const QString decimalUnitMap = QStringLiteral(
    R"({"name": "int16-dec-unit", "register": "holding", "pressure": {"address": 4, "type": "INT16", )"
    R"("decimalsRegister": 3, "unitRegister": 2, "unitCodes": {"0": "MPa", "1": "KPa", "2": "Pa", "3": "Bar"}}})");
const QString floatBarMap = QStringLiteral(
    R"({"name": "float-abcd-bar", "register": "holding", )"
    R"("pressure": {"address": 0, "type": "FLOAT32", "byteOrder": "ABCD", "unit": "Bar"}, )"
    R"("temperature": {"address": 2, "type": "FLOAT32", "byteOrder": "ABCD", "unit": "°C"}})");

QString mappedDeviceJson(int address, const QString &unit, int decimals, const QString &map)
{
    return QStringLiteral(R"({"address": %1, "unit": "%2", "decimals": %3, "recordPeriod": 1, "map": "%4"})")
        .arg(address)
        .arg(unit)
        .arg(decimals)
        .arg(map);
}

QByteArray listWithMaps(const QString &maps, const QString &devices, const QString &line = goodLine)
{
    return QStringLiteral(R"({"format": "velmora-device-list", "version": 3, "line": {%1}, "maps": %2, "devices": [%3]})")
        .arg(line, maps, devices)
        .toUtf8();
}

RegisterMap mapOf(const QString &json)
{
    return mapFromJson(QJsonDocument::fromJson(json.toUtf8()).object()).value();
}

// The window's choices, as far as the files of these tests need them.
OfferedValues offeredByHand()
{
    return {{"9600", "115200"}, {"N", "O", "E"}, {"8"}, {"1", "2"}, {0, 5}, {1, 9999}};
}

CalibrationSettings calibration(const char *serialNumber, const char *model, const char *tag,
                                std::optional<double> low = {}, std::optional<double> high = {},
                                std::optional<double> accuracy = {})
{
    return {QString::fromUtf8(serialNumber), QString::fromUtf8(model), QString::fromUtf8(tag), low, high, accuracy};
}

// The JSON of a device's field `key` as compact text, empty when it has none.
QByteArray compactField(const QJsonArray &devices, int index, const char *key)
{
    const QJsonValue value = devices.at(index).toObject().value(QLatin1String(key));
    if (value.isUndefined())
        return QByteArray();
    if (!value.isObject())
        return QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
}

} // namespace

class TestDeviceListFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void savesAndOpensSameBench_data();
    void savesAndOpensSameBench();
    void rejectsBadFileChangingNothing_data();
    void rejectsBadFileChangingNothing();
    void skipsListedAddressesInOneNotice_data();
    void skipsListedAddressesInOneNotice();
    void reportsFailedSave();
    void keepsLimitsWithTheDevices_data();
    void keepsLimitsWithTheDevices();
    void savesListsWithTheOldestVersion_data();
    void savesListsWithTheOldestVersion();
    void keepsCalibrationInTheFile_data();
    void keepsCalibrationInTheFile();
    void refusesBadCalibration_data();
    void refusesBadCalibration();
    void keepsCalibrationWithTheDevices();
    void pollsDevicesWithTheListsMaps();
    void newDevicesTakeTheKeptNewDeviceMap_data();
    void newDevicesTakeTheKeptNewDeviceMap();
    void opensTheDemoBusList();

private:
    MapLibrary *maps() const { return widget<MapLibrary>(*window, "mapLibrary"); }
    void openWindow();
    // Runs the list action `name` the way `how` says ("tile menu", "empty area
    // menu" or "shortcut") and answers the file dialog with `path`.
    void runAction(const QString &how, const char *name, const QString &path);
    void setLine(const LineChoices &line);
    LineChoices line() const;
    QString writeFile(const QByteArray &content);

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QTemporaryDir> dir;
    QTemporaryDir settingsDir;
};

void TestDeviceListFile::initTestCase()
{
    // The maps a window keeps go to a place of this run's own.
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
}

void TestDeviceListFile::init()
{
    QSettings(QStringLiteral("Velmora"), QStringLiteral("velmora")).clear();
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    openWindow();
}

void TestDeviceListFile::openWindow()
{
    window = std::make_unique<MainWindow>();
    window->show();
    QApplication::setActiveWindow(window.get());
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
}

void TestDeviceListFile::cleanup()
{
    window.reset();
    dir.reset();
}

void TestDeviceListFile::runAction(const QString &how, const char *name, const QString &path)
{
    // Types the whole path into the name field and presses OK, as the operator
    // may; selectFile() leaves the field alone while it has focus.
    const ModalAnswer<QFileDialog> answer([path](QFileDialog *dialog) {
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
        static_cast<QDialog *>(dialog)->accept();
    });
    if (how == QLatin1String("shortcut")) {
        // The offscreen platform does not hand activation back when a dialog closes.
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(window.get(), name == QByteArray("saveDeviceListAction") ? Qt::Key_S : Qt::Key_O,
                        Qt::ControlModifier);
    } else {
        QListView *view = listView(*window);
        const QPoint at = how == QLatin1String("tile menu")
                              ? view->visualRect(view->model()->index(0, 0)).center()
                              : view->viewport()->rect().bottomRight() - QPoint(20, 20);
        QVERIFY(!view->indexAt(at).isValid() || how == QLatin1String("tile menu"));
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
        QApplication::sendEvent(view->viewport(), &event);
        auto *menu = window->findChild<QMenu *>(QStringLiteral("deviceListMenu"));
        QVERIFY(menu && menu->isVisible());
        auto *action = window->findChild<QAction *>(QLatin1String(name));
        QVERIFY(action && menu->actions().contains(action));
        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(action).center());
        QVERIFY(!menu->isVisible());
    }
    QVERIFY(answer.answered());
}

void TestDeviceListFile::setLine(const LineChoices &line)
{
    widget<QComboBox>(*window, "cboxPortName")->setEditText(line.port);
    widget<QComboBox>(*window, "cboxBaudRate")->setCurrentText(line.baudRate);
    widget<QComboBox>(*window, "cboxParity")->setCurrentText(line.parity);
    widget<QComboBox>(*window, "cboxDataBit")->setCurrentText(line.dataBits);
    widget<QComboBox>(*window, "cboxStopBit")->setCurrentText(line.stopBits);
    QCOMPARE(this->line(), line);
}

LineChoices TestDeviceListFile::line() const
{
    return {widget<QComboBox>(*window, "cboxPortName")->currentText(),
            widget<QComboBox>(*window, "cboxBaudRate")->currentText(),
            widget<QComboBox>(*window, "cboxParity")->currentText(),
            widget<QComboBox>(*window, "cboxDataBit")->currentText(),
            widget<QComboBox>(*window, "cboxStopBit")->currentText()};
}


QString TestDeviceListFile::writeFile(const QByteArray &content)
{
    QString path = dir->filePath(QStringLiteral("bench.json"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestDeviceListFile::savesAndOpensSameBench_data()
{
    QTest::addColumn<QString>("saveBy");
    QTest::addColumn<QString>("openBy");

    QTest::newRow("tile menu saves, Ctrl+O opens") << "tile menu" << "shortcut";
    QTest::newRow("Ctrl+S saves, empty area menu opens") << "shortcut" << "empty area menu";
}

void TestDeviceListFile::savesAndOpensSameBench()
{
    QFETCH(QString, saveBy);
    QFETCH(QString, openBy);

    const LineChoices bench{QStringLiteral("/dev/serial/by-id/usb-bench-if00"), QStringLiteral("19200"),
                             QStringLiteral("E"), QStringLiteral("7"), QStringLiteral("2")};
    setLine(bench);
    addDevice(*window, 7, QStringLiteral("psi"), 3, 60);
    addDevice(*window, 2, QStringLiteral("MPa"), 4, 5);
    addDevice(*window, 247, QStringLiteral("Kgf/cm2"), 0, 9999);
    addDevice(*window, 1, QStringLiteral("mmH2O"), 5, 1);
    // Saved from a filtered view: the file still holds every device.
    QTest::mouseClick(widget<QPushButton>(*window, "redBtn"), Qt::LeftButton);
    const QStringList saved = listedDevices(*window);

    const MessageBoxes boxes;
    const QString path = dir->filePath(QStringLiteral("bench.json"));
    runAction(saveBy, "saveDeviceListAction", path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(root.value(QStringLiteral("format")).toString(), QStringLiteral("velmora-device-list"));
    QCOMPARE(root.value(QStringLiteral("version")).toInt(), 1);

    QTest::mouseClick(widget<QPushButton>(*window, "btnClrList"), Qt::LeftButton);
    setLine({QString(), QStringLiteral("9600"), QStringLiteral("N"), QStringLiteral("8"), QStringLiteral("1")});
    runAction(openBy, "openDeviceListAction", path);

    QCOMPARE(boxes.texts, QStringList());
    QCOMPARE(line(), bench);
    QCOMPARE(listedDevices(*window), saved);
    for (int row = 0; row < saved.size(); ++row) {
        QCOMPARE(statusAt(*window, row), int(Offline));
        QCOMPARE(recordAt(*window, row).totalCount, 0u);
    }
}

void TestDeviceListFile::rejectsBadFileChangingNothing_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("problem");

    const QString deviceAt3 = goodDevices() + ", ";
    QTest::newRow("not JSON") << goodHead.toUtf8().prepend("{\n") << "不是 JSON 文件：第 2 行";
    QTest::newRow("another format")
        << listFile(R"("format": "spreadsheet", "version": 1)") << "格式为 \"spreadsheet\"";
    QTest::newRow("newer version") << listFile(R"("format": "velmora-device-list", "version": 5)")
                                   << "版本 5 比本程序能读的版本 4 新";
    QTest::newRow("no version") << listFile(R"("format": "velmora-device-list")") << "缺少 版本 (version)";
    QTest::newRow("no line settings")
        << QStringLiteral(R"({%1, "devices": []})").arg(goodHead).toUtf8() << "缺少 串口设置 (line)";
    QTest::newRow("device without a unit")
        << listFile(goodHead, goodLine, deviceAt3 + R"({"address": 9, "decimals": 1, "recordPeriod": 1})")
        << "第 3 个设备：缺少 单位 (unit)";
    QTest::newRow("address as text")
        << listFile(goodHead, goodLine, deviceJson("\"5\"", "Pa", 0, 1)) << "第 1 个设备：地址 (address) 应为整数";
    QTest::newRow("unit not offered")
        << listFile(goodHead, goodLine, deviceAt3 + deviceJson("9", "bar", 0, 1)) << "第 3 个设备：单位 \"bar\" 不在";
    QTest::newRow("address 248")
        << listFile(goodHead, goodLine, deviceAt3 + deviceJson("248", "Pa", 0, 1)) << "第 3 个设备：地址 248 超出 1–247";
    QTest::newRow("address 0")
        << listFile(goodHead, goodLine, deviceJson("0", "Pa", 0, 1)) << "第 1 个设备：地址 0 超出 1–247";
    QTest::newRow("decimals 6")
        << listFile(goodHead, goodLine, deviceAt3 + deviceJson("9", "Pa", 6, 1)) << "第 3 个设备：小数点位数 6 超出 0–5";
    QTest::newRow("period 10000")
        << listFile(goodHead, goodLine, deviceAt3 + deviceJson("9", "Pa", 0, 10000))
        << "第 3 个设备：记录间隔 10000 超出 1–9999";
    QTest::newRow("address twice in the file")
        << listFile(goodHead, goodLine, deviceAt3 + deviceJson("1", "Pa", 0, 1)) << "第 3 个设备：地址 1 与第 1 个设备重复";
    QTest::newRow("two references")
        << listFile(QStringLiteral(R"("format": "velmora-device-list", "version": 4)"), goodLine,
                    R"({"address": 1, "unit": "Pa", "decimals": 0, "recordPeriod": 1, "reference": true}, )"
                    R"({"address": 2, "unit": "Pa", "decimals": 0, "recordPeriod": 1, "reference": true})")
        << "第 2 个设备：参考表 (reference) 已是第 1 个设备，只能有一个";

    // Limits are refused whole, with the device and the field named.
    const QString head2 = QStringLiteral(R"("format": "velmora-device-list", "version": 2)");
    const auto withLimits = [](const char *limits) {
        return QStringLiteral(R"({"address": 9, "unit": "Pa", "decimals": 0, "recordPeriod": 1, "limits": %1})")
            .arg(QLatin1String(limits));
    };
    QTest::newRow("limits not an object")
        << listFile(head2, goodLine, deviceAt3 + withLimits("[95, 105]")) << "第 3 个设备：限值 (limits) 应为对象";
    QTest::newRow("limit as text")
        << listFile(head2, goodLine, deviceAt3 + withLimits(R"({"pressureLow": 95, "pressureHigh": "105"})"))
        << "第 3 个设备：限值 (limits)：压力上限 (pressureHigh) 应为数";
    QTest::newRow("low not below high")
        << listFile(head2, goodLine, withLimits(R"({"temperatureLow": 60, "temperatureHigh": -10})"))
        << "第 1 个设备：限值 (limits)：温度下限 (temperatureLow) 60 应低于温度上限 (temperatureHigh) -10";
    QTest::newRow("negative dead band")
        << listFile(head2, goodLine, deviceAt3 + withLimits(R"({"pressureHigh": 105, "pressureDeadband": -0.5})"))
        << "第 3 个设备：限值 (limits)：压力回差 (pressureDeadband) -0.5 不能为负";
    QTest::newRow("dead band wider than the band")
        << listFile(head2, goodLine, deviceAt3 + withLimits(R"({"pressureLow": 95, "pressureHigh": 105, "pressureDeadband": 12})"))
        << "第 3 个设备：限值 (limits)：压力回差 (pressureDeadband) 12 应小于上下限之差 10";

    // Maps are refused whole, with the map or the device and the field named.
    const QString twoDevices = mappedDeviceJson(1, "KPa", 1, "int16-dec-unit") + ", "
                               + mappedDeviceJson(2, "MPa", 4, "float-abcd-bar");
    const QString twoMaps = "[" + decimalUnitMap + ", " + floatBarMap + "]";
    const QString int8Map = QString(floatBarMap).replace(QStringLiteral(R"("FLOAT32", "byteOrder": "ABCD")"),
                                                         QStringLiteral(R"("INT8")"));
    const QString namelessMap = QString(floatBarMap).remove(QStringLiteral(R"("name": "float-abcd-bar", )"));
    const QString builtInNamedMap =
        QString(floatBarMap).replace(QStringLiteral("float-abcd-bar"), QStringLiteral("标准"));
    QTest::newRow("maps not an array")
        << listWithMaps(decimalUnitMap, deviceJson("1", "Pa", 0, 1)) << "映射 (maps) 应为数组";
    QTest::newRow("map not an object")
        << listWithMaps("[" + decimalUnitMap + ", 7]", twoDevices) << "第 2 个映射：应为对象";
    QTest::newRow("map with an unknown type")
        << listWithMaps("[" + decimalUnitMap + ", " + int8Map + "]", twoDevices)
        << "第 2 个映射：压力 (pressure)：数据类型 (type) \"INT8\" 不在可选值";
    QTest::newRow("map without a name")
        << listWithMaps("[" + namelessMap + "]", deviceJson("1", "Pa", 0, 1)) << "第 1 个映射：缺少 名称 (name)";
    QTest::newRow("map named twice")
        << listWithMaps("[" + decimalUnitMap + ", " + floatBarMap + ", " + decimalUnitMap + "]", twoDevices)
        << "第 3 个映射：名称 (name) \"int16-dec-unit\" 与第 1 个映射重复";
    QTest::newRow("map named as the built-in one")
        << listWithMaps("[" + builtInNamedMap + "]", deviceJson("1", "Pa", 0, 1))
        << "第 1 个映射：名称 (name) \"标准\" 是内置映射的名称";
    QTest::newRow("device naming a map the file lacks")
        << listWithMaps(twoMaps, twoDevices + ", " + mappedDeviceJson(3, "Pa", 0, "float-cdab-holding"))
        << "第 3 个设备：映射 (map) \"float-cdab-holding\" 不在文件的映射 (maps) 中";
    QTest::newRow("device naming a map, file without maps")
        << listFile(goodHead, goodLine, mappedDeviceJson(1, "Pa", 0, "float-abcd-bar"))
        << "第 1 个设备：映射 (map) \"float-abcd-bar\" 不在文件的映射 (maps) 中";
    QTest::newRow("map name not text")
        << listWithMaps(twoMaps, R"({"address": 9, "unit": "Pa", "decimals": 0, "recordPeriod": 1, "map": 2})")
        << "第 1 个设备：映射 (map) 应为文本";

    const QString otherLine =
        QStringLiteral(R"("port": "COM3", "baudRate": %1, "parity": %2, "dataBits": %3, "stopBits": %4)");
    QTest::newRow("baud rate not offered")
        << listFile(goodHead, otherLine.arg("12345", "\"N\"", "8", "1")) << "串口设置：波特率 \"12345\" 不在";
    QTest::newRow("parity not offered")
        << listFile(goodHead, otherLine.arg("9600", "\"X\"", "8", "1")) << "串口设置：校验位 \"X\" 不在";
    QTest::newRow("data bits not offered")
        << listFile(goodHead, otherLine.arg("9600", "\"N\"", "9", "1")) << "串口设置：数据位 \"9\" 不在";
    QTest::newRow("stop bits not offered")
        << listFile(goodHead, otherLine.arg("9600", "\"N\"", "8", "1.5")) << "串口设置：停止位 \"1.5\" 不在";
}

void TestDeviceListFile::rejectsBadFileChangingNothing()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, problem);

    const LineChoices before{QStringLiteral("/tmp/velmora-bus"), QStringLiteral("38400"), QStringLiteral("N"),
                              QStringLiteral("8"), QStringLiteral("2")};
    setLine(before);
    addDevice(*window, 9, QStringLiteral("Bar"), 2, 30);
    const QString path = writeFile(content);

    const MessageBoxes boxes;
    runAction(QStringLiteral("shortcut"), "openDeviceListAction", path);

    QCOMPARE(boxes.titles, QStringList{QStringLiteral("提示")});
    const QString text = boxes.texts.value(0);
    QVERIFY2(text.contains(path) && text.contains(problem), qPrintable(text));
    QCOMPARE(listedDevices(*window), QStringList{QStringLiteral("9 Bar 2 30")});
    QCOMPARE(line(), before);
    QCOMPARE(maps()->names(), QStringList{standardMapName()});
}

void TestDeviceListFile::skipsListedAddressesInOneNotice_data()
{
    QTest::addColumn<QString>("port");

    QTest::newRow("port closed: line settings taken") << "closed";
    QTest::newRow("port open: line settings left alone") << "open";
    // The boxes must keep naming the line being opened.
    QTest::newRow("port opening: line settings left alone") << "opening";
}

void TestDeviceListFile::skipsListedAddressesInOneNotice()
{
    QFETCH(QString, port);
    const bool portOpen = port != QLatin1String("closed");

    SimulatorProcess sim({"--slave", "3"});
    if (portOpen) {
        QVERIFY(sim.start());
        QVERIFY(openPort(*window, sim.devicePath()));
    }
    addDevice(*window, 3, QStringLiteral("Bar"), 2, 7);
    addDevice(*window, 5, QStringLiteral("Pa"), 0, 1);
    if (port == QLatin1String("opening")) {
        // Device 5 is silent: the new open waits on the line's thread behind
        // its request, which takes the whole second of the time-out.
        QVERIFY(QMetaObject::invokeMethod(window.get(), "MB_POLL"));
        QTRY_COMPARE_WITH_TIMEOUT(recordAt(*window, 0).totalCount, 1u, 2000);
        QTest::qWait(100);
        auto *openButton = widget<QPushButton>(*window, "btnOpen");
        QTest::mouseClick(openButton, Qt::LeftButton);
        QTest::mouseClick(openButton, Qt::LeftButton);
        QVERIFY(!portIsOpen(*window));
    }
    const LineChoices before = line();
    // Line settings written as numbers, as someone editing the file might.
    const QString line = QStringLiteral(
        R"("port": "/dev/ttyUSB9", "baudRate": 19200, "parity": "E", "dataBits": 8, "stopBits": 2)");
    const QStringList fileDevices{deviceJson("1", "KPa", 1, 2), deviceJson("3", "psi", 3, 3),
                                  deviceJson("4", "MPa", 4, 4), deviceJson("5", "mBar", 5, 5),
                                  deviceJson("6", "Pa", 0, 6)};
    const QString path = writeFile(listFile(goodHead, line, fileDevices.join(", ")));

    const MessageBoxes boxes;
    runAction(QStringLiteral("empty area menu"), "openDeviceListAction", path);

    QCOMPARE(listedDevices(*window), (QStringList{"3 Bar 2 7", "5 Pa 0 1", "1 KPa 1 2", "4 MPa 4 4", "6 Pa 0 6"}));
    QCOMPARE(boxes.texts.size(), 1);
    const QString text = boxes.texts.first();
    QVERIFY2(text.contains(QStringLiteral("已跳过：3、5")), qPrintable(text));
    QCOMPARE(text.contains(QStringLiteral("串口已打开")), portOpen);
    const LineChoices fromFile{QStringLiteral("/dev/ttyUSB9"), QStringLiteral("19200"), QStringLiteral("E"),
                                QStringLiteral("8"), QStringLiteral("2")};
    QCOMPARE(this->line(), portOpen ? before : fromFile);
    QTRY_COMPARE_WITH_TIMEOUT(portIsOpen(*window), portOpen, 3000);
}

void TestDeviceListFile::reportsFailedSave()
{
    addDevice(*window, 1);
    // No file can be created in /proc, not even by root.
    const QString path = QStringLiteral("/proc/velmora-bench.json");

    const MessageBoxes boxes;
    runAction(QStringLiteral("shortcut"), "saveDeviceListAction", path);

    QCOMPARE(boxes.titles, QStringList{QStringLiteral("提示")});
    const QString text = boxes.texts.value(0);
    QVERIFY2(text.contains(path) && text.contains(QStringLiteral("没有保存")), qPrintable(text));
    QVERIFY(!QFile::exists(path));
}

void TestDeviceListFile::keepsLimitsWithTheDevices_data()
{
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QByteArray>("saved");

    QTest::newRow("all six") << QStringList{"95", "105", "0.5", "-10", "60", "0.2"}
                             << QByteArray(R"({"pressureDeadband":0.5,"pressureHigh":105,"pressureLow":95,)"
                                           R"("temperatureDeadband":0.2,"temperatureHigh":60,"temperatureLow":-10})");
    QTest::newRow("pressure high only") << QStringList{"", "101.325", "", "", "", ""}
                                        << QByteArray(R"({"pressureHigh":101.325})");
    QTest::newRow("temperature low with dead band") << QStringList{"", "", "", "-40", "", "1.5"}
                                                    << QByteArray(R"({"temperatureDeadband":1.5,"temperatureLow":-40})");
}

void TestDeviceListFile::keepsLimitsWithTheDevices()
{
    QFETCH(QStringList, typed);
    QFETCH(QByteArray, saved);

    addDevice(*window, 4, QStringLiteral("KPa"), 3, 1);
    addDevice(*window, 8, QStringLiteral("Bar"), 2, 5);
    QCOMPARE(setLimitsFromMenu(*window, 1, typed), QString());
    // A wrong number is refused and the limits set stay as they are.
    QCOMPARE(setLimitsFromMenu(*window, 1, {"1", "0", "", "", "", ""}),
             QStringLiteral("压力下限 (pressureLow) 1 应低于压力上限 (pressureHigh) 0"));

    const MessageBoxes boxes;
    const QString path = dir->filePath(QStringLiteral("limits.json"));
    runAction(QStringLiteral("shortcut"), "saveDeviceListAction", path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(root.value(QStringLiteral("version")).toInt(), 2);
    const QJsonArray devices = root.value(QStringLiteral("devices")).toArray();
    QVERIFY(!devices.at(0).toObject().contains(QStringLiteral("limits")));
    QCOMPARE(QJsonDocument(devices.at(1).toObject().value(QStringLiteral("limits")).toObject())
                 .toJson(QJsonDocument::Compact),
             saved);

    // Removing the device drops its limits; opening the list brings them back.
    listView(*window)->setCurrentIndex(proxyModel(*window)->index(1, 0));
    QTest::mouseClick(widget<QPushButton>(*window, "btnDelreader"), Qt::LeftButton);
    QCOMPARE(listedDevices(*window), QStringList{QStringLiteral("4 KPa 3 1")});
    addDevice(*window, 8, QStringLiteral("Bar"), 2, 5);
    QVERIFY(deviceModel(*window)->index(1, 0).data(LimitsRole).isNull());
    QTest::mouseClick(widget<QPushButton>(*window, "btnClrList"), Qt::LeftButton);
    runAction(QStringLiteral("empty area menu"), "openDeviceListAction", path);
    QCOMPARE(boxes.texts, QStringList());
    QCOMPARE(listedDevices(*window), (QStringList{"4 KPa 3 1", "8 Bar 2 5"}));
    QVERIFY(deviceModel(*window)->index(0, 0).data(LimitsRole).isNull());
    QCOMPARE(limitsToJson(qvariant_cast<Limits>(deviceModel(*window)->index(1, 0).data(LimitsRole))),
             QJsonDocument::fromJson(saved).object());
}

void TestDeviceListFile::savesListsWithTheOldestVersion_data()
{
    QTest::addColumn<bool>("withLimits");
    QTest::addColumn<QByteArray>("saved");

    // Written by hand in the layout the program has always written: the
    // library's maps stay out while every device is read with 标准.
    const QByteArray devices = R"(    "devices": [
        {
            "address": 3,
            "decimals": 2,
            "recordPeriod": 5,
            "unit": "KPa"
        },
        {
            "address": 4,
            "decimals": 0,
)";
    const QByteArray rest = R"(            "recordPeriod": 1,
            "unit": "Bar"
        }
    ],
    "format": "velmora-device-list",
    "line": {
        "baudRate": "115200",
        "dataBits": "8",
        "parity": "O",
        "port": "/dev/ttyUSB3",
        "stopBits": "1"
    },
)";
    QTest::newRow("version 1") << false << "{\n" + devices + rest + "    \"version\": 1\n}\n";
    QTest::newRow("version 2, limits")
        << true
        << "{\n" + devices + "            \"limits\": {\n                \"pressureHigh\": 1.5\n            },\n" + rest
               + "    \"version\": 2\n}\n";
}

void TestDeviceListFile::savesListsWithTheOldestVersion()
{
    QFETCH(bool, withLimits);
    QFETCH(QByteArray, saved);

    QVERIFY(maps()->store(mapOf(floatBarMap)).ok());
    setLine({QStringLiteral("/dev/ttyUSB3"), QStringLiteral("115200"), QStringLiteral("O"), QStringLiteral("8"),
             QStringLiteral("1")});
    addDevice(*window, 3, QStringLiteral("KPa"), 2, 5);
    addDevice(*window, 4, QStringLiteral("Bar"), 0, 1);
    if (withLimits)
        QCOMPARE(setLimitsFromMenu(*window, 1, {"", "1.5", "", "", "", ""}), QString());

    const MessageBoxes boxes;
    const QString path = dir->filePath(QStringLiteral("standard.json"));
    runAction(QStringLiteral("shortcut"), "saveDeviceListAction", path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), saved);
    QCOMPARE(boxes.texts, QStringList());
}

void TestDeviceListFile::keepsCalibrationInTheFile_data()
{
    QTest::addColumn<CalibrationSettings>("first");
    QTest::addColumn<CalibrationSettings>("second");
    QTest::addColumn<int>("reference");
    QTest::addColumn<bool>("withLimits");
    QTest::addColumn<int>("version");
    // The calibration objects as written, keys in alphabetical order.
    QTest::addColumn<QByteArray>("firstSaved");
    QTest::addColumn<QByteArray>("secondSaved");

    const CalibrationSettings none;
    QTest::newRow("all six, first is the reference")
        << calibration("A1-0042", "PX-300", "PT-101", 0, 1000, 0.25) << none << 0 << false << 4
        << QByteArray(R"({"accuracy":0.25,"model":"PX-300","rangeHigh":1000,"rangeLow":0,)"
                      R"("serialNumber":"A1-0042","tag":"PT-101"})")
        << QByteArray();
    QTest::newRow("a tag only, with limits")
        << none << calibration("", "", "PT-7") << -1 << true << 4 << QByteArray() << QByteArray(R"({"tag":"PT-7"})");
    QTest::newRow("reference only") << none << none << 1 << false << 4 << QByteArray() << QByteArray();
    QTest::newRow("range across zero")
        << none << calibration("", "", "", -100, 100, 0.5) << -1 << false << 4 << QByteArray()
        << QByteArray(R"({"accuracy":0.5,"rangeHigh":100,"rangeLow":-100})");
    QTest::newRow("neither, with limits: version 2") << none << none << -1 << true << 2 << QByteArray() << QByteArray();
    QTest::newRow("neither: version 1") << none << none << -1 << false << 1 << QByteArray() << QByteArray();
}

void TestDeviceListFile::keepsCalibrationInTheFile()
{
    QFETCH(CalibrationSettings, first);
    QFETCH(CalibrationSettings, second);
    QFETCH(int, reference);
    QFETCH(bool, withLimits);
    QFETCH(int, version);
    QFETCH(QByteArray, firstSaved);
    QFETCH(QByteArray, secondSaved);

    DeviceList list;
    list.line = {QStringLiteral("/dev/ttyUSB3"), QStringLiteral("115200"), QStringLiteral("O"), QStringLiteral("8"),
                 QStringLiteral("1")};
    Limits limits;
    if (withLimits)
        limits.pressureHigh = 1.5;
    list.devices = {{3, QStringLiteral("KPa"), 2, 5, {}, standardMapName(), first, reference == 0},
                    {4, QStringLiteral("Bar"), 0, 1, limits, standardMapName(), second, reference == 1}};

    const QByteArray saved = DeviceListFile::toJson(list);
    const QJsonObject root = QJsonDocument::fromJson(saved).object();
    QCOMPARE(root.value(QStringLiteral("version")).toInt(), version);
    const QJsonArray devices = root.value(QStringLiteral("devices")).toArray();
    QCOMPARE(compactField(devices, 0, "calibration"), firstSaved);
    QCOMPARE(compactField(devices, 1, "calibration"), secondSaved);
    for (int i = 0; i < 2; ++i)
        QCOMPARE(compactField(devices, i, "reference"), i == reference ? QByteArray("[true]") : QByteArray());
    if (version == 1) {
        // Byte for byte what a list without calibration has always been.
        QCOMPARE(saved, QByteArray(R"({
    "devices": [
        {
            "address": 3,
            "decimals": 2,
            "recordPeriod": 5,
            "unit": "KPa"
        },
        {
            "address": 4,
            "decimals": 0,
            "recordPeriod": 1,
            "unit": "Bar"
        }
    ],
    "format": "velmora-device-list",
    "line": {
        "baudRate": "115200",
        "dataBits": "8",
        "parity": "O",
        "port": "/dev/ttyUSB3",
        "stopBits": "1"
    },
    "version": 1
}
)"));
    }

    const Result<DeviceList> parsed = DeviceListFile::parse(saved, offeredByHand());
    QVERIFY2(parsed.ok(), qPrintable(parsed.error()));
    QCOMPARE(parsed.value().devices.size(), 2);
    QCOMPARE(parsed.value().devices.at(0).calibration, first);
    QCOMPARE(parsed.value().devices.at(1).calibration, second);
    QCOMPARE(parsed.value().devices.at(0).reference, reference == 0);
    QCOMPARE(parsed.value().devices.at(1).reference, reference == 1);
}

void TestDeviceListFile::refusesBadCalibration_data()
{
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("third");
    QTest::addColumn<QString>("problem");

    const auto device = [](int address, const char *extra) {
        return QStringLiteral(R"({"address": %1, "unit": "KPa", "decimals": 0, "recordPeriod": 1%2})")
            .arg(address)
            .arg(QString::fromUtf8(extra));
    };
    const QString plain = device(3, "");
    QTest::newRow("low not below high")
        << device(2, R"(, "calibration": {"rangeLow": 100, "rangeHigh": 100})") << plain
        << "第 2 个设备：校准 (calibration)：量程下限 (rangeLow) 100 应低于量程上限 (rangeHigh) 100";
    QTest::newRow("one end only")
        << device(2, R"(, "calibration": {"rangeHigh": 1000, "accuracy": 0.5})") << plain
        << "第 2 个设备：校准 (calibration)：量程下限 (rangeLow) 与 量程上限 (rangeHigh) 应同时给出";
    QTest::newRow("class 0")
        << device(2, "") << device(3, R"(, "calibration": {"rangeLow": 0, "rangeHigh": 10, "accuracy": 0})")
        << "第 3 个设备：校准 (calibration)：准确度等级 (accuracy) 0 应大于 0 且不超过 100";
    QTest::newRow("class 101")
        << device(2, R"(, "calibration": {"rangeLow": 0, "rangeHigh": 10, "accuracy": 101})") << plain
        << "第 2 个设备：校准 (calibration)：准确度等级 (accuracy) 101 应大于 0 且不超过 100";
    QTest::newRow("class without a range")
        << device(2, R"(, "calibration": {"model": "PX-300", "accuracy": 0.25})") << plain
        << "第 2 个设备：校准 (calibration)：给出 准确度等级 (accuracy) 时应给出量程";
    QTest::newRow("comma in the serial number")
        << device(2, R"(, "calibration": {"serialNumber": "A1,0042"})") << plain
        << "第 2 个设备：校准 (calibration)：序列号 (serialNumber) 不能含逗号或换行";
    QTest::newRow("unknown key")
        << device(2, R"(, "calibration": {"serial": "A1-0042"})") << plain
        << "第 2 个设备：校准 (calibration)：未知的字段 \"serial\"";
    QTest::newRow("range as text")
        << device(2, R"(, "calibration": {"rangeLow": "0", "rangeHigh": 10})") << plain
        << "第 2 个设备：校准 (calibration)：量程下限 (rangeLow) 应为数";
    QTest::newRow("calibration not an object")
        << device(2, R"(, "calibration": "A1-0042")") << plain << "第 2 个设备：校准 (calibration) 应为对象";
    QTest::newRow("reference as text")
        << device(2, R"(, "reference": "yes")") << plain << "第 2 个设备：参考表 (reference) 应为 true 或 false";
    QTest::newRow("second reference")
        << device(2, R"(, "reference": false)") << device(3, R"(, "reference": true)")
        << "第 3 个设备：参考表 (reference) 已是第 1 个设备，只能有一个";
}

void TestDeviceListFile::refusesBadCalibration()
{
    QFETCH(QString, second);
    QFETCH(QString, third);
    QFETCH(QString, problem);

    // The first device is the reference, with good settings.
    const QString first = QStringLiteral(
        R"({"address": 1, "unit": "KPa", "decimals": 0, "recordPeriod": 1, "reference": true, )"
        R"("calibration": {"rangeLow": 0, "rangeHigh": 1000, "accuracy": 0.25}})");
    const QByteArray content = listFile(QStringLiteral(R"("format": "velmora-device-list", "version": 4)"), goodLine,
                                        first + ", " + second + ", " + third);
    const Result<DeviceList> parsed = DeviceListFile::parse(content, offeredByHand());
    QVERIFY(!parsed.ok());
    QCOMPARE(parsed.error(), problem);
}

void TestDeviceListFile::keepsCalibrationWithTheDevices()
{
    addDevice(*window, 4, QStringLiteral("KPa"), 3, 1);
    addDevice(*window, 8, QStringLiteral("KPa"), 2, 5);
    addDevice(*window, 9, QStringLiteral("Bar"), 1, 1);
    QStandardItemModel *devices = deviceModel(*window);
    QListView *view = listView(*window);
    const auto dialog = [this] { return window->findChild<CalibrationSettingsDialog *>("calibrationSettingsDialog"); };
    const auto field = [&dialog](const char *name) { return dialog()->findChild<QLineEdit *>(QLatin1String(name)); };
    const auto clickOk = [&dialog] {
        QTest::mouseClick(dialog()->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };
    const auto select = [view](std::initializer_list<int> rows) {
        view->clearSelection();
        for (const int row : rows)
            view->selectionModel()->select(view->model()->index(row, 0), QItemSelectionModel::Select);
    };

    // One device, nothing selected: the tile under the cursor.
    QVERIFY(chooseFromTileMenu(*window, 0, "calibrationSettingsAction"));
    QVERIFY(dialog() && dialog()->isVisible());
    QCOMPARE(dialog()->windowTitle(), QStringLiteral("校准设置"));
    QVERIFY(field("serialNumber")->isEnabled());
    QTest::keyClicks(field("serialNumber"), "A1-0004");
    QTest::keyClicks(field("deviceModel"), "PX-300");
    QTest::keyClicks(field("tag"), "PT-4");
    clickOk();
    QVERIFY(!dialog());
    QCOMPARE(qvariant_cast<CalibrationSettings>(devices->index(0, 0).data(CalibrationRole)),
             calibration("A1-0004", "PX-300", "PT-4"));

    // Two devices of one unit: the range and class set for both, the texts
    // left alone keep each device's own.
    select({0, 1});
    QVERIFY(chooseFromTileMenu(*window, 1, "calibrationSettingsAction"));
    QVERIFY(!field("serialNumber")->isEnabled());
    QCOMPARE(field("deviceModel")->text(), QString());
    QCOMPARE(field("deviceModel")->placeholderText(), QStringLiteral("（多个值）"));
    QCOMPARE(dialog()->findChild<QLabel *>("rangeLowUnit")->text(), QStringLiteral("KPa"));
    QTest::keyClicks(field("rangeLow"), "1000");
    QTest::keyClicks(field("rangeHigh"), "0");
    QTest::keyClicks(dialog()->findChild<QComboBox *>("accuracyClass")->lineEdit(), "0.25");
    clickOk();
    // Refused, the dialog open, naming the first device.
    QVERIFY(dialog() && dialog()->isVisible());
    QCOMPARE(dialog()->findChild<QLabel *>("calibrationProblem")->text(),
             QStringLiteral("设备地址 4：量程下限 (rangeLow) 1000 应低于量程上限 (rangeHigh) 0"));
    field("rangeLow")->setText(QStringLiteral("0"));
    field("rangeHigh")->setText(QStringLiteral("1000"));
    clickOk();
    QVERIFY(!dialog());
    QCOMPARE(qvariant_cast<CalibrationSettings>(devices->index(0, 0).data(CalibrationRole)),
             calibration("A1-0004", "PX-300", "PT-4", 0, 1000, 0.25));
    QCOMPARE(qvariant_cast<CalibrationSettings>(devices->index(1, 0).data(CalibrationRole)),
             calibration("", "", "", 0, 1000, 0.25));

    // KPa and Bar: no range for both.
    select({1, 2});
    QVERIFY(chooseFromTileMenu(*window, 2, "calibrationSettingsAction"));
    QVERIFY(!field("rangeLow")->isEnabled() && !field("rangeHigh")->isEnabled());
    const QString why = field("rangeLow")->toolTip();
    QVERIFY2(why.contains(QStringLiteral("单位不同")) && why.contains(QStringLiteral("KPa、Bar")), qPrintable(why));
    dialog()->reject();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    view->clearSelection();

    // One reference at a time; unticking makes none.
    const auto references = [devices] {
        QList<bool> marked;
        for (int row = 0; row < devices->rowCount(); ++row)
            marked << devices->index(row, 0).data(ReferenceRole).toBool();
        return marked;
    };
    auto *referenceAction = window->findChild<QAction *>("referenceAction");
    QVERIFY(chooseFromTileMenu(*window, 0, "referenceAction"));
    QCOMPARE(references(), (QList<bool>{true, false, false}));
    QVERIFY(chooseFromTileMenu(*window, 2, "referenceAction"));
    QCOMPARE(references(), (QList<bool>{false, false, true}));
    QVERIFY(chooseFromTileMenu(*window, 1, "referenceAction"));
    QVERIFY(referenceAction->isChecked());
    QVERIFY(chooseFromTileMenu(*window, 1, "referenceAction"));
    QVERIFY(!referenceAction->isChecked());
    QCOMPARE(references(), (QList<bool>{false, false, false}));
    QVERIFY(chooseFromTileMenu(*window, 2, "referenceAction"));
    QCOMPARE(references(), (QList<bool>{false, false, true}));

    const MessageBoxes boxes;
    const QString path = dir->filePath(QStringLiteral("calibration.json"));
    runAction(QStringLiteral("shortcut"), "saveDeviceListAction", path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(root.value(QStringLiteral("version")).toInt(), 4);
    const QJsonArray saved = root.value(QStringLiteral("devices")).toArray();
    QCOMPARE(compactField(saved, 0, "calibration"),
             QByteArray(R"({"accuracy":0.25,"model":"PX-300","rangeHigh":1000,"rangeLow":0,)"
                        R"("serialNumber":"A1-0004","tag":"PT-4"})"));
    QCOMPARE(compactField(saved, 1, "calibration"), QByteArray(R"({"accuracy":0.25,"rangeHigh":1000,"rangeLow":0})"));
    QCOMPARE(compactField(saved, 2, "calibration"), QByteArray());
    QCOMPARE(compactField(saved, 0, "reference"), QByteArray());
    QCOMPARE(compactField(saved, 2, "reference"), QByteArray("[true]"));

    // Opened into an empty list, the settings and the reference come back;
    // opened beside another reference, the bench keeps its own.
    QTest::mouseClick(widget<QPushButton>(*window, "btnClrList"), Qt::LeftButton);
    addDevice(*window, 20, QStringLiteral("Pa"), 0, 1);
    runAction(QStringLiteral("shortcut"), "openDeviceListAction", path);
    QCOMPARE(boxes.texts, QStringList());
    QCOMPARE(references(), (QList<bool>{false, false, false, true}));
    QCOMPARE(qvariant_cast<CalibrationSettings>(devices->index(1, 0).data(CalibrationRole)),
             calibration("A1-0004", "PX-300", "PT-4", 0, 1000, 0.25));
    QVERIFY(devices->index(3, 0).data(CalibrationRole).isNull());
    widget<CalibrationSettingsActions>(*window, "calibrationSettingsActions")->setReference(20, true);
    QCOMPARE(references(), (QList<bool>{true, false, false, false}));
    devices->removeRows(1, 3);
    runAction(QStringLiteral("shortcut"), "openDeviceListAction", path);
    QCOMPARE(references(), (QList<bool>{true, false, false, false}));
    QCOMPARE(boxes.texts, QStringList{QStringLiteral("参考表仍是地址 20，地址 9 未标为参考表。")});
}

void TestDeviceListFile::pollsDevicesWithTheListsMaps()
{
    const QString mapsDir = QStringLiteral(VELMORA_SOURCE_DIR "/docs/maps/");
    SimulatorProcess sim({"--map", mapsDir + "int16-dec-unit.json", "--map", mapsDir + "float-abcd-bar.json",
                          "--slave", "1,pressure=101325,temp=23.5", "--slave", "2,map=int16-dec-unit,pressure=250000",
                          "--slave", "3,map=float-abcd-bar,pressure=250000,temp=21.5"});
    QVERIFY(sim.start());
    const QString devices = deviceJson("1", "KPa", 3, 1) + ", " + mappedDeviceJson(2, "KPa", 1, "int16-dec-unit")
                            + ", " + mappedDeviceJson(3, "MPa", 4, "float-abcd-bar");
    const QString simLine = QStringLiteral(
        R"("port": "%1", "baudRate": "9600", "parity": "N", "dataBits": "8", "stopBits": "1")").arg(sim.devicePath());
    const QByteArray original = listWithMaps("[" + decimalUnitMap + ", " + floatBarMap + "]", devices, simLine);
    const QString path = writeFile(original);

    const MessageBoxes boxes;
    runAction(QStringLiteral("shortcut"), "openDeviceListAction", path);
    QCOMPARE(boxes.texts, QStringList());
    QVERIFY(openPort(*window, sim.devicePath()));
    QCOMPARE(maps()->names(), (QStringList{"标准", "int16-dec-unit", "float-abcd-bar"}));
    QCOMPARE(maps()->newDeviceMapName(), standardMapName());
    QVERIFY(recordAt(*window, 0).map == standardMap());
    QVERIFY(recordAt(*window, 1).map == mapOf(decimalUnitMap));
    QVERIFY(recordAt(*window, 2).map == mapOf(floatBarMap));

    const QString records = dir->filePath(QStringLiteral("records"));
    QVERIFY(QDir().mkpath(records));
    QVERIFY(clickStart(*window, records));
    // A list whose map of the same name reads another unit, opened while
    // recording: the devices keep the map their rows come from.
    const QString otherBarMap = QString(floatBarMap).replace(QStringLiteral(R"("unit": "Bar")"),
                                                             QStringLiteral(R"("unit": "mBar")"));
    const QString changed = writeFile(listWithMaps("[" + otherBarMap + "]", mappedDeviceJson(3, "MPa", 4, "float-abcd-bar"),
                                                   simLine));
    runAction(QStringLiteral("shortcut"), "openDeviceListAction", changed);
    QTRY_COMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.texts.first().contains(QStringLiteral("映射 float-abcd-bar 正用于")), qPrintable(boxes.texts.first()));
    QVERIFY(recordAt(*window, 2).map == mapOf(floatBarMap));
    QVERIFY(maps()->find(QStringLiteral("float-abcd-bar")) == mapOf(floatBarMap));
    // Two rows each: written 2 s after Start, then every second.
    QTest::qWait(3500);
    QTest::mouseClick(widget<QPushButton>(*window, "btnStop"), Qt::LeftButton);
    QVERIFY(waitForPollCycleEnd(*window));
    QVERIFY(waitForRecordWrites(*window));

    struct Expected
    {
        const char *pressure;
        const char *temperature;
        const char *rowTail;
    };
    // 101325 Pa = 101.325 kPa; int16-dec-unit serves 250000 Pa as 2500 with
    // 4 decimals in MPa (code 0): 0.25 MPa = 250.0 kPa, no temperature;
    // float-abcd-bar serves 2.5 bar = 0.2500 MPa and 21.5 °C.
    const Expected expected[] = {
        {"压力: 101.325 KPa", "温度: 23.5 ℃", ",101.325,KPa,23.5,"},
        {"压力: 250.0 KPa", "温度:  ℃", ",250.0,KPa,,"},
        {"压力: 0.2500 MPa", "温度: 21.5 ℃", ",0.2500,MPa,21.5,"},
    };
    const QStringList files = QDir(records).entryList({QStringLiteral("*.csv")}, QDir::Files, QDir::Name);
    QCOMPARE(files.size(), 3);
    for (int row = 0; row < 3; ++row) {
        const ItemData record = recordAt(*window, row);
        QCOMPARE(statusAt(*window, row), int(Good));
        QVERIFY(record.totalCount >= 2);
        QCOMPARE(record.failCount, 0u);
        QCOMPARE(pressureLineText(record), QString::fromUtf8(expected[row].pressure));
        QCOMPARE(temperatureLineText(record), QString::fromUtf8(expected[row].temperature));

        QFile csv(QDir(records).filePath(files.filter(QStringLiteral("设备地址%1__").arg(row + 1)).value(0)));
        QVERIFY2(csv.open(QIODevice::ReadOnly), qPrintable(csv.fileName()));
        const QStringList lines = QString::fromUtf8(csv.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(lines.size() >= 3, qPrintable(lines.join(QLatin1Char('|'))));
        QCOMPARE(lines.at(0), QStringLiteral("序号,时间,压力,单位,温度(℃),"));
        for (int index = 1; index <= 2; ++index) {
            const QRegularExpression shape(QStringLiteral("^%1,\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d").arg(index)
                                           + QRegularExpression::escape(QString::fromUtf8(expected[row].rowTail)) + "$");
            QVERIFY2(shape.match(lines.at(index)).hasMatch(), qPrintable(lines.at(index)));
        }
    }

    // Saved again, the list holds the same maps and names; saved once more
    // after opening that copy, the bytes are the same.
    const QString copy = dir->filePath(QStringLiteral("copy.json"));
    runAction(QStringLiteral("shortcut"), "saveDeviceListAction", copy);
    QFile saved(copy);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray savedBytes = saved.readAll();
    const QJsonObject savedRoot = QJsonDocument::fromJson(savedBytes).object();
    QCOMPARE(savedRoot.value("devices"), QJsonDocument::fromJson(original).object().value("devices"));
    QCOMPARE(savedRoot.value("version").toInt(), 3);
    const QJsonArray savedMaps = savedRoot.value("maps").toArray();
    QCOMPARE(savedMaps.size(), 2);
    QVERIFY(mapFromJson(savedMaps.at(0).toObject()).valueOr(RegisterMap()) == mapOf(decimalUnitMap));
    QVERIFY(mapFromJson(savedMaps.at(1).toObject()).valueOr(RegisterMap()) == mapOf(floatBarMap));
    QTest::mouseClick(widget<QPushButton>(*window, "btnClrList"), Qt::LeftButton);
    maps()->setMaps({});
    runAction(QStringLiteral("shortcut"), "openDeviceListAction", copy);
    const QString again = dir->filePath(QStringLiteral("again.json"));
    runAction(QStringLiteral("shortcut"), "saveDeviceListAction", again);
    QFile savedAgain(again);
    QVERIFY(savedAgain.open(QIODevice::ReadOnly));
    QCOMPARE(savedAgain.readAll(), savedBytes);
    QCOMPARE(boxes.texts.size(), 1);
}

void TestDeviceListFile::newDevicesTakeTheKeptNewDeviceMap_data()
{
    QTest::addColumn<QString>("newDeviceMap");

    QTest::newRow("标准") << "标准";
    QTest::newRow("another layout") << "float-abcd-bar";
}

void TestDeviceListFile::newDevicesTakeTheKeptNewDeviceMap()
{
    QFETCH(QString, newDeviceMap);

    QVERIFY(maps()->store(mapOf(decimalUnitMap)).ok());
    QVERIFY(maps()->store(mapOf(floatBarMap)).ok());
    QVERIFY(maps()->setNewDeviceMap(newDeviceMap));
    const RegisterMap expected = newDeviceMap == standardMapName() ? standardMap() : mapOf(floatBarMap);
    addDevice(*window, 12);
    QVERIFY(recordAt(*window, 0).map == expected);

    // The maps and the choice outlive the window; a new one reads devices
    // added with 添加到列表 with the same map.
    window.reset();
    openWindow();
    QCOMPARE(maps()->names(), (QStringList{"标准", "int16-dec-unit", "float-abcd-bar"}));
    QVERIFY(maps()->find(QStringLiteral("int16-dec-unit")) == std::optional<RegisterMap>(mapOf(decimalUnitMap)));
    QCOMPARE(maps()->newDeviceMapName(), newDeviceMap);
    addDevice(*window, 13);
    QVERIFY(recordAt(*window, 0).map == expected);

    // A device naming a map the bench does not know is not read with 标准
    // in its place: it is left out, and the operator told.
    DeviceEntry known{14, QStringLiteral("Pa"), 0, 1, {}, QStringLiteral("int16-dec-unit")};
    DeviceEntry unknown{15, QStringLiteral("Pa"), 0, 1, {}, QStringLiteral("gone")};
    const MessageBoxes boxes;
    widget<DeviceListActions>(*window, "deviceListActions")->addDevices({known, unknown});
    QCOMPARE(listedDevices(*window), (QStringList{"13 KPa 0 1", "14 Pa 0 1"}));
    QVERIFY(recordAt(*window, 1).map == mapOf(decimalUnitMap));
    QCOMPARE(boxes.texts, QStringList{QStringLiteral("地址 15 没有添加：没有名为 \"gone\" 的寄存器映射。")});
}

void TestDeviceListFile::opensTheDemoBusList()
{
    // The list the README's demo opens reads device 6 with the sample map the
    // demo bus serves it with.
    const MessageBoxes boxes;
    runAction(QStringLiteral("shortcut"), "openDeviceListAction", QStringLiteral(VELMORA_SOURCE_DIR "/docs/demo-bus.json"));
    QCOMPARE(boxes.texts, QStringList());
    QCOMPARE(line().port, QStringLiteral("/tmp/velmora-bus"));
    QCOMPARE(listedDevices(*window),
             (QStringList{"1 KPa 3 1", "2 MPa 4 5", "3 Bar 2 1", "4 KPa 2 1", "5 psi 1 1", "6 KPa 1 1"}));
    QFile sample(QStringLiteral(VELMORA_SOURCE_DIR "/docs/maps/int16-dec-unit.json"));
    QVERIFY(sample.open(QIODevice::ReadOnly));
    QVERIFY(recordAt(*window, 5).map == mapOf(QString::fromUtf8(sample.readAll())));
    for (int row = 0; row < 5; ++row)
        QVERIFY(recordAt(*window, row).map == standardMap());
}

QTEST_MAIN(TestDeviceListFile)
#include "tst_devicelistfile.moc"
