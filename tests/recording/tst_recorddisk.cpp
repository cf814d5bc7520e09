#include "faultyfileaccess.h"
#include "recordingharness.h"

#include "itemdata.h"
#include "devicelimits.h"
#include "simulatorprocess.h"
#include "reliability/eventloopwatch.h"
#include "notice.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <memory>

// Recordings over a real line into a disk that is slow, fills up, writes short
// or cannot cut a file back: the window stays free, every file holds its
// header and whole rows only, and the operator hears of losses and of their end.
class TestRecordDisk : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void diskFaults_data();
    void diskFaults();
    void slowFolderLeavesWindowFree();
    void alarmFolderRefused();
    void stopStartAndCloseWhileRowsWait();
    void boundsRowsWaitingForOneFile();

private:
    // Starts a recording of `devices` devices at period 1 and waits for their
    // readings; with `manualTicks` the test gives the record ticks itself.
    void startRecording(int devices, const QString &folder, bool manualTicks = false);
    QString noticeText() const;
    // Gives device `row` a high pressure limit below the simulator's 101.325 KPa.
    void limitPressure(int row);
    // The run's alarm folders in the record folder.
    QStringList alarmFolders() const;

    std::unique_ptr<SimulatorProcess> sim;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QTemporaryDir> tempDir;
    std::shared_ptr<FaultyFileAccess> disk;
};

namespace {

constexpr int SettleMs = 15000;

// Only whole rows: a number, a stamp, two readings around the unit, and the line end.
const QRegularExpression wholeRow(
    QStringLiteral("^\\d+,\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d,[^,]*,KPa,[^,]*,$"));

QDateTime stampOf(const QStringList &row)
{
    return QDateTime::fromString(row.value(1), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

// The record file's lines after the header, which must come first.
QStringList linesAfterHeader(const QString &path)
{
    QStringList lines = QString::fromUtf8(fileBytes(path)).split(QLatin1Char('\n'));
    if (lines.value(0) + QLatin1Char('\n') != recordHeader() || !lines.constLast().isEmpty())
        return {QStringLiteral("no header or no line end")};
    lines.removeFirst();
    lines.removeLast();
    return lines;
}

// The warnings kept by keepWarnings, a message handler and thus a plain function.
QStringList &warnings()
{
    static QStringList kept;
    return kept;
}

const QByteArray alarmLogHeader = QByteArrayLiteral("时间,设备地址,事件,量,值,限值,单位,\n");
const QByteArray summaryHeader
    = QStringLiteral("设备地址,单位,总次数,失败次数,压力首值,压力末值,压力最小,压力最大,压力平均,"
                     "温度最小,温度最大,温度平均,报警次数,报警时长(S),结论,\n")
          .toUtf8();

void keepWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg)
        warnings() << message;
}

} // namespace

void TestRecordDisk::init()
{
    sim = std::make_unique<SimulatorProcess>(
        SimulatorProcess::slaveArguments({"1,pressure=101325,temp=23.5", "2,pressure=101325,temp=23.5",
                                          "3,pressure=101325,temp=23.5", "4,pressure=101325,temp=23.5"}));
    QVERIFY(sim->start());
    tempDir = std::make_unique<QTemporaryDir>();
    QVERIFY(tempDir->isValid());
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    disk = std::make_shared<FaultyFileAccess>();
    recordingSession(*window)->writer()->useFileAccess(disk);
    QVERIFY(openPort(*window, sim->devicePath()));
}

void TestRecordDisk::cleanup()
{
    window.reset();
    tempDir.reset();
    sim.reset();
    disk.reset();
}

void TestRecordDisk::startRecording(int devices, const QString &folder, bool manualTicks)
{
    for (int address = 1; address <= devices; ++address)
        addDevice(*window, address, QStringLiteral("KPa"), 3, 1);
    QVERIFY(clickStart(*window, folder));
    if (manualTicks)
        recordTimer(*window)->stop();
    QTRY_VERIFY_WITH_TIMEOUT(recordAt(*window, devices - 1).pressureText == QStringLiteral("101.325"), SettleMs);
}

