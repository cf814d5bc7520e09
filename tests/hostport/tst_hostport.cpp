#include "lineaddress.h"
#include "publishsettings.h"
#include "simoptions.h"

#include <QtTest>

// The three readers of host:port texts share one parser: each form is read
// alike by all three, apart from what each does with a missing or zero port.
class TestHostPort : public QObject
{
    Q_OBJECT

private slots:
    void readersAgree_data();
    void readersAgree();
};

namespace {

const QString Refused = QStringLiteral("refused");

QString shown(const QString &host, int port)
{
    return QStringLiteral("%1 %2").arg(host).arg(port);
}

QString asLine(const QString &form)
{
    const LineAddress address = parseLineAddress(QStringLiteral("tcp://") + form);
    return address.kind == LineAddress::Kind::Tcp ? shown(address.host, address.port) : Refused;
}

QString asBroker(const QString &form)
{
    const Result<BrokerAddress> address = parseBrokerUrl(QStringLiteral("mqtt://") + form);
    return address.ok() ? shown(address.value().host, address.value().port) : Refused;
}

QString asSimulator(const QString &form)
{
    QString host;
    int port = -1;
    QString error;
    return sim::parseListenAddress(form, &host, &port, &error) ? shown(host, port) : Refused;
}

} // namespace

void TestHostPort::readersAgree_data()
{
    // Each reader's answer: "host port" as it takes the form, or refused. The
    // line's port defaults to 502, the broker's to 1883; the simulator needs
    // a port and takes 0, which the others refuse.
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("broker");
    QTest::addColumn<QString>("simulator");

    QTest::newRow("IPv4 and port") << "192.168.1.20:1502" << "192.168.1.20 1502" << "192.168.1.20 1502"
                                   << "192.168.1.20 1502";
    QTest::newRow("name and port") << "gateway-2.plant_a:65535" << "gateway-2.plant_a 65535"
                                   << "gateway-2.plant_a 65535" << "gateway-2.plant_a 65535";
    QTest::newRow("IPv6 and port") << "[::1]:1" << "::1 1" << "::1 1" << "::1 1";
    QTest::newRow("IPv4 in IPv6") << "[::ffff:10.0.0.7]:502" << "::ffff:10.0.0.7 502" << "::ffff:10.0.0.7 502"
                                  << "::ffff:10.0.0.7 502";
    QTest::newRow("leading zeros") << "host:00502" << "host 502" << "host 502" << "host 502";
    QTest::newRow("name alone") << "localhost" << "localhost 502" << "localhost 1883" << Refused;
    QTest::newRow("IPv6 alone") << "[fe80::1]" << "fe80::1 502" << "fe80::1 1883" << Refused;
    QTest::newRow("port alone") << "1502" << "1502 502" << "1502 1883" << " 1502";
    QTest::newRow("port 0") << "host:0" << Refused << Refused << "host 0";
    QTest::newRow("port 65536") << "host:65536" << Refused << Refused << Refused;
    QTest::newRow("six digits") << "host:000502" << Refused << Refused << Refused;
    QTest::newRow("colon, no port") << "host:" << Refused << Refused << Refused;
    QTest::newRow("port, no host") << ":502" << Refused << Refused << Refused;
    QTest::newRow("signed port") << "host:+502" << Refused << Refused << Refused;
    QTest::newRow("two ports") << "host:502:503" << Refused << Refused << Refused;
    QTest::newRow("IPv6 without brackets") << "::1:502" << Refused << Refused << Refused;
    QTest::newRow("name in brackets") << "[host]:502" << Refused << Refused << Refused;
    QTest::newRow("text after the bracket") << "[::1]502" << Refused << Refused << Refused;
    QTest::newRow("space in the name") << "my host:502" << Refused << Refused << Refused;
    QTest::newRow("user in front") << "me@host:502" << Refused << Refused << Refused;
    QTest::newRow("letters beyond ASCII") << "bröker:502" << Refused << Refused << Refused;
}

void TestHostPort::readersAgree()
{
    QFETCH(QString, form);
    QFETCH(QString, line);
    QFETCH(QString, broker);
    QFETCH(QString, simulator);

    QCOMPARE(asLine(form), line);
    QCOMPARE(asBroker(form), broker);
    QCOMPARE(asSimulator(form), simulator);
}

QTEST_GUILESS_MAIN(TestHostPort)
#include "tst_hostport.moc"
