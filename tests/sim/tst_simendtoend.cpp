#include "simulatorprocess.h"

#include <QElapsedTimer>
#include <QtTest>

#include <modbus.h>

#include <cerrno>
#include <csignal>
#include <memory>
#include <poll.h>
#include <unistd.h>

namespace {

struct ModbusCloser {
    void operator()(modbus_t *context) const
    {
        modbus_close(context);
        modbus_free(context);
    }
};
using ModbusContext = std::unique_ptr<modbus_t, ModbusCloser>;

// A libmodbus master on the simulator's line, 9600 8N1 like the application.
ModbusContext connectMaster(const QString &path, int responseTimeoutMs)
{
    ModbusContext context(modbus_new_rtu(path.toLocal8Bit().constData(), 9600, 'N', 8, 1));
    if (!context || modbus_connect(context.get()) != 0)
        return nullptr;
    modbus_set_response_timeout(context.get(), 0, static_cast<uint32_t>(responseTimeoutMs) * 1000);
    return context;
}

// A libmodbus master on the simulator's TCP port on the IPv4 loopback.
ModbusContext connectTcpMaster(const QString &port, int responseTimeoutMs)
{
    ModbusContext context(modbus_new_tcp_pi("127.0.0.1", port.toLatin1().constData()));
    if (!context)
        return nullptr;
    modbus_set_response_timeout(context.get(), static_cast<uint32_t>(responseTimeoutMs / 1000),
                                static_cast<uint32_t>(responseTimeoutMs % 1000) * 1000);
    if (modbus_connect(context.get()) != 0)
        return nullptr;
    return context;
}

struct ReadResult {
    int count = -1;
    int error = 0;
    QVector<quint16> registers;
};

ReadResult readInputs(modbus_t *context, int slave, int start = 0, int quantity = 7)
{
    ReadResult result;
    result.registers.resize(qMax(quantity, 1));
    modbus_set_slave(context, slave);
    result.count = modbus_read_input_registers(context, start, quantity, result.registers.data());
    result.error = result.count < 0 ? errno : 0;
    return result;
}

// Bytes waiting on the master's own descriptor, until it has been quiet for `quietMs`.
QByteArray readUntilQuiet(int fd, int quietMs)
{
    QByteArray received;
    pollfd pfd{fd, POLLIN, 0};
    while (::poll(&pfd, 1, quietMs) > 0) {
        char buffer[64];
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count <= 0)
            break;
        received.append(buffer, int(count));
    }
    return received;
}

int statValue(const QJsonObject &stats, int address, const char *key)
{
    return SimulatorProcess::slaveStats(stats, address).value(QLatin1String(key)).toInt(-1);
}

int faultCount(const QJsonObject &stats, int address, const QString &kind)
{
    return SimulatorProcess::slaveStats(stats, address).value("faults").toObject().value(kind).toInt(-1);
}

} // namespace

class TestSimEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void readsServedSlavesAndSurvivesReopen()
    {
        SimulatorProcess simulator({"--slave", "1,pressure=101325,temp=-1.0", "--slave", "2,pressure=100,temp=23.5"});
        QVERIFY(simulator.start());
        const QVector<quint16> first{0xE680, 0x47C5, 0, 0, 0, 0, 0xFFF6};
        const QVector<quint16> second{0x0000, 0x42C8, 0, 0, 0, 0, 235};

        {
            const ModbusContext master = connectMaster(simulator.devicePath(), 300);
            QVERIFY(master);
            QCOMPARE(readInputs(master.get(), 1).registers, first);
            QCOMPARE(readInputs(master.get(), 2).registers, second);
            const ReadResult unserved = readInputs(master.get(), 3);
            QCOMPARE(unserved.count, -1);
            QCOMPARE(unserved.error, ETIMEDOUT);
        }
        // The master closed the port; a new one, a moment later, must find the
        // line working.
        QThread::msleep(200);
        const ModbusContext master = connectMaster(simulator.devicePath(), 300);
        QVERIFY(master);
        const ReadResult again = readInputs(master.get(), 2);
        QCOMPARE(again.count, 7);
        QCOMPARE(again.registers, second);

        const QJsonObject stats = simulator.stop();
        QCOMPARE(statValue(stats, 1, "requests"), 1);
        QCOMPARE(statValue(stats, 1, "answers"), 1);
        QCOMPARE(statValue(stats, 2, "requests"), 2);
        QCOMPARE(statValue(stats, 2, "answers"), 2);
        QVERIFY(SimulatorProcess::slaveStats(stats, 3).isEmpty());
        QCOMPARE(stats.value("ignored_frames").toInt(), 1);
        QCOMPARE(stats.value("bad_crc_frames").toInt(), 0);
    }

    void injectedFaults_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("expectedErrno");
        QTest::newRow("silent") << "silent" << ETIMEDOUT;
        QTest::newRow("crc") << "crc" << int(EMBBADCRC);
        QTest::newRow("exception") << "exception" << int(EMBXSFAIL);
        QTest::newRow("foreign") << "foreign" << int(EMBBADSLAVE);
        QTest::newRow("truncated") << "truncated" << ETIMEDOUT; // after the 500 ms byte time-out
    }
    void injectedFaults()
    {
        QFETCH(QString, kind);
        QFETCH(int, expectedErrno);
        SimulatorProcess simulator({"--slave", "17,every=" + kind + ":2"});
        QVERIFY(simulator.start());
        const ModbusContext master = connectMaster(simulator.devicePath(), 300);
        QVERIFY(master);

        QCOMPARE(readInputs(master.get(), 17).count, 7);
        const ReadResult faulty = readInputs(master.get(), 17);
        QCOMPARE(faulty.count, -1);
        QCOMPARE(faulty.error, expectedErrno);
        QCOMPARE(readInputs(master.get(), 17).count, 7);

        const QJsonObject stats = simulator.stop();
        QCOMPARE(statValue(stats, 17, "requests"), 3);
        QCOMPARE(statValue(stats, 17, "answers"), 2);
        QCOMPARE(faultCount(stats, 17, kind), 1);
    }

    void exceptionReplies_data()
    {
        QTest::addColumn<int>("function");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("quantity");
        QTest::addColumn<int>("expectedErrno");
        QTest::newRow("holding registers") << 3 << 0 << 7 << int(EMBXILFUN);
        QTest::newRow("start 5 quantity 7") << 4 << 5 << 7 << int(EMBXILADD);
        QTest::newRow("start 7") << 4 << 7 << 1 << int(EMBXILADD);
    }
    void exceptionReplies()
    {
        QFETCH(int, function);
        QFETCH(int, start);
        QFETCH(int, quantity);
        QFETCH(int, expectedErrno);
        SimulatorProcess simulator({"--slave", "5"});
        QVERIFY(simulator.start());
        const ModbusContext master = connectMaster(simulator.devicePath(), 300);
        QVERIFY(master);
        modbus_set_slave(master.get(), 5);
        uint16_t registers[MODBUS_MAX_READ_REGISTERS] = {};
        const int count = function == 3 ? modbus_read_registers(master.get(), start, quantity, registers)
                                         : modbus_read_input_registers(master.get(), start, quantity, registers);
        const int error = errno;
        QCOMPARE(count, -1);
        QCOMPARE(error, expectedErrno);

        const QJsonObject stats = simulator.stop();
        QCOMPARE(statValue(stats, 5, "requests"), 1);
        QCOMPARE(statValue(stats, 5, "answers"), 0);
    }

    // Random faults: whatever the seed picks, the statistics must agree with
    // what the master went through.
    void statisticsMatchTheMaster()
    {
        SimulatorProcess simulator(
            {"--seed", "5", "--slave", "1,fault=crc:0.2,fault=exception:0.2", "--slave", "2,fault=silent:0.2"});
        QVERIFY(simulator.start());
        const ModbusContext master = connectMaster(simulator.devicePath(), 150);
        QVERIFY(master);
        int failed[3] = {};
        for (int i = 0; i < 20; ++i) {
            for (const int slave : {1, 2}) {
                if (readInputs(master.get(), slave).count != 7)
                    ++failed[slave];
            }
        }
        const QJsonObject stats = simulator.stop();
        for (const int slave : {1, 2}) {
            QCOMPARE(statValue(stats, slave, "requests"), 20);
            QCOMPARE(statValue(stats, slave, "answers"), 20 - failed[slave]);
        }
        QCOMPARE(faultCount(stats, 1, "crc") + faultCount(stats, 1, "exception"), failed[1]);
        QCOMPARE(faultCount(stats, 2, "silent"), failed[2]);
        QVERIFY(failed[1] > 0 && failed[1] < 20);
        QVERIFY(failed[2] > 0 && failed[2] < 20);
    }

    void replyTiming_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("minimumMs");
        QTest::addColumn<int>("maximumMs");
        QTest::newRow("at once") << QStringList{"--slave", "1"} << 0 << 200;
        // (8 + 19 + 3.5) characters of 10 bits at 1200 baud: 254 ms
        QTest::newRow("1200 baud") << QStringList{"--baud", "1200", "--slave", "1"} << 250 << 600;
        QTest::newRow("extra delay") << QStringList{"--slave", "1,delay=300"} << 300 << 650;
    }
    void replyTiming()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, minimumMs);
        QFETCH(int, maximumMs);
        SimulatorProcess simulator(arguments);
        QVERIFY(simulator.start());
        const ModbusContext master = connectMaster(simulator.devicePath(), 900);
        QVERIFY(master);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(readInputs(master.get(), 1).count, 7);
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= minimumMs && elapsed <= maximumMs, qPrintable(QString::number(elapsed)));
    }

    // The head of a split reply leaves the master waiting past its byte
    // time-out; the tail turns up later, and after it the line works again.
    void splitReplyOutlastsTheByteTimeout()
    {
        SimulatorProcess simulator({"--slave", "17,every=split:2"});
        QVERIFY(simulator.start());
        const ModbusContext master = connectMaster(simulator.devicePath(), 1000);
        QVERIFY(master);
        // Well inside the 600 ms gap, so a busy machine cannot make the parts meet.
        modbus_set_byte_timeout(master.get(), 0, 300 * 1000);

        QCOMPARE(readInputs(master.get(), 17).count, 7);
        const ReadResult head = readInputs(master.get(), 17);
        QCOMPARE(head.count, -1);
        QCOMPARE(head.error, ETIMEDOUT);
        const QByteArray tail = readUntilQuiet(modbus_get_socket(master.get()), 1200);
        QVERIFY(!tail.isEmpty());
        QVERIFY(tail.size() < 19);
        QCOMPARE(readInputs(master.get(), 17).count, 7);

        const QJsonObject stats = simulator.stop();
        QCOMPARE(statValue(stats, 17, "requests"), 3);
        QCOMPARE(statValue(stats, 17, "answers"), 2);
        QCOMPARE(faultCount(stats, 17, "split"), 1);
    }

    // Over TCP as behind a gateway: replies carry the request's transaction,
    // and what gets no good reply on the serial side gets nothing or 0x0B.
    void tcpReplies_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("slave");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("minimumMs");
        QTest::addColumn<int>("maximumMs");

        const QStringList served{"--slave", "3,pressure=100,temp=23.5"};
        QTest::newRow("data reply") << served << 3 << 0 << 0 << 500;
        QTest::newRow("slave exception passed on")
            << QStringList{"--slave", "3,fault=exception:1"} << 3 << int(EMBXSFAIL) << 0 << 500;
        QTest::newRow("silent slave, no gateway")
            << QStringList{"--slave", "3,fault=silent:1"} << 3 << ETIMEDOUT << 900 << 1500;
        QTest::newRow("silent slave, gateway within the time-out")
            << QStringList{"--gateway", "300", "--slave", "3,fault=silent:1"} << 3 << int(EMBXGTAR) << 250 << 900;
        QTest::newRow("silent slave, gateway past the time-out")
            << QStringList{"--gateway", "1500", "--slave", "3,fault=silent:1"} << 3 << ETIMEDOUT << 900 << 1400;
        QTest::newRow("absent slave behind a gateway") << QStringList{"--gateway", "0"} + served << 9
                                                       << int(EMBXGTAR) << 0 << 500;
        QTest::newRow("bad CRC behind a gateway")
            << QStringList{"--gateway", "0", "--slave", "3,fault=crc:1"} << 3 << int(EMBXGTAR) << 0 << 500;
    }

    void tcpReplies()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, slave);
        QFETCH(int, error);
        QFETCH(int, minimumMs);
        QFETCH(int, maximumMs);

        SimulatorProcess simulator(QStringList{"--tcp", "127.0.0.1:0"} + arguments);
        QVERIFY(simulator.start());
        const ModbusContext master = connectTcpMaster(simulator.devicePath(), 1000);
        QVERIFY(master);
        QElapsedTimer clock;
        clock.start();
        const ReadResult result = readInputs(master.get(), slave);
        const qint64 elapsed = clock.elapsed();
        QCOMPARE(result.error, error);
        if (error == 0)
            QCOMPARE(result.registers, (QVector<quint16>{0x0000, 0x42C8, 0, 0, 0, 0, 235}));
        QVERIFY2(elapsed >= minimumMs && elapsed <= maximumMs, qPrintable(QString::number(elapsed)));
        const QJsonObject stats = simulator.stop();
        QCOMPARE(statValue(stats, 3, "answers"), error == 0 ? 1 : 0);
    }

    // One client at a time; a pull drops the connection and the port comes
    // back as it was.
    void tcpSecondClientAndReplug()
    {
        SimulatorProcess simulator({"--tcp", "127.0.0.1:0", "--replug-after", "300", "--slave", "3"});
        QVERIFY(simulator.start());
        const ModbusContext first = connectTcpMaster(simulator.devicePath(), 1000);
        QVERIFY(first);
        QCOMPARE(readInputs(first.get(), 3).count, 7);
        const ModbusContext second = connectTcpMaster(simulator.devicePath(), 1000);
        QVERIFY(second);
        QCOMPARE(readInputs(second.get(), 3).error, ECONNRESET);
        QCOMPARE(readInputs(first.get(), 3).count, 7);

        QVERIFY(::kill(pid_t(simulator.processId()), SIGUSR1) == 0);
        QThread::msleep(100);
        const ReadResult pulled = readInputs(first.get(), 3);
        QVERIFY2(pulled.error == ECONNRESET || pulled.error == EPIPE, qPrintable(QString::number(pulled.error)));
        QVERIFY(!connectTcpMaster(simulator.devicePath(), 1000));
        QThread::msleep(500);
        const ModbusContext back = connectTcpMaster(simulator.devicePath(), 1000);
        QVERIFY(back);
        QCOMPARE(readInputs(back.get(), 3).count, 7);
        const QJsonObject stats = simulator.stop();
        QCOMPARE(statValue(stats, 3, "answers"), 3);
    }

    void hostileLineNeverAnswersCorrectly()
    {
        SimulatorProcess simulator({"--hostile", "--seed", "3", "--slave", "8"});
        QVERIFY(simulator.start());
        const ModbusContext master = connectMaster(simulator.devicePath(), 1000);
        QVERIFY(master);
        constexpr int Requests = 12;
        for (int i = 0; i < Requests; ++i) {
            // Each request is judged by its own reply. Left in place, the rest
            // of a long noise burst would fail the next request at once, before
            // the simulator has even read it.
            modbus_flush(master.get());
            QCOMPARE(readInputs(master.get(), 8).count, -1);
        }
        const QJsonObject stats = simulator.stop();
        QCOMPARE(statValue(stats, 8, "requests"), Requests);
        QCOMPARE(statValue(stats, 8, "answers"), 0);
        QCOMPARE(faultCount(stats, 8, "hostile"), Requests);
    }
};

QTEST_GUILESS_MAIN(TestSimEndToEnd)
#include "tst_simendtoend.moc"