QString TestRecordDisk::noticeText() const
{
    const auto *notice = window->findChild<Notice *>(QStringLiteral("recordWriteNotice"));
    return notice ? notice->text() : QString();
}

void TestRecordDisk::limitPressure(int row)
{
    Limits limits;
    limits.pressureHigh = 100.0;
    deviceModel(*window)->setData(deviceModel(*window)->index(row, 0), QVariant::fromValue(limits), LimitsRole);
}

QStringList TestRecordDisk::alarmFolders() const
{
    return QDir(tempDir->path()).entryList({QStringLiteral("报警与汇总__*")}, QDir::Dirs | QDir::NoDotAndDotDot);
}

void TestRecordDisk::diskFaults_data()
{
    QTest::addColumn<qint64>("room");
    QTest::addColumn<qint64>("chunk");
    QTest::addColumn<bool>("cutBackFails");
    QTest::addColumn<int>("failingCloses");

    // Three rows of about 41 bytes fit; the fourth is cut off in its middle.
    QTest::newRow("disk fills mid-row, then freed") << qint64(150) << qint64(0) << false << 0;
    QTest::newRow("every write short") << qint64(-1) << qint64(7) << false << 0;
    QTest::newRow("disk fills, cut-back fails, then freed") << qint64(150) << qint64(0) << true << 0;
    // The first row of each of the three files is refused at its close.
    QTest::newRow("close fails once per file") << qint64(-1) << qint64(0) << false << 3;
}

void TestRecordDisk::diskFaults()
{
    QFETCH(qint64, room);
    QFETCH(qint64, chunk);
    QFETCH(bool, cutBackFails);
    QFETCH(int, failingCloses);

    startRecording(3, tempDir->path(), true);
    disk->room = room;
    disk->chunk = chunk;
    disk->cutBackFails = cutBackFails;
    disk->failingCloses = failingCloses;
    recordTicks(*window, 5);

    QStringList paths;
    for (int row = 0; row < 3; ++row)
        paths << recordAt(*window, row).filePath;
    const bool fills = room >= 0;
    const bool loses = fills || failingCloses > 0;
    if (fills) {
        QVERIFY2(noticeText().contains(QStringLiteral("记录数据正在丢失")), qPrintable(noticeText()));
        for (const QString &path : qAsConst(paths))
            QVERIFY2(noticeText().contains(path), qPrintable(noticeText()));
    }
    disk->room = -1;
    recordTicks(*window, 3);

    int brokenLines = 0;
    for (int row = 0; row < 3; ++row) {
        const QString &path = paths.at(row);
        const QStringList lines = linesAfterHeader(path);
        QVector<int> numbers;
        for (const QString &line : lines) {
            if (!wholeRow.match(line).hasMatch()) {
                ++brokenLines;
                continue;
            }
            numbers << line.section(QLatin1Char(','), 0, 0).toInt();
            QVERIFY2(line.endsWith(QStringLiteral(",101.325,KPa,23.5,")), qPrintable(line));
        }
        // Numbers only go up, lost ones are not given again, and the rows
        // after the disk was freed are there.
        QVERIFY(std::is_sorted(numbers.cbegin(), numbers.cend()));
        QVERIFY(std::adjacent_find(numbers.cbegin(), numbers.cend()) == numbers.cend());
        const int index = int(recordAt(*window, row).recordIndex);
        QCOMPARE(index, 7);
        QCOMPARE(numbers.constLast(), index);
        const int lost = index - numbers.size();
        if (failingCloses > 0) {
            // Row 1 reached the disk but was refused at the close: cut back off.
            QCOMPARE(numbers.constFirst(), 2);
            QCOMPARE(lost, 1);
        }
        if (!loses) {
            QCOMPARE(lost, 0);
        } else {
            QVERIFY(lost > 0);
            QVERIFY2(noticeText().contains(QStringLiteral("%1（丢失 %2 行）").arg(path).arg(lost)),
                     qPrintable(noticeText()));
        }
    }
    if (!loses) {
        QVERIFY(noticeText().isEmpty());
        return;
    }
    for (const QString &path : qAsConst(paths)) {
        const QString cutBack = noticeText().section(QStringLiteral("未确认写入的行已截去"), 1);
        QCOMPARE(cutBack.contains(path), failingCloses > 0);
    }
    QVERIFY2(!noticeText().contains(QStringLiteral("记录数据正在丢失")), qPrintable(noticeText()));
    // The row the full disk cut off is the only broken line, closed by a line
    // end so that the next row stands whole; the notice says which file.
    QCOMPARE(brokenLines, cutBackFails ? 1 : 0);
    QCOMPARE(noticeText().contains(QStringLiteral("可能含有一行不完整的数据：\n") + paths.first()), cutBackFails);
}

