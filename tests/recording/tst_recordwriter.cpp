#include "recordingharness.h"
#include "notice.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextCodec>

class TestRecordWriter : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void writesRowsOnSchedule_data();
    void writesRowsOnSchedule();
    void writesUtf8WithoutByteOrderMark_data();
    void writesUtf8WithoutByteOrderMark();
    void emptyListStillAdvancesTick();
    void keepsPeriodWhenTicksAreDropped();
    void closedPortWritesNothing();
    void removedDeviceKeepsItsFile();
    void deviceAddedAfterStartGetsNoFile();
    void restartNumbersNewFilesFromOne();
    void reportsLostRowsOncePerRecording_data();
    void reportsLostRowsOncePerRecording();

private:
    // Port marked open, devices added with the given periods, recording
    // started into the temporary directory, timers held for the test.
    void startWith(const QList<int> &periods);
    QList<Notice *> notices() const;

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QTemporaryDir> tempDir;
};

void TestRecordWriter::init()
{
    tempDir = std::make_unique<QTemporaryDir>();
    QVERIFY(tempDir->isValid());
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestRecordWriter::cleanup()
{
    window.reset();
    tempDir.reset();
}

void TestRecordWriter::startWith(const QList<int> &periods)
{
    for (int i = 0; i < periods.size(); ++i) {
        addDevice(*window, i + 1, QStringLiteral("KPa"), 3, periods.at(i));
        storeReadings(*window, i, QStringLiteral("101.325"), QStringLiteral("23.5"));
    }
    setPortOpen(*window, true);
    QVERIFY(clickStart(*window, tempDir->path()));
    holdTimers(*window);
}

QList<Notice *> TestRecordWriter::notices() const
{
    return window->findChildren<Notice *>(QStringLiteral("recordWriteNotice"));
}

void TestRecordWriter::writesRowsOnSchedule_data()
{
    QTest::addColumn<QList<int>>("periods");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QList<QList<int>>>("rowTicks");

    QTest::newRow("periods 1 and 3") << QList<int>{1, 3} << 8
                                     << QList<QList<int>>{{2, 3, 4, 5, 6, 7, 8}, {2, 5, 8}};
    QTest::newRow("periods 2 and 7") << QList<int>{2, 7} << 9 << QList<QList<int>>{{2, 4, 6, 8}, {2, 9}};
}

void TestRecordWriter::writesRowsOnSchedule()
{
    QFETCH(QList<int>, periods);
    QFETCH(int, ticks);
    QFETCH(QList<QList<int>>, rowTicks);

    startWith(periods);
    const QDateTime before = QDateTime::currentDateTime().addMSecs(-1000);
    for (int tick = 1; tick <= ticks; ++tick) {
        recordTicks(*window, 1);
        for (int device = 0; device < periods.size(); ++device) {
            const auto written = std::count_if(rowTicks.at(device).cbegin(), rowTicks.at(device).cend(),
                                               [tick](int rowTick) { return rowTick <= tick; });
            QCOMPARE(dataRows(recordAt(*window, device).filePath).size(), int(written));
        }
    }
    const QDateTime after = QDateTime::currentDateTime();

    for (int device = 0; device < periods.size(); ++device) {
        const QList<QStringList> rows = dataRows(recordAt(*window, device).filePath);
        for (int i = 0; i < rows.size(); ++i) {
            const QStringList &fields = rows.at(i);
            QCOMPARE(fields.size(), 5);
            QCOMPARE(fields.at(0), QString::number(i + 1));
            const QDateTime written = QDateTime::fromString(fields.at(1), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
            QVERIFY2(written >= before && written <= after, qPrintable(fields.at(1)));
            QCOMPARE(fields.mid(2), (QStringList{"101.325", "KPa", "23.5"}));
        }
        QCOMPARE(int(recordAt(*window, device).recordIndex), rows.size());
    }
}

void TestRecordWriter::keepsPeriodWhenTicksAreDropped()
{
    // A blocked thread drops timer ticks. Here the first two ticks come at once
    // and the next only 5 s after Start: the period-3 device's row due at 5 s
    // is written then, not three delivered ticks later; the period-1 device
    // writes one row for the seconds it missed, numbered without a gap.
    startWith({1, 3, 5});
    recordTicks(*window, 2);
    QTest::qSleep(5200);
    recordTicks(*window, 1);

    QCOMPARE(dataRows(recordAt(*window, 0).filePath).size(), 2);
    QCOMPARE(dataRows(recordAt(*window, 1).filePath).size(), 2);
    QCOMPARE(dataRows(recordAt(*window, 2).filePath).size(), 1);
    QCOMPARE(dataRows(recordAt(*window, 0).filePath).at(1).at(0), QStringLiteral("2"));

    // 7 s after Start: period 1 writes again, period 5 reaches its second row.
    QTest::qSleep(2000);
    recordTicks(*window, 1);
    QCOMPARE(dataRows(recordAt(*window, 0).filePath).size(), 3);
    QCOMPARE(dataRows(recordAt(*window, 1).filePath).size(), 2);
    QCOMPARE(dataRows(recordAt(*window, 2).filePath).size(), 2);
}

void TestRecordWriter::writesUtf8WithoutByteOrderMark_data()
{
    QTest::addColumn<QByteArray>("localeCodec");

    QTest::newRow("UTF-8 locale") << QByteArray("UTF-8");
    QTest::newRow("GB18030 locale") << QByteArray("GB18030");
}

void TestRecordWriter::writesUtf8WithoutByteOrderMark()
{
    QFETCH(QByteArray, localeCodec);

    QTextCodec *const original = QTextCodec::codecForLocale();
    const std::unique_ptr<QTextCodec, void (*)(QTextCodec *)> restore(original, QTextCodec::setCodecForLocale);
    QTextCodec::setCodecForLocale(QTextCodec::codecForName(localeCodec));
    QCOMPARE(QTextCodec::codecForLocale()->name(), localeCodec);

    startWith({1});
    recordTicks(*window, 3);

    const QByteArray bytes = fileBytes(recordAt(*window, 0).filePath);
    QVERIFY(bytes.startsWith("\xE5\xBA\x8F\xE5\x8F\xB7,"));
    const QList<QByteArray> lines = bytes.split('\n');
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(0), QByteArray("序号,时间,压力,单位,温度(℃),"));
    QVERIFY(lines.at(1).startsWith("1,") && lines.at(1).endsWith(",101.325,KPa,23.5,"));
    QVERIFY(lines.at(2).startsWith("2,"));
    QVERIFY(lines.at(3).isEmpty());
    QVERIFY(!bytes.contains('\r'));
}

void TestRecordWriter::emptyListStillAdvancesTick()
{
    startWith({3});
    recordTicks(*window, 2);
    const ItemData record = recordAt(*window, 0);
    QCOMPARE(dataRows(record.filePath).size(), 1);

    QTest::mouseClick(widget<QPushButton>(*window, "btnClrList"), Qt::LeftButton);
    QCOMPARE(deviceModel(*window)->rowCount(), 0);
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.diagnostics.debug=true"));
    const QRegularExpression savedLine(QStringLiteral("^saved \\d+$"));
    QTest::ignoreMessage(QtDebugMsg, savedLine);
    QTest::ignoreMessage(QtDebugMsg, savedLine);
    recordTicks(*window, 2);

    // Back in the list, the device is due at the tick three seconds after its
    // first row only if the two ticks without devices were counted.
    deviceModel(*window)->appendRow(newDeviceItem(record));
    recordTicks(*window, 1);
    const QList<QStringList> rows = dataRows(record.filePath);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.last().first(), QStringLiteral("2"));
}

