#include "devicelistfile.h"
#include "devicelimits.h"
#include "brokerlink.h"
#include "publishdialog.h"
#include "publisher.h"

#include "mosquittobroker.h"
#include "simulatorprocess.h"
#include "tcprelay.h"
#include "common/windowaccess.h"
#include "notice.h"

#include <QAction>
#include <QCheckBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <map>

namespace {

QJsonObject json(const QString &payload)
{
    return QJsonDocument::fromJson(payload.toUtf8()).object();
}

QString noticeText(const MainWindow &window)
{
    const auto *notice = window.findChild<Notice *>(QStringLiteral("publishNotice"));
    return notice && notice->isVisible() ? notice->text() : QString();
}

// Opens the dialog from the tile area's context menu, as the operator does.
PublishDialog *openPublishDialog(const MainWindow &window)
{
    auto *action = window.findChild<QAction *>(QStringLiteral("publishAction"));
    if (!action)
        return nullptr;
    action->trigger();
    return window.findChild<PublishDialog *>(QStringLiteral("publishDialog"));
}

void fill(PublishDialog *dialog, const PublishSettings &settings, bool savePassword = false)
{
    dialog->findChild<QLineEdit *>(QStringLiteral("brokerEdit"))->setText(settings.broker);
    dialog->findChild<QLineEdit *>(QStringLiteral("stationEdit"))->setText(settings.station);
    dialog->findChild<QLineEdit *>(QStringLiteral("topicPrefixEdit"))->setText(settings.topicPrefix);
    dialog->findChild<QLineEdit *>(QStringLiteral("usernameEdit"))->setText(settings.username);
    dialog->findChild<QLineEdit *>(QStringLiteral("passwordEdit"))->setText(settings.password);
    dialog->findChild<QLineEdit *>(QStringLiteral("caFileEdit"))->setText(settings.caFile);
    dialog->findChild<QCheckBox *>(QStringLiteral("savePasswordBox"))->setChecked(savePassword);
}

void click(PublishDialog *dialog, const char *button)
{
    QTest::mouseClick(dialog->findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton);
}

// Starts publishing from the window's dialog; the problem it shows, if any.
QString publishFromDialog(const MainWindow &window, const PublishSettings &settings, bool savePassword = false)
{
    PublishDialog *dialog = openPublishDialog(window);
    if (!dialog)
        return QStringLiteral("no dialog");
    fill(dialog, settings, savePassword);
    click(dialog, "startPublishButton");
    return dialog->findChild<QLabel *>(QStringLiteral("publishProblem"))->text();
}

PublishSettings settingsFor(const QString &broker, const QString &station)
{
    PublishSettings settings;
    settings.broker = broker;
    settings.station = station;
    settings.topicPrefix = QStringLiteral("plant");
    return settings;
}

// What a subscriber arriving now receives under plant/: the retained
// messages, as sorted "topic payload" lines.
QStringList retainedUnderPlant(int port)
{
    MqttSubscriber fresh(port, QStringLiteral("plant/#"));
    if (!fresh.start(QStringLiteral("plant/ready")))
        return {QStringLiteral("no subscriber")};
    QTest::qWait(500);
    QStringList lines = fresh.lines();
    lines.removeAll(QStringLiteral("plant/ready ready"));
    lines.sort();
    return lines;
}

// Runs a device-list action, answering its file dialog with `path`.
bool runListAction(const MainWindow &window, const char *name, const QString &path)
{
    const ModalAnswer<QFileDialog> answer([path](QFileDialog *dialog) {
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
        static_cast<QDialog *>(dialog)->accept();
    });
    window.findChild<QAction *>(QLatin1String(name))->trigger();
    return answer.answered();
}

bool run(const QString &program, const QStringList &arguments)
{
    ChildProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ok = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit
                    && process.exitCode() == 0;
    if (!ok)
        qWarning().noquote() << program << arguments.join(QLatin1Char(' ')) << process.readAll();
    return ok;
}

// Checks one device's readings as a subscriber received them: every sequence
// number from 1 to `count` arrived, first arrivals in order, and a number
// seen twice (QoS 1 after a reconnect) carried the same reading.
QString sequenceProblem(const QStringList &payloads, int count)
{
    std::map<qint64, QString> seen;
    qint64 last = 0;
    for (const QString &payload : payloads) {
        const qint64 seq = json(payload).value(QStringLiteral("seq")).toVariant().toLongLong();
        const auto earlier = seen.find(seq);
        if (earlier != seen.end()) {
            if (earlier->second != payload)
                return QStringLiteral("seq %1 came twice with different readings").arg(seq);
            continue;
        }
        if (seq != last + 1)
            return QStringLiteral("seq %1 after %2").arg(seq).arg(last);
        seen[seq] = payload;
        last = seq;
    }
    if (last != count)
        return QStringLiteral("%1 readings arrived, %2 were taken").arg(last).arg(count);
    return {};
}

} // namespace

class TestPublishing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void publishesTheWindowsReadings();
    void alarmsRaisedBeforePublishingAreRetained();
    void deliversEverythingAfterAnOutage();
    void killedStationGoesOffline();
    void overflowIsToldAsAGap();
    void refusalsAreNamed_data();
    void refusalsAreNamed();
    void badSettingsAreRefusedWhole_data();
    void badSettingsAreRefusedWhole();
    void listFileCarriesThePublishing();
    void brokerHoldsWhatIsTrue_data();
    void brokerHoldsWhatIsTrue();
    void listFilePublishObjects_data();
    void listFilePublishObjects();

private:
    QTemporaryDir certificates;
};

