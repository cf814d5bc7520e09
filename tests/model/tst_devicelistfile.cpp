#include "mainwindow.h"
#include "devicelistfile.h"
#include "devicerecords.h"

#include "common/modalanswer.h"
#include "common/windowaccess.h"
#include "alarms/limitsharness.h"

#include "simulatorprocess.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
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

} // namespace

class TestDeviceListFile : public QObject
{
    Q_OBJECT

private slots:
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

private:
    // Runs the list action `name` the way `how` says ("tile menu", "empty area
    // menu" or "shortcut") and answers the file dialog with `path`.
    void runAction(const QString &how, const char *name, const QString &path);
    void setLine(const LineChoices &line);
    LineChoices line() const;
    QString writeFile(const QByteArray &content);

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QTemporaryDir> dir;
};

void TestDeviceListFile::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
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
    QTest::newRow("newer version") << listFile(R"("format": "velmora-device-list", "version": 3)")
                                   << "版本 3 比本程序能读的版本 2 新";
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

QTEST_MAIN(TestDeviceListFile)
#include "tst_devicelistfile.moc"
