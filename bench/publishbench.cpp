// Measures MQTT publishing through the real window against a local mosquitto:
// 8 simulated devices at 115200 baud polled first without and then with
// publishing, for the processor time publishing adds, the longest hold of the
// window's event loop, and the latency from a stored poll to a subscriber's
// receipt; then a broker outage (cut by a relay, the broker itself stays up)
// for the time from the reconnect until every queued reading has arrived,
// and the count delivered against the count polled.
//
//   velmora-publishbench [seconds per run, default 60] [outage seconds, default 60]
#include "mainwindow.h"
#include "mosquittobroker.h"
#include "brokerlink.h"
#include "publishdialog.h"
#include "publisher.h"
#include "simulatorprocess.h"
#include "common/windowaccess.h"
#include "publishing/tcprelay.h"
#include "reliability/eventloopwatch.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <vector>

namespace {

constexpr int DeviceCount = 8;
constexpr int Baud = 115200;

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &time) { return double(time.tv_sec) + double(time.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

qint64 realtimeNs()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

double percentile(std::vector<double> values, double share)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(share * double(values.size())))];
}

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        wait(5);
    }
    return true;
}

// Resident memory from /proc, in bytes.
qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return statm.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

// What a full queue costs: the bound's worth of readings taken while the
// broker is out of reach.
double fullQueueMiB()
{
    PublishSettings settings;
    settings.broker = QStringLiteral("mqtt://127.0.0.1:%1").arg(MosquittoBroker::freePort());
    settings.station = QStringLiteral("memory");
    settings.topicPrefix = QStringLiteral("bench");
    const qint64 before = residentBytes();
    {
        BrokerLink link(settings, QStringLiteral("s"), QStringLiteral("/dev/ttyUSB0"));
        Reading reading;
        reading.unit = QStringLiteral("KPa");
        reading.answered = true;
        for (int i = 0; i < ReadingQueue::DefaultBound; ++i) {
            reading.address = 1 + i % DeviceCount;
            reading.time = QDateTime::currentDateTime();
            link.take(reading);
        }
        return double(residentBytes() - before) / (1024.0 * 1024.0);
    }
}

// Processor time of this process's thread named `name`, in seconds.
double threadCpuSeconds(const QByteArray &name)
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name)
            continue;
        QFile stat(tasks.filePath(tid + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly))
            return 0.0;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        return double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) / double(sysconf(_SC_CLK_TCK));
    }
    return 0.0;
}

using Key = std::pair<int, qint64>; // address, seq

// mosquitto_sub printing each reading with the moment it arrived.
class TimedSubscriber
{
public:
    bool start(int port)
    {
        if (!publishRetained(port, QStringLiteral("bench/ready"), QStringLiteral("ready")))
            return false;
        m_process.start(QStringLiteral("mosquitto_sub"),
                        {"-h", "127.0.0.1", "-p", QString::number(port), "-q", "1", "-F", "%U %t %p", "-t",
                         "bench/ready", "-t", "bench/+/devices/+/reading"});
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { read(); });
        return waitFor([this] { return m_ready; }, 5000);
    }

private:
    // Lines are kept as they come and parsed afterwards, so that the
    // bench's own parsing does not count as the window's processor time.
    void read()
    {
        while (m_process.canReadLine()) {
            const QByteArray line = m_process.readLine().trimmed();
            if (line.contains(" bench/ready "))
                m_ready = true;
            else
                m_lines.push_back(line);
        }
    }

public:
    // (address, seq) of each reading with the moment mosquitto_sub got it.
    std::map<Key, qint64> arrivals() const
    {
        std::map<Key, qint64> result;
        for (const QByteArray &line : m_lines) {
            const QList<QByteArray> parts = line.split(' ');
            const int payloadAt = line.indexOf(' ', line.indexOf(' ') + 1) + 1;
            const QJsonObject payload = QJsonDocument::fromJson(line.mid(payloadAt)).object();
            const int address = parts.value(1).split('/').value(3).toInt();
            const QList<QByteArray> stamp = parts.value(0).split('.');
            const qint64 ns =
                stamp.value(0).toLongLong() * 1000000000 + stamp.value(1).leftJustified(9, '0').toLongLong();
            result.emplace(Key{address, payload.value("seq").toVariant().toLongLong()}, ns);
        }
        return result;
    }
    qint64 count() const { return qint64(m_lines.size()); }

private:
    ChildProcess m_process;
    bool m_ready = false;
    std::vector<QByteArray> m_lines;
};

struct Run
{
    double cpuPerWallSecond = 0.0;
    double linkCpuPerWallSecond = 0.0;
    double longestHoldMs = 0.0;
    double p50Ms = 0.0;
    double p99Ms = 0.0;
    long long polls = 0;
    long long delivered = 0;
    double drainS = 0.0;
    long long queuedAtReconnect = 0;
};