void TestPublishing::initTestCase()
{
    if (MosquittoBroker::program().isEmpty())
        QSKIP("the mosquitto broker is not installed (Debian package mosquitto); scripts/deps.sh installs it");
    // A throw-away CA, a server certificate it signed for "localhost", and a
    // second CA that signed nothing of the broker's.
    const QString dir = certificates.path();
    const QString openssl = QStringLiteral("openssl");
    auto path = [&](const char *name) { return dir + QLatin1Char('/') + QLatin1String(name); };
    for (const char *ca : {"ca", "other-ca"}) {
        QVERIFY(run(openssl, {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                              QStringLiteral("/CN=Test %1").arg(QLatin1String(ca)), "-keyout",
                              path(ca) + QStringLiteral(".key"), "-out", path(ca) + QStringLiteral(".pem")}));
    }
    QVERIFY(run(openssl, {"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost", "-keyout",
                          path("server.key"), "-out", path("server.csr")}));
    QFile extensions(path("server.ext"));
    QVERIFY(extensions.open(QIODevice::WriteOnly));
    extensions.write("subjectAltName=DNS:localhost\n");
    extensions.close();
    QVERIFY(run(openssl, {"x509", "-req", "-in", path("server.csr"), "-CA", path("ca.pem"), "-CAkey",
                          path("ca.key"), "-CAcreateserial", "-days", "2", "-extfile", path("server.ext"), "-out",
                          path("server.pem")}));
    QVERIFY(run(QStringLiteral("mosquitto_passwd"), {"-c", "-b", path("passwd"), "velmora", "secret"}));
    // An account that may publish under plant/ but read nothing back.
    QVERIFY(run(QStringLiteral("mosquitto_passwd"), {"-b", path("passwd"), "publisher", "secret"}));
    QFile acl(path("acl"));
    QVERIFY(acl.open(QIODevice::WriteOnly));
    acl.write("user velmora\ntopic readwrite plant/#\nuser publisher\ntopic write plant/#\n");
}

