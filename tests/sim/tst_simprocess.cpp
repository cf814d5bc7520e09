#include "simulatorprocess.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Our own raw, non-blocking handle on a terminal device.
class RawPort {
public:
    explicit RawPort(int fd) : m_fd(fd)
    {
        termios settings{};
        if (m_fd >= 0 && tcgetattr(m_fd, &settings) == 0) {
            cfmakeraw(&settings);
            tcsetattr(m_fd, TCSANOW, &settings);
        }
    }
    explicit RawPort(const QString &path)
        : RawPort(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {
    }
    RawPort(const RawPort &) = delete;
    RawPort &operator=(const RawPort &) = delete;
    ~RawPort()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    int fd() const { return m_fd; }

    bool write(const QByteArray &bytes) const
    {
        return ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }

    // Everything that arrives until the line has been quiet for `quietMs`.
    QByteArray readUntilQuiet(int quietMs) const
    {
        QByteArray received;
        pollfd pfd{m_fd, POLLIN, 0};
        while (::poll(&pfd, 1, quietMs) > 0) {
            char buffer[256];
            const ssize_t count = ::read(m_fd, buffer, sizeof buffer);
            if (count <= 0)
                break;
            received.append(buffer, int(count));
        }
        return received;
    }

private:
    int m_fd = -1;
};

QByteArray frame(const char *hex)
{
    return QByteArray::fromHex(hex);
}

bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QThread::msleep(20);
    }
    return true;
}

// The state letter of /proc/<pid>/stat: 'S' sleeping, 'T' stopped, ...
char processState(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return '?';
    const QByteArray line = stat.readAll();
    // The command name in parentheses may hold spaces; the state follows it.
    const int close = line.lastIndexOf(')');
    return close >= 0 && close + 2 < line.size() ? line.at(close + 2) : '?';
}

} // namespace