void TestRecordDisk::slowFolderLeavesWindowFree()
{
    // Made on the window's thread, the four files would hold it 0.6 s at
    // Start, the alarm folder 1 s more; each row there would hold it for four
    // opens, 1.6 s.
    disk->createDelayMs = 150;
    disk->openDelayMs = 400;
    disk->folderDelayMs = 1000;
    for (int address = 1; address <= 4; ++address)
        addDevice(*window, address, QStringLiteral("KPa"), 3, 1);
    limitPressure(0);
    QList<QByteArray> atFirstTick;
    const QMetaObject::Connection firstTick
        = connect(recordTimer(*window), &QTimer::timeout, this, [this, &atFirstTick] {
              if (!atFirstTick.isEmpty())
                  return;
              for (int row = 0; row < 4; ++row)
                  atFirstTick << fileBytes(recordAt(*window, row).filePath);
          });
    QElapsedTimer holding;
    QVERIFY(clickStart(*window, [&](QFileDialog *dialog) {
        chooseDirectory(dialog, tempDir->path());
        holding.start();
    }));
    const qint64 startHoldMs = holding.elapsed();
    QTRY_VERIFY_WITH_TIMEOUT(recordAt(*window, 3).pressureText == QStringLiteral("101.325"), SettleMs);
    EventLoopWatch watch;
    QTest::qWait(6500);
    const double longestHoldMs = watch.longestHoldMs();
    QTest::mouseClick(widget<QPushButton>(*window, "btnStop"), Qt::LeftButton);
    QVERIFY(waitForRecordWrites(*window, SettleMs));
    disconnect(firstTick);

    QVERIFY2(startHoldMs < 300, qPrintable(QString::number(startHoldMs)));
    QVERIFY2(longestHoldMs < 300, qPrintable(QString::number(longestHoldMs)));
    // Each file held its header, and only that, when the first tick came.
    QCOMPARE(atFirstTick, QVector<QByteArray>(4, recordHeader().toUtf8()).toList());
    for (int row = 0; row < 4; ++row) {
        const QList<QStringList> rows = dataRows(recordAt(*window, row).filePath);
        QVERIFY(rows.size() >= 4);
        QCOMPARE(rows.size(), int(recordAt(*window, row).recordIndex));
        for (int i = 0; i < rows.size(); ++i) {
            QCOMPARE(rows.at(i).value(0), QString::number(i + 1));
            // Stamped at its tick, not when a slow open let it through.
            if (i > 0)
                QVERIFY(qAbs(stampOf(rows.at(i - 1)).secsTo(stampOf(rows.at(i))) - 1) <= 1);
        }
    }
    QVERIFY(noticeText().isEmpty());

    // The alarm log and the summary, each under its header, in the run's own folder.
    const QStringList folders = alarmFolders();
    QCOMPARE(folders.size(), 1);
    const QDir folder(tempDir->filePath(folders.first()));
    const QString stamp = folders.first().section(QStringLiteral("__"), 1);
    const QByteArray log = fileBytes(folder.filePath(QStringLiteral("报警记录__%1.csv").arg(stamp)));
    const QByteArray summary = fileBytes(folder.filePath(QStringLiteral("汇总__%1.csv").arg(stamp)));
    QVERIFY2(log.startsWith(alarmLogHeader), log.constData());
    // Device 1 went over its limit once and stayed there.
    const QList<QByteArray> logRows = log.mid(alarmLogHeader.size()).split('\n');
    QCOMPARE(logRows.size(), 2);
    QVERIFY2(logRows.first().endsWith(",1,超上限,压力,101.325,100,KPa,"), logRows.first().constData());
    QVERIFY2(summary.startsWith(summaryHeader), summary.constData());
    const QList<QByteArray> summaryRows = summary.mid(summaryHeader.size()).split('\n');
    QCOMPARE(summaryRows.size(), 5);
    for (int row = 0; row < 4; ++row)
        QVERIFY(summaryRows.at(row).startsWith(QByteArray::number(row + 1) + ",KPa,"));
    // One alarm and the verdict for device 1; none, and a pass, for the others.
    QCOMPARE(summaryRows.at(0).split(',').mid(12, 1) + summaryRows.at(0).split(',').mid(14),
             (QList<QByteArray>{"1", "不合格", ""}));
    for (int row = 1; row < 4; ++row)
        QVERIFY2(summaryRows.at(row).endsWith(",0,0.0,合格,"), summaryRows.at(row).constData());
}