void TestPublishing::publishesTheWindowsReadings()
{
    MosquittoBroker broker;
    QVERIFY(broker.start());
    MqttSubscriber subscriber(broker.port(), QStringLiteral("plant/#"));
    QVERIFY(subscriber.start(QStringLiteral("plant/ready")));
    SimulatorProcess simulator(
        SimulatorProcess::slaveArguments({"1,pressure=101325,temp=23.5", "2,pressure=250000,temp=-4.5"}));
    QVERIFY(simulator.start());

    MainWindow window;
    window.show();
    QVERIFY(openPort(window, simulator.devicePath()));
    addDevice(window, 1, QStringLiteral("KPa"), 3);
    addDevice(window, 2, QStringLiteral("MPa"), 4);
    addDevice(window, 3, QStringLiteral("Pa"), 0);
    // Device 1 reads above its band from its first poll on.
    Limits band;
    band.pressureHigh = 100.0;
    band.temperatureLow = -40.5;
    deviceModel(window)->setData(deviceModel(window)->index(0, 0), QVariant::fromValue(band), LimitsRole);
    const QDateTime before = QDateTime::currentDateTime();
    QCOMPARE(publishFromDialog(window, settingsFor(QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port()),
                                                   QStringLiteral("bench-7"))),
             QString());
    QVERIFY(clickStart(window, QString()));
    const QString devices = QStringLiteral("plant/bench-7/devices/");
    QTRY_VERIFY_WITH_TIMEOUT(subscriber.payloads(devices + QStringLiteral("3/reading")).size() >= 3, 20000);

    QCOMPARE(json(subscriber.payloads(QStringLiteral("plant/bench-7/status")).value(0)),
             (QJsonObject{{"online", true}, {"version", 1}, {"port", simulator.devicePath()}}));

    // A port name half typed while polling is not the line that is open.
    widget<QComboBox>(window, "cboxPortName")->setEditText(QStringLiteral("/dev/ttyU"));
    const int readingsBefore = subscriber.payloads(devices + QStringLiteral("1/reading")).size();
    QTRY_VERIFY(subscriber.payloads(devices + QStringLiteral("1/reading")).size() >= readingsBefore + 3);
    QCOMPARE(subscriber.payloads(QStringLiteral("plant/bench-7/status")).size(), 1);
    const struct {
        int address;
        QJsonValue pressure;
        const char *unit;
        int decimals;
        QJsonValue pressurePa;
        QJsonValue temperature;
        const char *status;
    } expected[] = {
        {1, 101.325, "KPa", 3, 101325.0, 23.5, "good"},
        {2, 0.25, "MPa", 4, 250000.0, -4.5, "good"},
        {3, QJsonValue::Null, "Pa", 0, QJsonValue::Null, QJsonValue::Null, "offline"},
    };
    QString session;
    for (const auto &device : expected) {
        const QString prefix = devices + QString::number(device.address);
        QCOMPARE(json(subscriber.payloads(prefix + QStringLiteral("/config")).value(0)),
                 (QJsonObject{{"unit", device.unit}, {"decimals", device.decimals}, {"recordPeriod", 1},
                              {"map", QStringLiteral("标准")}}));
        const QStringList readings = subscriber.payloads(prefix + QStringLiteral("/reading"));
        QVERIFY(!readings.isEmpty());
        for (int i = 0; i < readings.size(); ++i) {
            const QJsonObject reading = json(readings.at(i));
            const bool answered = device.pressure.isDouble();
            const int seq = i + 1;
            if (session.isEmpty())
                session = reading.value("session").toString();
            QCOMPARE(reading.value("session").toString(), session);
            QCOMPARE(reading.value("seq").toInt(), seq);
            QCOMPARE(reading.value("answered").toBool(), answered);
            QCOMPARE(reading.value("pressure"), device.pressure);
            QCOMPARE(reading.value("unit").toString(), QLatin1String(device.unit));
            QCOMPARE(reading.value("pressurePa"), device.pressurePa);
            QCOMPARE(reading.value("temperature"), device.temperature);
            QCOMPARE(reading.value("status").toString(), QLatin1String(device.status));
            // Publishing began before the first poll: every poll is here.
            QCOMPARE(reading.value("total").toInt(), seq);
            QCOMPARE(reading.value("fail").toInt(), answered ? 0 : seq);
            const QString time = reading.value("time").toString();
            QVERIFY2(time.contains(QRegularExpression(QStringLiteral("\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d)$"))),
                     qPrintable(time));
            const QDateTime when = QDateTime::fromString(time, Qt::ISODateWithMs);
            QVERIFY(when >= before && when <= QDateTime::currentDateTime());
        }
    }
    QVERIFY(!session.isEmpty());

    // The alarm state, retained: raised once, at the first poll.
    const QStringList alarms = subscriber.payloads(devices + QStringLiteral("1/alarm"));
    QCOMPARE(alarms.size(), 1);
    const QJsonObject alarm = json(alarms.first());
    QCOMPARE(alarm.value("active"), QJsonValue(QJsonArray{"pressureHigh"}));
    QCOMPARE(alarm.value("value"), QJsonValue(101.325));
    QCOMPARE(alarm.value("limit"), QJsonValue(100.0));
    QVERIFY(QDateTime::fromString(alarm.value("time").toString(), Qt::ISODateWithMs) >= before);
    QVERIFY(subscriber.payloads(devices + QStringLiteral("2/alarm")).isEmpty());

    // The limit removed while its alarm is active: the clear is valid JSON,
    // with no limit to name.
    Limits lowOnly;
    lowOnly.temperatureLow = -40.5;
    deviceModel(window)->setData(deviceModel(window)->index(0, 0), QVariant::fromValue(lowOnly), LimitsRole);
    QTRY_COMPARE(subscriber.payloads(devices + QStringLiteral("1/alarm")).size(), 2);
    QJsonParseError error;
    const QJsonDocument cleared =
        QJsonDocument::fromJson(subscriber.payloads(devices + QStringLiteral("1/alarm")).at(1).toUtf8(), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(cleared.object().value("active"), QJsonValue(QJsonArray()));
    QCOMPARE(cleared.object().value("value"), QJsonValue(101.325));
    QCOMPARE(cleared.object().value("limit"), QJsonValue(QJsonValue::Null));

    // A removed device's retained configuration and alarm state are cleared.
    QListView *view = listView(window);
    view->selectionModel()->select(proxyModel(window)->mapFromSource(deviceModel(window)->index(2, 0)),
                                   QItemSelectionModel::ClearAndSelect);
    QTest::mouseClick(widget<QPushButton>(window, "btnDelreader"), Qt::LeftButton);
    QTRY_COMPARE(subscriber.payloads(devices + QStringLiteral("3/config")).value(1, QStringLiteral("none")),
                 QString());
    view->selectionModel()->select(proxyModel(window)->mapFromSource(deviceModel(window)->index(0, 0)),
                                   QItemSelectionModel::ClearAndSelect);
    QTest::mouseClick(widget<QPushButton>(window, "btnDelreader"), Qt::LeftButton);
    QTRY_COMPARE(subscriber.payloads(devices + QStringLiteral("1/alarm")).value(2, QStringLiteral("none")),
                 QString());
    QTRY_COMPARE(subscriber.payloads(devices + QStringLiteral("1/config")).value(1, QStringLiteral("none")),
                 QString());

    // Closing the line: no line is named any more.
    QTest::mouseClick(widget<QPushButton>(window, "btnOpen"), Qt::LeftButton);
    QTRY_COMPARE(subscriber.payloads(QStringLiteral("plant/bench-7/status")).value(1),
                 QStringLiteral("{\"online\":true,\"port\":null,\"version\":1}"));

    // 停止发布 says goodbye before it disconnects; polling stays as it was.
    click(window.findChild<PublishDialog *>(), "stopPublishButton");
    QTRY_COMPARE(json(subscriber.payloads(QStringLiteral("plant/bench-7/status")).constLast()),
                 (QJsonObject{{"online", false}}));
    QVERIFY(widget<QPushButton>(window, "btnStop")->isEnabled());
    QTest::mouseClick(widget<QPushButton>(window, "btnStop"), Qt::LeftButton);
    QVERIFY(waitForPollCycleEnd(window));
}