// Polls through the window for `seconds`; with `broker` > 0 it publishes
// there (through a relay, cut for `outageSeconds` when that is not 0).
Run poll(const QString &path, int seconds, int broker, int outageSeconds)
{
    MainWindow window;
    window.show();
    widget<QComboBox>(window, "cboxBaudRate")->setCurrentText(QString::number(Baud));
    openPort(window, path);
    for (int address = 1; address <= DeviceCount; ++address)
        addDevice(window, address);

    TcpRelay relay(broker);
    TimedSubscriber subscriber;
    std::map<Key, qint64> taken;
    std::map<int, qint64> seqs;
    QObject scope;
    QObject::connect(widget<PollCycle>(window, "pollCycle"), &PollCycle::readingTaken, &scope,
                     [&](const Reading &reading) {
                         taken.emplace(Key{reading.address, ++seqs[reading.address]}, realtimeNs());
                     });
    if (broker > 0) {
        if (!relay.listen() || !subscriber.start(broker))
            qFatal("no relay or subscriber");
        window.findChild<QAction *>(QStringLiteral("publishAction"))->trigger();
        auto *dialog = window.findChild<PublishDialog *>();
        dialog->findChild<QLineEdit *>(QStringLiteral("brokerEdit"))
            ->setText(QStringLiteral("mqtt://127.0.0.1:%1").arg(outageSeconds > 0 ? relay.port() : broker));
        dialog->findChild<QLineEdit *>(QStringLiteral("topicPrefixEdit"))->setText(QStringLiteral("bench"));
        dialog->findChild<QPushButton *>(QStringLiteral("startPublishButton"))->click();
        dialog->close();
        wait(500);
    }

    Run run;
    clickStart(window, QString());
    EventLoopWatch watch(10, 100.0);
    const double cpuBefore = cpuSeconds();
    const double linkCpuBefore = threadCpuSeconds("publishing");
    QElapsedTimer wall;
    wall.start();
    wait(seconds * 1000);
    const double wallSeconds = double(wall.nsecsElapsed()) / 1e9;
    run.cpuPerWallSecond = (cpuSeconds() - cpuBefore) / wallSeconds;
    run.linkCpuPerWallSecond = (threadCpuSeconds("publishing") - linkCpuBefore) / wallSeconds;
    run.longestHoldMs = watch.longestHoldMs();

    if (outageSeconds > 0) {
        bool connected = false;
        qint64 connectedAt = 0;
        QObject::connect(window.findChild<Publisher *>()->link(), &BrokerLink::stateChanged, &scope,
                         [&connected, &connectedAt](int state) {
                             connected = state == BrokerLink::Connected;
                             connectedAt = realtimeNs();
                         });
        relay.cut();
        wait(outageSeconds * 1000);
        relay.restore();
        waitFor([&connected] { return connected; }, 60000);
        // Everything polled up to the reconnect, and when the last of it came.
        const std::map<Key, qint64> due = taken;
        // Every reading polled so far arrives at least once.
        waitFor([&] { return subscriber.count() >= qint64(due.size()); }, 120000);
        wait(2000);
        const std::map<Key, qint64> arrivals = subscriber.arrivals();
        qint64 lastArrival = connectedAt;
        for (const auto &entry : due) {
            const auto arrival = arrivals.find(entry.first);
            if (arrival == arrivals.end() || arrival->second > connectedAt)
                ++run.queuedAtReconnect;
            if (arrival != arrivals.end())
                lastArrival = std::max(lastArrival, arrival->second);
        }
        run.drainS = double(lastArrival - connectedAt) / 1e9;
    }
    QTest::mouseClick(widget<QPushButton>(window, "btnStop"), Qt::LeftButton);
    waitForPollCycleEnd(window);
    run.polls = static_cast<long long>(taken.size());
    if (broker > 0) {
        waitFor([&] { return subscriber.count() >= qint64(taken.size()); }, 30000);
        const std::map<Key, qint64> arrivals = subscriber.arrivals();
        std::vector<double> latencies;
        for (const auto &arrival : arrivals) {
            const auto poll = taken.find(arrival.first);
            if (poll != taken.end())
                latencies.push_back(double(arrival.second - poll->second) / 1e6);
        }
        run.delivered = static_cast<long long>(arrivals.size());
        run.p50Ms = percentile(latencies, 0.5);
        run.p99Ms = percentile(latencies, 0.99);
    }
    return run;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(5, QString::fromLocal8Bit(argv[1]).toInt()) : 60;
    const int outage = argc > 2 ? std::max(5, QString::fromLocal8Bit(argv[2]).toInt()) : 60;

    MosquittoBroker broker;
    QStringList slaves{QStringLiteral("--baud"), QString::number(Baud)};
    for (int address = 1; address <= DeviceCount; ++address)
        slaves << QStringLiteral("--slave") << QStringLiteral("%1,pressure=wave:101325:500:7").arg(address);
    SimulatorProcess sim(slaves);
    if (!broker.start() || !sim.start()) {
        std::fprintf(stderr, "velmora-publishbench: mosquitto or velmora-sim did not start\n");
        return 1;
    }
    std::printf("%d devices at %d baud, %d s per run, outage %d s\n\n", DeviceCount, Baud, seconds, outage);
    std::printf("a full queue (%d readings): %.1f MiB resident\n", ReadingQueue::DefaultBound, fullQueueMiB());
    const Run without = poll(sim.devicePath(), seconds, 0, 0);
    const Run with = poll(sim.devicePath(), seconds, broker.port(), 0);
    std::printf("without publishing: cpu %.4f s/s, longest hold %.1f ms, %lld polls\n", without.cpuPerWallSecond,
                without.longestHoldMs, without.polls);
    std::printf("with publishing:    cpu %.4f s/s, longest hold %.1f ms, %lld polls, %lld delivered\n",
                with.cpuPerWallSecond, with.longestHoldMs, with.polls, with.delivered);
    std::printf("publishing adds:    cpu %.4f s/s (its thread alone %.4f s/s); "
                "latency poll -> subscriber p50 %.2f ms, p99 %.2f ms\n",
                with.cpuPerWallSecond - without.cpuPerWallSecond, with.linkCpuPerWallSecond, with.p50Ms, with.p99Ms);
    const Run outageRun = poll(sim.devicePath(), seconds, broker.port(), outage);
    std::printf("outage of %d s:     %lld readings waiting at the reconnect, all arrived %.2f s after it; "
                "%lld polled, %lld delivered\n",
                outage, outageRun.queuedAtReconnect, outageRun.drainS, outageRun.polls, outageRun.delivered);
    return 0;
}
