#include "childprocess.h"

#include <QElapsedTimer>
#include <QtTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <vector>

// Closing the window ends the process whatever one of its threads is held
// in: the real window in a process of its own, its line in a connect that
// is never answered or in a name lookup that never returns, or its MQTT
// session in such a lookup.
class TestClosingWindow : public QObject
{
    Q_OBJECT

private slots:
    void exitsWhateverHoldsAThread_data();
    void exitsWhateverHoldsAThread();
};

namespace {

// Far beyond the few seconds closing may take, far below what the held call takes.
constexpr qint64 ExitBoundMs = 8000;
constexpr int LookupHangMs = 60000;
const char *const StuckHost = "stuck.invalid";

qint64 steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A listening socket on the loopback that accepts nobody, with its queue of
// connections full: a further connect is never answered.
class FullBacklog
{
public:
    FullBacklog()
    {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener, reinterpret_cast<sockaddr *>(&address), length) != 0 || ::listen(listener, 0) != 0
            || ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        port = ntohs(address.sin_port);
        for (int i = 0; i < 4; ++i) {
            const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(client, reinterpret_cast<sockaddr *>(&address), length);
            clients.push_back(client);
        }
        QTest::qWait(200);
    }
    ~FullBacklog()
    {
        for (const int client : clients)
            ::close(client);
        ::close(listener);
    }
    FullBacklog(const FullBacklog &) = delete;
    FullBacklog &operator=(const FullBacklog &) = delete;

    int port = 0;

private:
    int listener = -1;
    std::vector<int> clients;
};

} // namespace

void TestClosingWindow::exitsWhateverHoldsAThread_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("address");

    QTest::newRow("line connecting to a peer that never answers") << "line" << "127.0.0.1:<port>";
    QTest::newRow("line in a name lookup that never returns") << "line" << QStringLiteral("%1:502").arg(StuckHost);
    QTest::newRow("MQTT session in a name lookup that never returns")
        << "broker" << QStringLiteral("mqtt://%1:1883").arg(StuckHost);
}

void TestClosingWindow::exitsWhateverHoldsAThread()
{
    QFETCH(QString, what);
    QFETCH(QString, address);

    const FullBacklog peer;
    QVERIFY(peer.port > 0);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELMORA_SLOW_LOOKUP_HOST"), QString::fromLatin1(StuckHost));
    environment.insert(QStringLiteral("VELMORA_SLOW_LOOKUP_MS"), QString::number(LookupHangMs));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    ChildProcess child;
    child.setProcessEnvironment(environment);
    address.replace(QStringLiteral("<port>"), QString::number(peer.port));
    child.start(QStringLiteral(VELMORA_CLOSINGWINDOW_PATH), {what, address, QStringLiteral("500")});
    QVERIFY(child.waitForStarted());

    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += child.readAllStandardOutput()).contains('\n'), 30000);
    const QList<QByteArray> closing = output.trimmed().split(' ');
    QCOMPARE(closing.value(0), QByteArray("closing"));
    const qint64 closedAt = closing.value(1).toLongLong();

    const bool exited = child.waitForFinished(int(ExitBoundMs + 2000));
    const qint64 exitMs = steadyMs() - closedAt;
    if (!exited)
        child.end();
    QVERIFY2(exited, qPrintable(QStringLiteral("still running %1 ms after the window closed").arg(exitMs)));
    QVERIFY2(exitMs < ExitBoundMs, qPrintable(QString::number(exitMs)));
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
             child.readAllStandardError().constData());
}

QTEST_GUILESS_MAIN(TestClosingWindow)
#include "tst_closingwindow.moc"