// Alarm states set while nothing is published reach the broker when
// publishing starts, as they were when raised; a device removed meanwhile
// leaves nothing behind.
void TestPublishing::alarmsRaisedBeforePublishingAreRetained()
{
    MosquittoBroker broker;
    QVERIFY(broker.start());
    MqttSubscriber subscriber(broker.port(), QStringLiteral("plant/#"));
    QVERIFY(subscriber.start(QStringLiteral("plant/ready")));
    SimulatorProcess simulator(
        SimulatorProcess::slaveArguments({"1,pressure=101325,temp=23.5", "2,pressure=250000,temp=-4.5"}));
    QVERIFY(simulator.start());

    MainWindow window;
    window.show();
    QVERIFY(openPort(window, simulator.devicePath()));
    addDevice(window, 1, QStringLiteral("KPa"), 3);
    addDevice(window, 2, QStringLiteral("KPa"), 1);
    QStandardItemModel *model = deviceModel(window);
    Limits band;
    band.pressureHigh = 100.0;
    for (int row = 0; row < 2; ++row)
        model->setData(model->index(row, 0), QVariant::fromValue(band), LimitsRole);
    const QDateTime before = QDateTime::currentDateTime();
    QVERIFY(clickStart(window, QString()));
    for (int row = 0; row < 2; ++row)
        QTRY_VERIFY_WITH_TIMEOUT(model->index(row, 0).data(AlarmRole).toInt() != 0, 20000);
    listView(window)->selectionModel()->select(proxyModel(window)->mapFromSource(model->index(1, 0)),
                                               QItemSelectionModel::ClearAndSelect);
    QTest::mouseClick(widget<QPushButton>(window, "btnDelreader"), Qt::LeftButton);
    QCOMPARE(model->rowCount(), 1);
    const QDateTime published = QDateTime::currentDateTime();

    QCOMPARE(publishFromDialog(window, settingsFor(QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port()),
                                                   QStringLiteral("bench-8"))),
             QString());
    const QString devices = QStringLiteral("plant/bench-8/devices/");
    QTRY_COMPARE_WITH_TIMEOUT(subscriber.payloads(devices + QStringLiteral("1/alarm")).size(), 1, 20000);
    const QJsonObject alarm = json(subscriber.payloads(devices + QStringLiteral("1/alarm")).first());
    QCOMPARE(alarm.value("active"), QJsonValue(QJsonArray{"pressureHigh"}));
    QCOMPARE(alarm.value("value"), QJsonValue(101.325));
    QCOMPARE(alarm.value("limit"), QJsonValue(100.0));
    const QDateTime raised = QDateTime::fromString(alarm.value("time").toString(), Qt::ISODateWithMs);
    QVERIFY(raised >= before.addMSecs(-1) && raised <= published);
    QTRY_VERIFY(subscriber.payloads(devices + QStringLiteral("1/reading")).size() >= 2);
    QVERIFY(subscriber.payloads(devices + QStringLiteral("2/alarm")).isEmpty());
    QVERIFY(subscriber.payloads(devices + QStringLiteral("2/config")).isEmpty());
}

void TestPublishing::deliversEverythingAfterAnOutage()
{
    MosquittoBroker broker;
    QVERIFY(broker.start());
    MqttSubscriber subscriber(broker.port(), QStringLiteral("plant/#"));
    QVERIFY(subscriber.start(QStringLiteral("plant/ready")));
    TcpRelay relay(broker.port());
    QVERIFY(relay.listen());
    SimulatorProcess simulator(SimulatorProcess::slaveArguments({"1,pressure=wave:100000:5000:10", "2"}));
    QVERIFY(simulator.start());

    MainWindow window;
    window.show();
    QVERIFY(openPort(window, simulator.devicePath()));
    addDevice(window, 1);
    addDevice(window, 2);
    QSignalSpy taken(widget<PollCycle>(window, "pollCycle"), SIGNAL(readingTaken(Reading)));
    QCOMPARE(publishFromDialog(window, settingsFor(QStringLiteral("mqtt://127.0.0.1:%1").arg(relay.port()),
                                                   QStringLiteral("bench-8"))),
             QString());
    QVERIFY(clickStart(window, QString()));
    const QString devices = QStringLiteral("plant/bench-8/devices/%1/reading");
    QTRY_VERIFY_WITH_TIMEOUT(subscriber.payloads(devices.arg(2)).size() >= 3, 10000);

    // The broker out of reach for 10 s; the subscriber's session stays up.
    relay.cut();
    QTRY_VERIFY_WITH_TIMEOUT(noticeText(window).contains(QStringLiteral("无法连接")), 5000);
    const int takenBefore = taken.count();
    QTest::qWait(10000);
    QVERIFY(taken.count() > takenBefore + 20);
    QVERIFY(relay.restore());
    QTRY_VERIFY_WITH_TIMEOUT(noticeText(window).contains(QStringLiteral("已连接")), 20000);
    QTest::qWait(1000);
    QTest::mouseClick(widget<QPushButton>(window, "btnStop"), Qt::LeftButton);
    QVERIFY(waitForPollCycleEnd(window));

    std::map<int, int> perDevice;
    for (const QList<QVariant> &signal : qAsConst(taken))
        ++perDevice[signal.at(0).value<Reading>().address];
    QCOMPARE(int(perDevice.size()), 2);
    for (const auto &device : perDevice) {
        const QString topic = devices.arg(device.first);
        QTRY_COMPARE_WITH_TIMEOUT(sequenceProblem(subscriber.payloads(topic), device.second), QString(), 30000);
    }
}

void TestPublishing::killedStationGoesOffline()
{
    MosquittoBroker broker;
    QVERIFY(broker.start());
    MqttSubscriber subscriber(broker.port(), QStringLiteral("plant/#"));
    QVERIFY(subscriber.start(QStringLiteral("plant/ready")));
    ChildProcess station;
    station.start(QStringLiteral(PUBLISH_STATION_PATH),
                  {QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port()), "bench-9", "plant"});
    QVERIFY(station.waitForStarted(5000));
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += station.readAllStandardOutput()).contains("connected"), 10000);
    const QString status = QStringLiteral("plant/bench-9/status");
    QTRY_COMPARE_WITH_TIMEOUT(json(subscriber.payloads(status).value(0)).value("online"), QJsonValue(true), 10000);

    ::kill(pid_t(station.processId()), SIGKILL);
    QVERIFY(station.waitForFinished(5000));
    QTRY_COMPARE_WITH_TIMEOUT(json(subscriber.payloads(status).constLast()), (QJsonObject{{"online", false}}), 10000);
    // And it stays so for whoever subscribes later.
    MqttSubscriber later(broker.port(), QStringLiteral("plant/#"));
    QVERIFY(later.start(QStringLiteral("plant/ready")));
    QTRY_COMPARE(later.payloads(status), QStringList{QStringLiteral("{\"online\":false}")});
}

