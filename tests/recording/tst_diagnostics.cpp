#include "recordingharness.h"

#include <QTemporaryDir>

namespace {

// Every debug message written while kept, as "<category>: <text>".
QStringList &debugLines()
{
    static QStringList kept;
    return kept;
}

void keepDebugLines(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg)
        debugLines() << QString::fromLatin1(context.category) + QStringLiteral(": ") + message;
}

} // namespace

// The three diagnostic lines are silent unless switched on, and word for
// word what they were when they are.
class TestDiagnostics : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void writesLineOnlyWhenSwitchedOn_data();
    void writesLineOnlyWhenSwitchedOn();

private:
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QTemporaryDir> tempDir;
};

void TestDiagnostics::init()
{
    tempDir = std::make_unique<QTemporaryDir>();
    QVERIFY(tempDir->isValid());
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestDiagnostics::cleanup()
{
    window.reset();
    tempDir.reset();
    QLoggingCategory::setFilterRules(QString());
}

void TestDiagnostics::writesLineOnlyWhenSwitchedOn_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("switchedOn");
    // %1 stands for the chosen folder.
    QTest::addColumn<QString>("line");

    for (const bool on : {false, true}) {
        const char *state = on ? "switched on" : "by default";
        QTest::addRow("filter button, %s", state) << "filter" << on << "filter button: red";
        QTest::addRow("record folder, %s", state) << "start" << on << "saved_file_path=%1";
        QTest::addRow("record tick, %s", state) << "tick" << on << "saved 0";
    }
}

void TestDiagnostics::writesLineOnlyWhenSwitchedOn()
{
    QFETCH(QString, action);
    QFETCH(bool, switchedOn);
    QFETCH(QString, line);

    QLoggingCategory::setFilterRules(switchedOn ? QStringLiteral("velmora.diagnostics.debug=true") : QString());
    if (action != QLatin1String("filter")) {
        addDevice(*window, 7);
        setPortOpen(*window, true);
    }
    if (action == QLatin1String("tick")) {
        QVERIFY(clickStart(*window, tempDir->path()));
        holdTimers(*window);
        // The first tick after Start only starts the count and says nothing.
        QVERIFY(QMetaObject::invokeMethod(window.get(), "saved_process"));
    }

    debugLines().clear();
    const QtMessageHandler previous = qInstallMessageHandler(keepDebugLines);
    bool done = true;
    if (action == QLatin1String("filter"))
        QTest::mouseClick(widget<QPushButton>(*window, "redBtn"), Qt::LeftButton);
    else if (action == QLatin1String("start"))
        done = clickStart(*window, tempDir->path());
    else
        done = QMetaObject::invokeMethod(window.get(), "saved_process");
    qInstallMessageHandler(previous);
    holdTimers(*window);
    QVERIFY(done);

    const QString text = line.contains(QLatin1String("%1")) ? line.arg(tempDir->path()) : line;
    const QStringList written = debugLines().filter(QRegularExpression(
        QStringLiteral(": %1$").arg(QRegularExpression::escape(text))));
    const QStringList expected
        = switchedOn ? QStringList{QStringLiteral("velmora.diagnostics: ") + text} : QStringList();
    QCOMPARE(written, expected);
}

QTEST_MAIN(TestDiagnostics)
#include "tst_diagnostics.moc"
