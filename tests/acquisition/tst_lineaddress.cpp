#include "lineaddress.h"

#include <QtTest>

Q_DECLARE_METATYPE(LineAddress::Kind)

class TestLineAddress : public QObject
{
    Q_OBJECT

private slots:
    void kinds_data();
    void kinds();
};

void TestLineAddress::kinds_data()
{
    using Kind = LineAddress::Kind;
    QTest::addColumn<QString>("text");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");

    QTest::newRow("port name") << "ttyUSB0" << Kind::Serial << "" << 0;
    QTest::newRow("device path") << "/dev/ttyUSB0" << Kind::Serial << "" << 0;
    QTest::newRow("path with a colon") << "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0"
                                       << Kind::Serial << "" << 0;
    QTest::newRow("windows port name") << "COM3" << Kind::Serial << "" << 0;
    QTest::newRow("IPv4 and port") << "192.168.1.20:502" << Kind::Tcp << "192.168.1.20" << 502;
    QTest::newRow("name and port") << "gateway-2.plant:1502" << Kind::Tcp << "gateway-2.plant" << 1502;
    QTest::newRow("scheme, default port") << "tcp://10.0.0.7" << Kind::Tcp << "10.0.0.7" << 502;
    QTest::newRow("scheme and port") << "tcp://localhost:65535" << Kind::Tcp << "localhost" << 65535;
    QTest::newRow("IPv6 and port") << "[::1]:1502" << Kind::Tcp << "::1" << 1502;
    QTest::newRow("scheme, IPv6, default port") << "tcp://[fe80::1]" << Kind::Tcp << "fe80::1" << 502;
    QTest::newRow("port 1") << "host:1" << Kind::Tcp << "host" << 1;
    QTest::newRow("converter, IPv4") << "rtu+tcp://192.168.1.30:4001" << Kind::RtuOverTcp << "192.168.1.30" << 4001;
    QTest::newRow("converter, name") << "rtu+tcp://bench-3.plant:502" << Kind::RtuOverTcp << "bench-3.plant" << 502;
    QTest::newRow("converter, IPv6") << "rtu+tcp://[fe80::7]:8899" << Kind::RtuOverTcp << "fe80::7" << 8899;

    QTest::newRow("host and colon") << "host:" << Kind::Malformed << "" << 0;
    QTest::newRow("colon and port") << ":502" << Kind::Malformed << "" << 0;
    QTest::newRow("port 0") << "host:0" << Kind::Malformed << "" << 0;
    QTest::newRow("port 65536") << "host:65536" << Kind::Malformed << "" << 0;
    QTest::newRow("scheme alone") << "tcp://" << Kind::Malformed << "" << 0;
    QTest::newRow("space before the port") << "192.168.1.20 :502" << Kind::Malformed << "" << 0;
    QTest::newRow("leading space") << " host:502" << Kind::Malformed << "" << 0;
    QTest::newRow("space after the scheme") << "tcp:// host" << Kind::Malformed << "" << 0;
    QTest::newRow("IPv6 without brackets") << "::1:502" << Kind::Malformed << "" << 0;
    QTest::newRow("IPv6 without port") << "[::1]" << Kind::Malformed << "" << 0;
    QTest::newRow("not IPv6 in brackets") << "[host]:502" << Kind::Malformed << "" << 0;
    QTest::newRow("unclosed bracket") << "[::1:502" << Kind::Malformed << "" << 0;
    QTest::newRow("port in hex") << "host:0x1f6" << Kind::Malformed << "" << 0;
    QTest::newRow("signed port") << "host:+502" << Kind::Malformed << "" << 0;
    QTest::newRow("two ports") << "host:502:503" << Kind::Malformed << "" << 0;
    QTest::newRow("path after the port") << "tcp://host:502/" << Kind::Malformed << "" << 0;
    QTest::newRow("converter without port") << "rtu+tcp://192.168.1.30" << Kind::Malformed << "" << 0;
    QTest::newRow("converter, IPv6 without port") << "rtu+tcp://[::1]" << Kind::Malformed << "" << 0;
    QTest::newRow("converter, port 0") << "rtu+tcp://host:0" << Kind::Malformed << "" << 0;
    QTest::newRow("converter, scheme alone") << "rtu+tcp://" << Kind::Malformed << "" << 0;
    QTest::newRow("converter, scheme in capitals") << "RTU+TCP://host:4001" << Kind::Malformed << "" << 0;
}

void TestLineAddress::kinds()
{
    QFETCH(QString, text);
    QFETCH(LineAddress::Kind, kind);
    QFETCH(QString, host);
    QFETCH(int, port);

    const LineAddress address = parseLineAddress(text);
    QCOMPARE(address.kind, kind);
    if (kind == LineAddress::Kind::Tcp || kind == LineAddress::Kind::RtuOverTcp) {
        QCOMPARE(address.host, host);
        QCOMPARE(address.port, port);
    }
}

QTEST_GUILESS_MAIN(TestLineAddress)
#include "tst_lineaddress.moc"