void TestPublishing::overflowIsToldAsAGap()
{
    MosquittoBroker broker;
    QVERIFY(broker.start());
    MqttSubscriber subscriber(broker.port(), QStringLiteral("plant/#"));
    QVERIFY(subscriber.start(QStringLiteral("plant/ready")));
    TcpRelay relay(broker.port());
    const int relayPort = MosquittoBroker::freePort();

    // A queue of 10 while the broker is away: 20 readings of device 5, then
    // 5 of device 6; the oldest 15, all of device 5, go.
    BrokerLink link(settingsFor(QStringLiteral("mqtt://127.0.0.1:%1").arg(relayPort), QStringLiteral("bench-13")),
                    QStringLiteral("s"), QStringLiteral("/dev/ttyUSB0"), 10);
    QSignalSpy dropped(&link, &BrokerLink::readingsDropped);
    link.start();
    Reading reading;
    reading.address = 5;
    reading.time = QDateTime::currentDateTime();
    for (int i = 0; i < 25; ++i) {
        link.take(reading);
        if (i == 19)
            reading.address = 6;
    }
    QTRY_VERIFY(!dropped.isEmpty() && dropped.constLast().at(0).toULongLong() == 15);
    QCOMPARE(dropped.constLast().at(1).toString(), QStringLiteral("5"));
    QVERIFY(relay.listen(relayPort));
    const QString device5 = QStringLiteral("plant/bench-13/devices/5/");
    QTRY_VERIFY_WITH_TIMEOUT(subscriber.payloads(QStringLiteral("plant/bench-13/devices/6/reading")).size() == 5,
                             15000);
    QCOMPARE(subscriber.payloads(device5 + QStringLiteral("gap")),
             QStringList{QStringLiteral("{\"fromSeq\":1,\"toSeq\":15}")});
    QStringList seqs;
    for (const QString &payload : subscriber.payloads(device5 + QStringLiteral("reading")))
        seqs << QString::number(json(payload).value("seq").toInt());
    QCOMPARE(seqs, (QStringList{"16", "17", "18", "19", "20"}));
    // The gap came before the readings after it.
    const QStringList lines = subscriber.lines();
    const auto firstOf = [&lines](const QString &prefix) {
        return std::find_if(lines.begin(), lines.end(), [&](const QString &l) { return l.startsWith(prefix); });
    };
    QVERIFY(firstOf(device5 + QStringLiteral("gap")) < firstOf(device5 + QStringLiteral("reading")));
}

void TestPublishing::refusalsAreNamed_data()
{
    QTest::addColumn<QString>("broker");
    QTest::addColumn<QString>("username");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("caFile");
    QTest::addColumn<QString>("refusal");

    const QString none;
    QTest::newRow("right password") << "mqtt://127.0.0.1:{auth}" << "velmora" << "secret" << none << none;
    QTest::newRow("wrong password") << "mqtt://127.0.0.1:{auth}" << "velmora" << "wrong" << none
                                    << "用户名或密码被服务器拒绝";
    QTest::newRow("nobody listening") << "mqtt://127.0.0.1:{free}" << none << none << none << "连接被拒绝";
    QTest::newRow("unknown host") << "mqtt://no-such-host.invalid" << none << none << none << "无法解析主机名";
    QTest::newRow("trusted certificate") << "mqtts://localhost:{tls}" << none << none << "ca.pem" << none;
    QTest::newRow("certificate of another CA") << "mqtts://localhost:{tls}" << none << none << "other-ca.pem"
                                               << "TLS 握手失败";
    QTest::newRow("host name not in the certificate") << "mqtts://127.0.0.1:{tls}" << none << none << "ca.pem"
                                                      << "TLS 握手失败";
}

void TestPublishing::refusalsAreNamed()
{
    QFETCH(QString, broker);
    QFETCH(QString, username);
    QFETCH(QString, password);
    QFETCH(QString, caFile);
    QFETCH(QString, refusal);

    const QString dir = certificates.path() + QLatin1Char('/');
    const int authPort = MosquittoBroker::freePort();
    const int tlsPort = MosquittoBroker::freePort();
    MosquittoBroker mosquitto;
    QVERIFY(mosquitto.start(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous false\npassword_file %2passwd\n"
                                           "listener %3 127.0.0.1\nallow_anonymous true\n"
                                           "cafile %2ca.pem\ncertfile %2server.pem\nkeyfile %2server.key\n")
                                .arg(authPort)
                                .arg(dir)
                                .arg(tlsPort)));
    MqttSubscriber subscriber(mosquitto.port(), QStringLiteral("plant/#"));
    QVERIFY(subscriber.start(QStringLiteral("plant/ready")));

    PublishSettings settings = settingsFor(broker.replace(QLatin1String("{auth}"), QString::number(authPort))
                                               .replace(QLatin1String("{tls}"), QString::number(tlsPort))
                                               .replace(QLatin1String("{free}"),
                                                        QString::number(MosquittoBroker::freePort())),
                                           QStringLiteral("bench-10"));
    settings.username = username;
    settings.password = password;
    settings.caFile = caFile.isEmpty() ? QString() : dir + caFile;
    MainWindow window;
    window.show();
    QCOMPARE(publishFromDialog(window, settings), QString());
    const QString status = QStringLiteral("plant/bench-10/status");
    if (refusal.isEmpty()) {
        QTRY_COMPARE_WITH_TIMEOUT(json(subscriber.payloads(status).value(0)).value("online"), QJsonValue(true),
                                  10000);
        QVERIFY(!noticeText(window).contains(QStringLiteral("无法连接")));
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(noticeText(window).contains(refusal), 10000);
    QVERIFY2(noticeText(window).contains(QStringLiteral("秒后重试")), qPrintable(noticeText(window)));
    // One notice, updated in place, however often the station retries.
    QTest::qWait(3500);
    QCOMPARE(window.findChildren<Notice *>().size(), 1);
    QVERIFY(window.findChildren<QMessageBox *>().isEmpty());
    QVERIFY(subscriber.payloads(status).isEmpty());
}