void TestRecordDisk::alarmFolderRefused()
{
    disk->foldersRefused = true;
    addDevice(*window, 1, QStringLiteral("KPa"), 3, 1);
    limitPressure(0);
    QVERIFY(clickStart(*window, tempDir->path()));
    Notice *notice = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((notice = window->findChild<Notice *>(QStringLiteral("alarmFilesNotice")))
                                 && notice->isVisible(),
                             SettleMs);
    QVERIFY2(notice->text().contains(QDir(tempDir->path()).filePath(QStringLiteral("报警与汇总__"))),
             qPrintable(notice->text()));
    // The recording goes on without them.
    QTRY_VERIFY_WITH_TIMEOUT(dataRows(recordAt(*window, 0).filePath).size() >= 2, SettleMs);
    QTest::mouseClick(widget<QPushButton>(*window, "btnStop"), Qt::LeftButton);
    QVERIFY(waitForRecordWrites(*window, SettleMs));
    QVERIFY(alarmFolders().isEmpty());
}

void TestRecordDisk::stopStartAndCloseWhileRowsWait()
{
    disk->openDelayMs = 1500;
    const QString first = tempDir->filePath(QStringLiteral("first"));
    const QString second = tempDir->filePath(QStringLiteral("second"));
    QVERIFY(QDir().mkpath(first) && QDir().mkpath(second));
    startRecording(2, first);
    const RowWriter *writer = recordingSession(*window)->writer();
    const QString lostFile = recordAt(*window, 0).filePath;
    QTRY_VERIFY_WITH_TIMEOUT(recordAt(*window, 0).recordIndex >= 4 && writer->waitingRows(lostFile) >= 2, SettleMs);
    // From here on the first device's file cannot be opened: the rows still
    // waiting for it are lost.
    disk->failOpensUnder(QFile::encodeName(lostFile));

    QElapsedTimer stopping;
    stopping.start();
    QTest::mouseClick(widget<QPushButton>(*window, "btnStop"), Qt::LeftButton);
    QVERIFY2(stopping.elapsed() < 500, qPrintable(QString::number(stopping.elapsed())));
    const QDateTime stoppedAt = QDateTime::currentDateTime();
    QStringList firstFiles;
    QList<int> firstRows;
    for (int row = 0; row < 2; ++row) {
        firstFiles << recordAt(*window, row).filePath;
        firstRows << int(recordAt(*window, row).recordIndex);
    }
    QVERIFY(writer->waitingRows() > 0);

    // The rows of the last recording keep going to disk, in order, while the next one runs.
    QVERIFY(clickStart(*window, second));
    for (int row = 1; row < 2; ++row) {
        QTRY_COMPARE_WITH_TIMEOUT(dataRows(firstFiles.at(row)).size(), firstRows.at(row), SettleMs);
        const QList<QStringList> rows = dataRows(firstFiles.at(row));
        for (int i = 0; i < rows.size(); ++i) {
            QCOMPARE(rows.at(i).value(0), QString::number(i + 1));
            QVERIFY(stampOf(rows.at(i)) <= stoppedAt);
        }
    }

    // The notice follows the lost file to its last row and names the rows it lost.
    QTRY_COMPARE_WITH_TIMEOUT(writer->waitingRows(lostFile), 0, SettleMs);
    const int lostRows = firstRows.at(0) - dataRows(lostFile).size();
    QVERIFY(lostRows >= 2);
    QTRY_VERIFY2(noticeText().contains(
                     QStringLiteral("上一次记录的以下文件已处理完剩余的行：\n%1（丢失 %2 行）").arg(lostFile).arg(lostRows)),
                 qPrintable(noticeText()));
    QVERIFY2(!noticeText().contains(QStringLiteral("记录数据正在丢失")), qPrintable(noticeText()));
    QVERIFY(!noticeText().contains(firstFiles.at(1)));

    // Closing waits 2 s at most; what is still waiting is named as lost.
    QTRY_VERIFY_WITH_TIMEOUT(dataRows(recordAt(*window, 1).filePath).size() >= 1, SettleMs);
    disk->openDelayMs = 3000;
    QTRY_VERIFY_WITH_TIMEOUT(writer->waitingRows(recordAt(*window, 1).filePath) >= 2, SettleMs);
    QStringList secondFiles;
    QList<int> secondRows;
    for (int row = 0; row < 2; ++row) {
        secondFiles << recordAt(*window, row).filePath;
        secondRows << int(recordAt(*window, row).recordIndex);
    }
    warnings().clear();
    const QtMessageHandler previous = qInstallMessageHandler(keepWarnings);
    QElapsedTimer closing;
    closing.start();
    window.reset();
    const qint64 closeMs = closing.elapsed();
    qInstallMessageHandler(previous);
    QVERIFY2(closeMs < 2600, qPrintable(QString::number(closeMs)));
    // The held open returns into a writer that has given up: nothing follows.
    QTest::qWait(3200);
    for (int row = 0; row < 2; ++row) {
        const QString &path = secondFiles.at(row);
        const QRegularExpressionMatch lost
            = QRegularExpression(QStringLiteral(": (\\d+) rows lost")).match(warnings().filter(path).value(0));
        // The second device had rows waiting; the first may have had none left.
        QVERIFY2(lost.hasMatch() || row == 0, qPrintable(warnings().join(QLatin1Char('\n'))));
        QCOMPARE(dataRows(path).size() + lost.captured(1).toInt(), secondRows.at(row));
    }
}