void TestRecordWriter::closedPortWritesNothing()
{
    startWith({2});
    recordTicks(*window, 2);
    const QString path = recordAt(*window, 0).filePath;
    QCOMPARE(dataRows(path).size(), 1);

    setPortOpen(*window, false);
    recordTicks(*window, 3);
    QCOMPARE(dataRows(path).size(), 1);

    // The ticks while the port was closed did not count either.
    setPortOpen(*window, true);
    recordTicks(*window, 1);
    QCOMPARE(dataRows(path).size(), 1);
    recordTicks(*window, 1);
    QCOMPARE(dataRows(path).size(), 2);
}

void TestRecordWriter::removedDeviceKeepsItsFile()
{
    startWith({1, 1});
    recordTicks(*window, 3);
    const QString removedPath = recordAt(*window, 0).filePath;
    const QString keptPath = recordAt(*window, 1).filePath;
    const QByteArray written = fileBytes(removedPath);
    QCOMPARE(dataRows(removedPath).size(), 2);

    QListView *view = listView(*window);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                      view->visualRect(view->model()->index(0, 0)).center());
    QTest::mouseClick(widget<QPushButton>(*window, "btnDelreader"), Qt::LeftButton);
    QCOMPARE(deviceModel(*window)->rowCount(), 1);

    recordTicks(*window, 2);
    QCOMPARE(fileBytes(removedPath), written);
    QCOMPARE(dataRows(keptPath).size(), 4);
}