void TestPublishing::badSettingsAreRefusedWhole_data()
{
    QTest::addColumn<QString>("broker");
    QTest::addColumn<QString>("station");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("caFile");
    QTest::addColumn<QString>("problem");

    const QString good = QStringLiteral("mqtt://127.0.0.1:1883");
    QTest::newRow("other scheme") << "http://broker:1883" << "b" << "p" << "" << "只能是 mqtt 或 mqtts";
    QTest::newRow("no scheme") << "broker:1883" << "b" << "p" << "" << "格式不对";
    QTest::newRow("a path") << "mqtt://broker/plant" << "b" << "p" << "" << "格式不对";
    QTest::newRow("user in URL") << "mqtt://me@broker" << "b" << "p" << "" << "格式不对";
    QTest::newRow("no host") << "mqtt://:1883" << "b" << "p" << "" << "格式不对";
    QTest::newRow("port 0") << "mqtt://broker:0" << "b" << "p" << "" << "1–65535";
    QTest::newRow("port 65536") << "mqtts://broker:65536" << "b" << "p" << "" << "1–65535";
    QTest::newRow("empty port") << "mqtt://broker:" << "b" << "p" << "" << "1–65535";
    QTest::newRow("port not a number") << "mqtt://broker:x1" << "b" << "p" << "" << "格式不对";
    QTest::newRow("empty station") << good << "" << "p" << "" << "站名不能为空";
    QTest::newRow("station with /") << good << "hall/7" << "p" << "" << "不能含有";
    QTest::newRow("station with +") << good << "bench+" << "p" << "" << "不能含有";
    QTest::newRow("station with #") << good << "#" << "p" << "" << "不能含有";
    QTest::newRow("empty prefix") << good << "b" << "" << "" << "主题前缀不能为空";
    QTest::newRow("prefix with #") << good << "b" << "plant/#" << "" << "不能含有";
    QTest::newRow("prefix with +") << good << "b" << "+" << "" << "不能含有";
    QTest::newRow("prefix with an empty level") << good << "b" << "plant//hall" << "" << "空的层级";
    QTest::newRow("prefix ending in /") << good << "b" << "plant/" << "" << "空的层级";
    QTest::newRow("unreadable CA file") << "mqtts://broker" << "b" << "p" << "/nonexistent/ca.pem" << "无法读取";
}

void TestPublishing::badSettingsAreRefusedWhole()
{
    QFETCH(QString, broker);
    QFETCH(QString, station);
    QFETCH(QString, prefix);
    QFETCH(QString, caFile);
    QFETCH(QString, problem);

    PublishSettings settings = settingsFor(broker, station);
    settings.topicPrefix = prefix;
    settings.caFile = caFile;
    MainWindow window;
    const QString shown = publishFromDialog(window, settings);
    QVERIFY2(shown.contains(problem), qPrintable(shown));
    QVERIFY(!window.findChild<Publisher *>()->isPublishing());

    // The same object in a device-list file refuses the whole file, except
    // for a CA file that may exist only on another machine.
    QJsonObject file{{"format", "velmora-device-list"},
                     {"version", 2},
                     {"line", QJsonObject{{"port", "/dev/ttyUSB0"}, {"baudRate", "9600"}, {"parity", "N"},
                                          {"dataBits", "8"}, {"stopBits", "1"}}},
                     {"devices", QJsonArray{QJsonObject{{"address", 1}, {"unit", "KPa"}, {"decimals", 2},
                                                        {"recordPeriod", 1}}}},
                     {"publish", PublishObject::toJson(settings, true)}};
    OfferedValues offered;
    offered.baudRates = QStringList{"9600"};
    offered.parities = QStringList{"N"};
    offered.dataBits = QStringList{"8"};
    offered.stopBits = QStringList{"1"};
    offered.decimals = {0, 5};
    offered.recordPeriod = {1, 3600};
    const Result<DeviceList> parsed = DeviceListFile::parse(QJsonDocument(file).toJson(), offered);
    if (caFile.isEmpty()) {
        QVERIFY2(parsed.error().contains(problem), qPrintable(parsed.error()));
        QVERIFY(!parsed.ok());
    } else {
        QVERIFY2(parsed.ok(), qPrintable(parsed.error()));
        QCOMPARE(parsed.value().publish->caFile, caFile);
    }
}

void TestPublishing::listFileCarriesThePublishing()
{
    MosquittoBroker broker;
    QVERIFY(broker.start());
    MqttSubscriber subscriber(broker.port(), QStringLiteral("plant/#"));
    QVERIFY(subscriber.start(QStringLiteral("plant/ready")));
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("plain.json"));
    const QString withPassword = dir.filePath(QStringLiteral("bench.json"));
    auto readJson = [](const QString &path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
    };

    PublishSettings settings = settingsFor(QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port()),
                                           QStringLiteral("bench-11"));
    settings.username = QStringLiteral("operator");
    settings.password = QStringLiteral("s3cret");
    {
        MainWindow window;
        window.show();
        addDevice(window, 4);
        QVERIFY(runListAction(window, "saveDeviceListAction", plain));
        QCOMPARE(readJson(plain).value("version").toInt(), 1);
        QVERIFY(!readJson(plain).contains("publish"));

        QCOMPARE(publishFromDialog(window, settings, true), QString());
        QVERIFY(runListAction(window, "saveDeviceListAction", withPassword));
        const QJsonObject saved = readJson(withPassword);
        QCOMPARE(saved.value("version").toInt(), 2);
        QCOMPARE(saved.value("publish").toObject(), PublishObject::toJson(settings, true));
        const QFileDevice::Permissions mode = QFile::permissions(withPassword);
        QVERIFY(mode.testFlag(QFileDevice::ReadOwner) && mode.testFlag(QFileDevice::WriteOwner));
        QVERIFY(!(mode & (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther
                          | QFileDevice::WriteOther)));
    }
    // Closing the window said goodbye.
    QTRY_COMPARE(json(subscriber.payloads(QStringLiteral("plant/bench-11/status")).constLast()),
                 (QJsonObject{{"online", false}}));

    MainWindow window;
    window.show();
    QVERIFY(runListAction(window, "openDeviceListAction", withPassword));
    QCOMPARE(listedDevices(window), QStringList{"4 KPa 0 1"});
    QVERIFY(window.findChild<Publisher *>()->isPublishing());
    QCOMPARE(window.findChild<Publisher *>()->settings(), settings);
    QVERIFY2(noticeText(window).contains(QStringLiteral("已按设备列表里的设置开始发布")), qPrintable(noticeText(window)));
    QTRY_COMPARE(json(subscriber.payloads(QStringLiteral("plant/bench-11/status")).constLast()).value("online"),
                 QJsonValue(true));

    // While publishing, a file's settings are not taken.
    QFile edited(plain);
    QJsonObject other = readJson(withPassword);
    other.insert("publish", PublishObject::toJson(settingsFor(settings.broker, QStringLiteral("bench-12")), false));
    QVERIFY(edited.open(QIODevice::WriteOnly));
    edited.write(QJsonDocument(other).toJson());
    edited.close();
    const ModalAnswer<QMessageBox> skipped([](QMessageBox *box) { box->accept(); });
    QVERIFY(runListAction(window, "openDeviceListAction", plain));
    QVERIFY2(noticeText(window).contains(QStringLiteral("未采用")), qPrintable(noticeText(window)));
    QCOMPARE(window.findChild<Publisher *>()->settings().station, QStringLiteral("bench-11"));
}