class TestSimProcess : public QObject {
    Q_OBJECT

private slots:
    void commandLineExitCodes_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("stdoutContains");
        QTest::addColumn<QString>("stderrContains");
        QTest::newRow("help") << QStringList{"--help"} << 0 << "--slave" << "";
        QTest::newRow("unknown option") << QStringList{"--bogus"} << 2 << "" << "bogus";
        QTest::newRow("bad slave spec") << QStringList{"--slave", "1,fault=crc:2"} << 2 << "" << "fault=crc:2";
        QTest::newRow("missing device") << QStringList{"--device", "/nonexistent/tty"} << 1 << ""
                                        << "/nonexistent/tty";
    }
    void commandLineExitCodes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, stdoutContains);
        QFETCH(QString, stderrContains);
        QProcess process;
        process.start(VELMORA_SIM_PATH, arguments);
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), exitCode);
        QVERIFY(QString::fromLocal8Bit(process.readAllStandardOutput()).contains(stdoutContains));
        QVERIFY(QString::fromLocal8Bit(process.readAllStandardError()).contains(stderrContains));
    }

    void exitsCleanlyOnSignal_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
    }
    void exitsCleanlyOnSignal()
    {
        QFETCH(int, signalNumber);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString statsPath = dir.filePath("stats.json");
        QProcess process;
        process.start(VELMORA_SIM_PATH, {"--slave", "4", "--slave", "2", "--stats-file", statsPath});
        QVERIFY(process.waitForReadyRead(5000));
        const QString path = QString::fromLocal8Bit(process.readLine()).trimmed();
        QVERIFY(path.startsWith("/dev/pts/"));

        ::kill(pid_t(process.processId()), signalNumber);
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        const QByteArray printed = process.readAllStandardOutput().trimmed();
        QVERIFY(!printed.contains('\n'));
        const QJsonObject stats = QJsonDocument::fromJson(printed).object();
        QCOMPARE(SimulatorProcess::slaveStats(stats, 2).value("requests").toInt(-1), 0);
        QCOMPARE(SimulatorProcess::slaveStats(stats, 4).value("answers").toInt(-1), 0);

        QFile saved(statsPath);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll().trimmed(), printed);
    }

    void rawExchanges_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("expectedReply");
        QTest::addColumn<int>("requests");
        QTest::addColumn<int>("ignoredFrames");
        QTest::addColumn<int>("badCrcFrames");
        const QByteArray request = frame("010400000007b1c8");
        const QByteArray reply = frame("01040ee68047c50000000000000000fff66d4d");
        QTest::newRow("request") << request << reply << 1 << 0 << 0;
        QTest::newRow("garbage before the request") << frame("ff1300") + request << reply << 1 << 0 << 1;
        QTest::newRow("bad crc") << frame("010400000007b1c9") << QByteArray() << 0 << 0 << 1;
        QTest::newRow("other address") << frame("0204000000 07b1fb") << QByteArray() << 0 << 1 << 0;
        QTest::newRow("broadcast") << frame("000400000007b019") << QByteArray() << 0 << 1 << 0;
        QTest::newRow("unsupported function") << frame("0141001050") << frame("01c101b050") << 1 << 0 << 0;
    }
    void rawExchanges()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, expectedReply);
        QFETCH(int, requests);
        QFETCH(int, ignoredFrames);
        QFETCH(int, badCrcFrames);
        SimulatorProcess simulator({"--slave", "1,temp=-1"});
        QVERIFY(simulator.start());
        {
            const RawPort port(simulator.devicePath());
            QVERIFY(port.fd() >= 0);
            QVERIFY(port.write(sent));
            QCOMPARE(port.readUntilQuiet(150).toHex(), expectedReply.toHex());
        }
        const QJsonObject stats = simulator.stop();
        QCOMPARE(SimulatorProcess::slaveStats(stats, 1).value("requests").toInt(-1), requests);
        QCOMPARE(stats.value("ignored_frames").toInt(-1), ignoredFrames);
        QCOMPARE(stats.value("bad_crc_frames").toInt(-1), badCrcFrames);
    }

    // Requests written before the stop are counted even when the simulator
    // had no time to read them: here it is held still until the stop is due.
    void countsRequestsWrittenJustBeforeStop()
    {
        SimulatorProcess simulator({"--slave", "1"});
        QVERIFY(simulator.start());
        const pid_t pid = pid_t(simulator.processId());
        const RawPort port(simulator.devicePath());
        QVERIFY(port.fd() >= 0);
        QCOMPARE(::kill(pid, SIGSTOP), 0);
        QVERIFY(waitFor([pid] { return processState(pid) == 'T'; }, 5000));
        constexpr int Requests = 20;
        const bool written = port.write(frame("010400000007b1c8").repeated(Requests));
        ::kill(pid, SIGTERM);
        ::kill(pid, SIGCONT);
        QVERIFY(written);
        const QJsonObject stats = simulator.stop();
        QCOMPARE(SimulatorProcess::slaveStats(stats, 1).value("requests").toInt(-1), Requests);
        QCOMPARE(stats.value("bad_crc_frames").toInt(-1), 0);
    }

    void linkFollowsTheLine()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString link = dir.filePath("bus");
        {
            QFile stale(link);
            QVERIFY(stale.open(QIODevice::WriteOnly));
        }
        SimulatorProcess simulator({"--link", link});
        QVERIFY(simulator.start());
        QCOMPARE(QFileInfo(link).symLinkTarget(), simulator.devicePath());
        {
            const RawPort port(link);
            QVERIFY(port.write(frame("010400000007b1c8")));
            QCOMPARE(port.readUntilQuiet(150).size(), 19);
        }
        QVERIFY(!simulator.stop().isEmpty());
        QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
    }

    // --device serves a terminal somebody else created: here a pty of the test's own.
    void servesAnExistingDevice()
    {
        const RawPort line(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        QVERIFY(line.fd() >= 0);
        QVERIFY(grantpt(line.fd()) == 0 && unlockpt(line.fd()) == 0);
        const QString device = QString::fromLocal8Bit(ptsname(line.fd()));

        SimulatorProcess simulator({"--device", device, "--baud", "19200", "--slave", "3,regs=1:2:3:4:5:6:7"});
        QVERIFY(simulator.start());
        QCOMPARE(simulator.devicePath(), device);
        QVERIFY(line.write(frame("030400000007b02a")));
        QCOMPARE(line.readUntilQuiet(200).toHex(), frame("03040e0001000200030004000500060007398d").toHex());
        QCOMPARE(SimulatorProcess::slaveStats(simulator.stop(), 3).value("answers").toInt(-1), 1);
    }

    void diesWithItsParent()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString link = dir.filePath("bus");
        const QString statsPath = dir.filePath("stats.json");
        const QString script = QStringLiteral("\"$0\" --die-with-parent --link \"$1\" --stats-file \"$2\" "
                                              ">/dev/null & echo $!; wait");
        QProcess parent;
        parent.start("/bin/sh", {"-c", script, VELMORA_SIM_PATH, link, statsPath});
        QVERIFY(parent.waitForReadyRead(5000));
        const pid_t simulatorPid = pid_t(parent.readLine().trimmed().toInt());
        QVERIFY(simulatorPid > 0);
        QVERIFY(waitFor([&] { return QFileInfo(link).isSymLink(); }, 5000));

        parent.kill();
        QVERIFY(parent.waitForFinished(5000));
        const bool exited = waitFor([&] { return QFileInfo::exists(statsPath) && !QFileInfo(link).isSymLink(); },
                                    5000);
        if (!exited)
            ::kill(simulatorPid, SIGKILL);
        QVERIFY(exited);
    }
};

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_simprocess.moc"