void TestRecordWriter::deviceAddedAfterStartGetsNoFile()
{
    startWith({1});
    addDevice(*window, 9, QStringLiteral("Pa"), 0, 1);
    recordTicks(*window, 3);

    QCOMPARE(filesIn(tempDir->path()).size(), 1);
    QCOMPARE(dataRows(recordAt(*window, 0).filePath).size(), 2);
    QVERIFY(recordAt(*window, 1).filePath.isEmpty());
    QVERIFY(notices().isEmpty());
}

void TestRecordWriter::restartNumbersNewFilesFromOne()
{
    startWith({1});
    recordTicks(*window, 3);
    const QString firstPath = recordAt(*window, 0).filePath;
    const QByteArray firstRecording = fileBytes(firstPath);
    QCOMPARE(dataRows(firstPath).size(), 2);

    QTest::mouseClick(widget<QPushButton>(*window, "btnStop"), Qt::LeftButton);
    QVERIFY(clickStart(*window, tempDir->path()));
    holdTimers(*window);
    recordTicks(*window, 2);

    const QString secondPath = recordAt(*window, 0).filePath;
    QVERIFY(secondPath != firstPath);
    const QList<QStringList> rows = dataRows(secondPath);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().first(), QStringLiteral("1"));
    QCOMPARE(fileBytes(firstPath), firstRecording);
}

void TestRecordWriter::reportsLostRowsOncePerRecording_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QList<int>>("lostDevices");

    QTest::newRow("directory removed") << "removed" << QList<int>{0, 1};
    QTest::newRow("directory replaced by a regular file") << "file" << QList<int>{0, 1};
    QTest::newRow("disk full") << "full" << QList<int>{0};
}

void TestRecordWriter::reportsLostRowsOncePerRecording()
{
    QFETCH(QString, fault);
    QFETCH(QList<int>, lostDevices);

    if (fault == "full" && !QFileInfo::exists(QStringLiteral("/dev/full")))
        QSKIP("no /dev/full to fill");

    for (const QString &name : {QStringLiteral("first"), QStringLiteral("second")}) {
        const QString directory = tempDir->filePath(name);
        QVERIFY(QDir().mkpath(directory));
        if (name == "first") {
            addDevice(*window, 1);
            addDevice(*window, 2);
            setPortOpen(*window, true);
        } else {
            QTest::mouseClick(widget<QPushButton>(*window, "btnStop"), Qt::LeftButton);
        }
        QVERIFY(clickStart(*window, directory));
        holdTimers(*window);
        recordTicks(*window, 2);

        if (fault == "full") {
            ItemData record = recordAt(*window, 0);
            record.filePath = QStringLiteral("/dev/full");
            writeRecord(deviceModel(*window), 0, record);
        } else {
            QVERIFY(QDir(directory).removeRecursively());
        }
        if (fault == "file") {
            QFile occupant(directory);
            QVERIFY(occupant.open(QIODevice::WriteOnly));
        }

        recordTicks(*window, 1);
        QCOMPARE(notices().size(), 1);
        Notice *notice = notices().constFirst();
        QCOMPARE(notice->windowTitle(), QStringLiteral("提示"));
        QVERIFY(notice->isVisible());
        QVERIFY(!notice->isModal());
        QCOMPARE(notice->windowModality(), Qt::NonModal);
        QVERIFY(notice->testAttribute(Qt::WA_DeleteOnClose));
        QVERIFY(!QApplication::activeModalWidget());
        for (int device = 0; device < 2; ++device) {
            const QString path = recordAt(*window, device).filePath;
            QCOMPARE(notice->text().contains(path), lostDevices.contains(device));
        }

        // Later ticks go on writing what can be written and report nothing new,
        // not even after the operator closed the notice.
        recordTicks(*window, 2);
        QCOMPARE(notices().size(), 1);
        notice->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        QTRY_VERIFY(notices().isEmpty());
        recordTicks(*window, 2);
        QVERIFY(notices().isEmpty());
        for (int device = 0; device < 2; ++device) {
            if (!lostDevices.contains(device))
                QCOMPARE(dataRows(recordAt(*window, device).filePath).size(), 6);
        }
    }
}

QTEST_MAIN(TestRecordWriter)
#include "tst_recordwriter.moc"