void TestPublishing::brokerHoldsWhatIsTrue_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<bool>("outage");
    QTest::addColumn<bool>("removeDevice2");
    QTest::addColumn<QString>("renameTo");
    // Cleared while the test watches: the station's work is done then.
    QTest::addColumn<QStringList>("cleared");
    QTest::addColumn<bool>("subtreeUnknown");
    QTest::addColumn<QStringList>("retained");

    const QString config = QStringLiteral("{\"decimals\":0,\"map\":\"标准\",\"recordPeriod\":1,\"unit\":\"KPa\"}");
    const QString online = QStringLiteral("{\"online\":true,\"port\":null,\"version\":1}");
    const QString offline = QStringLiteral("{\"online\":false}");
    const QString planted9 = QStringLiteral("plant/%1/devices/9/config {\"decimals\":1,\"recordPeriod\":5,\"unit\":\"Pa\"}");
    const QString plantedAlarm9 = QStringLiteral("plant/%1/devices/9/alarm {\"active\":[\"pressureHigh\"],\"limit\":5,"
                                                 "\"time\":\"2026-12-01T08:00:00.000+08:00\",\"value\":6}");
    const QString b20 = QStringLiteral("bench-20");
    const QString b21 = QStringLiteral("bench-21");

    // Device 9 was left by an earlier run; this station no longer lists it.
    QTest::newRow("removed while not publishing")
        << "velmora" << false << true << QString()
        << QStringList{"plant/bench-20/devices/2/config", "plant/bench-20/devices/9/config",
                       "plant/bench-20/devices/9/alarm"}
        << false
        << QStringList{"plant/bench-20/devices/1/config " + config, "plant/bench-20/status " + online};
    QTest::newRow("renamed")
        << "velmora" << false << false << b21
        << QStringList{"plant/bench-20/devices/1/config", "plant/bench-20/devices/2/config",
                       "plant/bench-21/devices/9/config"}
        << false
        << QStringList{"plant/bench-20/status " + offline, "plant/bench-21/devices/1/config " + config,
                       "plant/bench-21/devices/2/config " + config, "plant/bench-21/status " + online};
    // The broker lets this account publish but not read back: what it owes
    // still goes out, nothing else is cleared.
    QTest::newRow("publish-only, removed during an outage, then 停止发布")
        << "publisher" << true << true << QString() << QStringList{"plant/bench-20/devices/2/config"} << true
        << QStringList{"plant/bench-20/devices/1/config " + config, plantedAlarm9.arg(b20), planted9.arg(b20),
                       "plant/bench-20/status " + online};
}