void TestRecordDisk::boundsRowsWaitingForOneFile()
{
    disk->openDelayMs = 3000;
    startRecording(1, tempDir->path(), true);
    const QString path = recordAt(*window, 0).filePath;
    // The first tick starts the count; then one row per tick, one too many.
    const QtMessageHandler previous = qInstallMessageHandler(keepWarnings);
    for (int tick = 0; tick <= RowWriter::QueueLimit + 1; ++tick)
        QVERIFY(QMetaObject::invokeMethod(window.get(), "saved_process"));
    qInstallMessageHandler(previous);
    QCOMPARE(recordingSession(*window)->writer()->waitingRows(path), RowWriter::QueueLimit);
    QVERIFY(noticeText().contains(path));
    disk->openDelayMs = 0;
    QVERIFY(waitForRecordWrites(*window, SettleMs));
    recordTicks(*window, 1);

    const QList<QStringList> rows = dataRows(path);
    QCOMPARE(rows.size(), RowWriter::QueueLimit + 1);
    QCOMPARE(rows.at(RowWriter::QueueLimit - 1).value(0), QString::number(RowWriter::QueueLimit));
    QCOMPARE(rows.constLast().value(0), QString::number(RowWriter::QueueLimit + 2));
    QVERIFY2(noticeText().contains(QStringLiteral("%1（丢失 1 行）").arg(path)), qPrintable(noticeText()));
}

QTEST_MAIN(TestRecordDisk)
#include "tst_recorddisk.moc"