void TestPublishing::brokerHoldsWhatIsTrue()
{
    QFETCH(QString, account);
    QFETCH(bool, outage);
    QFETCH(bool, removeDevice2);
    QFETCH(QString, renameTo);
    QFETCH(QStringList, cleared);
    QFETCH(bool, subtreeUnknown);
    QFETCH(QStringList, retained);

    const QString dir = certificates.path() + QLatin1Char('/');
    const int authPort = MosquittoBroker::freePort();
    MosquittoBroker broker;
    QVERIFY(broker.start(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous false\npassword_file %2passwd\n"
                                        "acl_file %2acl\n")
                             .arg(authPort)
                             .arg(dir)));
    TcpRelay relay(authPort);
    QVERIFY(relay.listen());
    MqttSubscriber subscriber(broker.port(), QStringLiteral("plant/#"));
    QVERIFY(subscriber.start(QStringLiteral("plant/ready")));
    const QString finalStation = renameTo.isEmpty() ? QStringLiteral("bench-20") : renameTo;
    QVERIFY(publishRetained(broker.port(), QStringLiteral("plant/%1/devices/9/config").arg(finalStation),
                            QStringLiteral("{\"decimals\":1,\"recordPeriod\":5,\"unit\":\"Pa\"}")));
    QVERIFY(publishRetained(broker.port(), QStringLiteral("plant/%1/devices/9/alarm").arg(finalStation),
                            QStringLiteral("{\"active\":[\"pressureHigh\"],\"limit\":5,"
                                           "\"time\":\"2026-12-01T08:00:00.000+08:00\",\"value\":6}")));

    MainWindow window;
    window.show();
    addDevice(window, 1);
    addDevice(window, 2);
    PublishSettings settings =
        settingsFor(QStringLiteral("mqtt://127.0.0.1:%1").arg(relay.port()), QStringLiteral("bench-20"));
    settings.username = account;
    settings.password = QStringLiteral("secret");
    QCOMPARE(publishFromDialog(window, settings), QString());
    QTRY_VERIFY_WITH_TIMEOUT(!subscriber.payloads(QStringLiteral("plant/bench-20/devices/2/config")).isEmpty(),
                             10000);

    auto *dialog = window.findChild<PublishDialog *>();
    if (outage) {
        relay.cut();
        QTRY_VERIFY_WITH_TIMEOUT(noticeText(window).contains(QStringLiteral("无法连接")), 10000);
    } else {
        click(dialog, "stopPublishButton");
        QTRY_COMPARE(subscriber.payloads(QStringLiteral("plant/bench-20/status")).constLast(),
                     QStringLiteral("{\"online\":false}"));
    }
    if (removeDevice2) {
        listView(window)->selectionModel()->select(
            proxyModel(window)->mapFromSource(deviceModel(window)->index(1, 0)), QItemSelectionModel::ClearAndSelect);
        QTest::mouseClick(widget<QPushButton>(window, "btnDelreader"), Qt::LeftButton);
        QCOMPARE(deviceModel(window)->rowCount(), 1);
    }
    if (outage) {
        click(dialog, "stopPublishButton");
        QVERIFY(!window.findChild<Publisher *>()->isPublishing());
        QVERIFY(relay.restore());
    }

    if (!renameTo.isEmpty())
        settings.station = renameTo;
    QCOMPARE(publishFromDialog(window, settings), QString());
    for (const QString &topic : cleared)
        QTRY_VERIFY2_WITH_TIMEOUT(subscriber.payloads(topic).contains(QString()), qPrintable(topic), 10000);
    if (subtreeUnknown)
        QTRY_VERIFY_WITH_TIMEOUT(noticeText(window).contains(QStringLiteral("无法查明")), 10000);
    else
        QVERIFY2(!noticeText(window).contains(QStringLiteral("无法查明")), qPrintable(noticeText(window)));
    QTest::qWait(BrokerLink::SyncWaitMs / 2);
    QCOMPARE(retainedUnderPlant(broker.port()), retained);
}

void TestPublishing::listFilePublishObjects_data()
{
    QTest::addColumn<QString>("broker");
    QTest::addColumn<bool>("fifoCaFile");
    QTest::addColumn<QString>("notice");

    QTest::newRow("three keys") << "mqtt://127.0.0.1:{port}" << false << "已按设备列表里的设置开始发布";
    QTest::newRow("FIFO as CA file") << "mqtts://localhost:8883" << true << "无法读取";
}

void TestPublishing::listFilePublishObjects()
{
    QFETCH(QString, broker);
    QFETCH(bool, fifoCaFile);
    QFETCH(QString, notice);

    MosquittoBroker mosquitto;
    QVERIFY(mosquitto.start());
    MqttSubscriber subscriber(mosquitto.port(), QStringLiteral("plant/#"));
    QVERIFY(subscriber.start(QStringLiteral("plant/ready")));
    QTemporaryDir dir;
    QJsonObject publish{{"broker", broker.replace(QLatin1String("{port}"), QString::number(mosquitto.port()))},
                        {"station", "bench-22"},
                        {"topicPrefix", "plant"}};
    if (fifoCaFile) {
        // Opening a FIFO blocks until someone writes to it.
        const QString fifo = dir.filePath(QStringLiteral("ca.pem"));
        QVERIFY(run(QStringLiteral("mkfifo"), {fifo}));
        publish.insert("caFile", fifo);
    }
    const QJsonObject list{{"format", "velmora-device-list"},
                           {"version", 2},
                           {"line", QJsonObject{{"port", "/dev/ttyUSB0"}, {"baudRate", "9600"}, {"parity", "N"},
                                                {"dataBits", "8"}, {"stopBits", "1"}}},
                           {"devices", QJsonArray{QJsonObject{{"address", 3}, {"unit", "KPa"}, {"decimals", 0},
                                                              {"recordPeriod", 1}}}},
                           {"publish", publish}};
    const QString path = dir.filePath(QStringLiteral("bench.json"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QJsonDocument(list).toJson());
    file.close();

    MainWindow window;
    window.show();
    QVERIFY(runListAction(window, "openDeviceListAction", path));
    QCOMPARE(listedDevices(window), QStringList{"3 KPa 0 1"});
    QVERIFY2(noticeText(window).contains(notice), qPrintable(noticeText(window)));
    const Publisher *publisher = window.findChild<Publisher *>();
    QCOMPARE(publisher->settings().station, QStringLiteral("bench-22"));
    QCOMPARE(publisher->isPublishing(), !fifoCaFile);
    if (!fifoCaFile) {
        QTRY_COMPARE(json(subscriber.payloads(QStringLiteral("plant/bench-22/status")).value(0)).value("online"),
                     QJsonValue(true));
        QCOMPARE(publisher->settings().username, QString());
        QCOMPARE(publisher->settings().caFile, QString());
    }
    // A saved list holds all six keys, an empty password among them.
    const QString saved = dir.filePath(QStringLiteral("saved.json"));
    QVERIFY(runListAction(window, "saveDeviceListAction", saved));
    QFile savedFile(saved);
    QVERIFY(savedFile.open(QIODevice::ReadOnly));
    QCOMPARE(QJsonDocument::fromJson(savedFile.readAll()).object().value("publish").toObject().keys(),
             (QStringList{"broker", "caFile", "password", "station", "topicPrefix", "username"}));
}

QTEST_MAIN(TestPublishing)
#include "tst_publishing.moc"
