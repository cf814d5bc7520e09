#include "recordingharness.h"
#include "notice.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTemporaryDir>

class TestRecordingControl : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void refusesStartUntilReady_data();
    void refusesStartUntilReady();
    void asksForDirectory();
    void switchesStates_data();
    void switchesStates();
    void createsOneFilePerDevice_data();
    void createsOneFilePerDevice();
    void reportsFilesThatCannotBeCreated_data();
    void reportsFilesThatCannotBeCreated();
    void neverReusesExistingFile_data();
    void neverReusesExistingFile();

private:
    void addDevices(const QList<int> &addresses);
    void checkState(bool polling, bool recording);

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QTemporaryDir> tempDir;
};

void TestRecordingControl::init()
{
    tempDir = std::make_unique<QTemporaryDir>();
    QVERIFY(tempDir->isValid());
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestRecordingControl::cleanup()
{
    window.reset();
    tempDir.reset();
}

void TestRecordingControl::addDevices(const QList<int> &addresses)
{
    for (const int address : addresses)
        addDevice(*window, address);
    QCOMPARE(deviceModel(*window)->rowCount(), addresses.size());
}

void TestRecordingControl::checkState(bool polling, bool recording)
{
    QCOMPARE(pollTimer(*window)->isActive(), polling);
    QCOMPARE(recordTimer(*window)->isActive(), recording);
    QCOMPARE(widget<QPushButton>(*window, "btnStart")->isEnabled(), !polling);
    QCOMPARE(widget<QPushButton>(*window, "btnStop")->isEnabled(), polling);
}

void TestRecordingControl::refusesStartUntilReady_data()
{
    QTest::addColumn<bool>("portOpen");
    QTest::addColumn<int>("devices");
    QTest::addColumn<QString>("message");

    QTest::newRow("port closed, list empty") << false << 0 << "串口未打开";
    QTest::newRow("port closed, two devices") << false << 2 << "串口未打开";
    QTest::newRow("port open, list empty") << true << 0 << "采集列表无设备，请添加设备";
}

void TestRecordingControl::refusesStartUntilReady()
{
    QFETCH(bool, portOpen);
    QFETCH(int, devices);
    QFETCH(QString, message);

    for (int address = 1; address <= devices; ++address)
        addDevice(*window, address);
    setPortOpen(*window, portOpen);

    ModalAnswer<QFileDialog> dialog([](QFileDialog *shown) { shown->reject(); }, 1000);
    {
        MessageBoxLog boxes;
        QTest::mouseClick(widget<QPushButton>(*window, "btnStart"), Qt::LeftButton);
        QCOMPARE(boxes.entries().size(), 1);
        QCOMPARE(boxes.entries().constFirst().title, QStringLiteral("提示"));
        QCOMPARE(boxes.entries().constFirst().text, message);
        QCOMPARE(boxes.entries().constFirst().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
    QVERIFY(!dialog.answered());
    checkState(false, false);
    for (int row = 0; row < devices; ++row)
        QVERIFY(recordAt(*window, row).filePath.isEmpty());
}

void TestRecordingControl::asksForDirectory()
{
    addDevice(*window, 1);
    setPortOpen(*window, true);

    QString caption;
    QString directory;
    bool dirsOnly = false;
    QVERIFY(clickStart(*window, [&](QFileDialog *dialog) {
        caption = dialog->windowTitle();
        directory = dialog->directory().absolutePath();
        dirsOnly = dialog->testOption(QFileDialog::ShowDirsOnly);
        dialog->reject();
    }));
    QCOMPARE(caption, QStringLiteral("选择存储的路径"));
    QCOMPARE(directory, QStringLiteral("/"));
    QVERIFY(dirsOnly);
}

void TestRecordingControl::switchesStates_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<bool>("stop");
    QTest::addColumn<bool>("polling");
    QTest::addColumn<bool>("recording");

    QTest::newRow("idle") << "none" << false << false << false;
    QTest::newRow("monitoring") << "cancel" << false << true << false;
    QTest::newRow("recording") << "choose" << false << true << true;
    QTest::newRow("monitoring stopped") << "cancel" << true << false << false;
    QTest::newRow("recording stopped") << "choose" << true << false << false;
}

void TestRecordingControl::switchesStates()
{
    QFETCH(QString, start);
    QFETCH(bool, stop);
    QFETCH(bool, polling);
    QFETCH(bool, recording);

    addDevice(*window, 7);
    setPortOpen(*window, true);
    if (start == "cancel")
        QVERIFY(clickStart(*window, [](QFileDialog *dialog) { dialog->reject(); }));
    else if (start == "choose")
        QVERIFY(clickStart(*window, tempDir->path()));
    if (stop)
        QTest::mouseClick(widget<QPushButton>(*window, "btnStop"), Qt::LeftButton);

    checkState(polling, recording);
    QCOMPARE(pollTimer(*window)->interval(), 200);
    QVERIFY(pollTimer(*window)->isSingleShot());
    QCOMPARE(recordTimer(*window)->interval(), 1000);
    QVERIFY(!recordTimer(*window)->isSingleShot());
    QCOMPARE(recordAt(*window, 0).filePath.isEmpty(), start != "choose");
    QVERIFY(waitForRecordWrites(*window));
    QCOMPARE(filesIn(tempDir->path()).size(), start == "choose" ? 1 : 0);
}

void TestRecordingControl::createsOneFilePerDevice_data()
{
    QTest::addColumn<QList<int>>("addresses");
    QTest::addColumn<QString>("filter");

    QTest::newRow("addresses 1, 2, 200") << QList<int>{1, 2, 200} << "allBtn";
    QTest::newRow("every tile filtered out") << QList<int>{200, 1, 2} << "greenBtn";
}

void TestRecordingControl::createsOneFilePerDevice()
{
    QFETCH(QList<int>, addresses);
    QFETCH(QString, filter);

    addDevices(addresses);
    for (int row = 0; row < addresses.size(); ++row) {
        ItemData record = recordAt(*window, row);
        record.recordIndex = 9;
        writeRecord(deviceModel(*window), row, record);
    }
    QTest::mouseClick(widget<QPushButton>(*window, filter.toLatin1().constData()), Qt::LeftButton);
    QCOMPARE(proxyModel(*window)->rowCount(), filter == "allBtn" ? addresses.size() : 0);
    setPortOpen(*window, true);

    QLoggingCategory::setFilterRules(QStringLiteral("velmora.diagnostics.debug=true"));
    QTest::ignoreMessage(QtDebugMsg, qPrintable("saved_file_path=" + tempDir->path()));
    const QDateTime before = QDateTime::currentDateTime().addMSecs(-1000);
    MessageBoxLog boxes;
    QVERIFY(clickStart(*window, tempDir->path()));
    const QDateTime after = QDateTime::currentDateTime();
    QVERIFY(waitForRecordWrites(*window));
    QVERIFY(boxes.entries().isEmpty());

    QCOMPARE(filesIn(tempDir->path()).size(), addresses.size());
    for (int row = 0; row < addresses.size(); ++row) {
        const ItemData record = recordAt(*window, row);
        QCOMPARE(record.recordIndex, 0u);
        const QRegularExpression name(QStringLiteral("^%1/设备地址%2__(\\d{4}_\\d\\d_\\d\\d_\\d\\d_\\d\\d_\\d\\d)\\.csv$")
                                          .arg(QRegularExpression::escape(tempDir->path()))
                                          .arg(addresses.at(row)));
        const QRegularExpressionMatch match = name.match(record.filePath);
        QVERIFY2(match.hasMatch(), qPrintable(record.filePath));
        const QDateTime named = QDateTime::fromString(match.captured(1), QStringLiteral("yyyy_MM_dd_hh_mm_ss"));
        QVERIFY(named >= before && named <= after);
        QCOMPARE(fileBytes(record.filePath), QByteArray("序号,时间,压力,单位,温度(℃),\n"));
    }
}

void TestRecordingControl::reportsFilesThatCannotBeCreated_data()
{
    QTest::addColumn<QList<int>>("addresses");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QList<int>>("uncreated");

    QTest::newRow("directory removed after the choice") << QList<int>{3, 4} << "removed" << QList<int>{3, 4};
    QTest::newRow("directory replaced by a regular file") << QList<int>{3, 4} << "file" << QList<int>{3, 4};
    QTest::newRow("path too long for one name") << QList<int>{1, 200} << "long" << QList<int>{200};
}

void TestRecordingControl::reportsFilesThatCannotBeCreated()
{
    QFETCH(QList<int>, addresses);
    QFETCH(QString, fault);
    QFETCH(QList<int>, uncreated);

    QString directory = tempDir->filePath(QStringLiteral("records"));
    if (fault == "long") {
        // Deep enough that "/设备地址1__<stamp>.csv" (39 bytes) still fits in
        // the 4095 bytes of a path and "/设备地址200__<stamp>.csv" does not.
        while (directory.toUtf8().size() < 4055 - 202)
            directory += QLatin1Char('/') + QString(200, QLatin1Char('d'));
        directory += QLatin1Char('/') + QString(4055 - directory.toUtf8().size() - 1, QLatin1Char('e'));
        QCOMPARE(directory.toUtf8().size(), 4055);
    }
    QVERIFY(QDir().mkpath(directory));
    addDevices(addresses);
    setPortOpen(*window, true);

    MessageBoxLog modalBoxes;
    QVERIFY(clickStart(*window, [&](QFileDialog *dialog) {
        chooseDirectory(dialog, directory);
        if (fault == "removed" || fault == "file")
            QVERIFY(QDir(directory).removeRecursively());
        if (fault == "file") {
            QFile occupant(directory);
            QVERIFY(occupant.open(QIODevice::WriteOnly));
        }
    }));

    // Told beside the window once the writer has tried every file, while
    // recording goes on.
    checkState(true, true);
    QVERIFY(waitForRecordWrites(*window));
    QVERIFY(modalBoxes.entries().isEmpty());
    QVERIFY(recordTimer(*window)->isActive());
    const QList<Notice *> notices = window->findChildren<Notice *>(QStringLiteral("uncreatedFilesNotice"));
    QCOMPARE(notices.size(), 1);
    const Notice *notice = notices.constFirst();
    QCOMPARE(notice->windowTitle(), QStringLiteral("提示"));
    QVERIFY(notice->isVisible() && !notice->isModal());
    for (int row = 0; row < addresses.size(); ++row) {
        const int address = addresses.at(row);
        const QString namePrefix = directory + QStringLiteral("/设备地址%1__").arg(address);
        const ItemData record = recordAt(*window, row);
        if (uncreated.contains(address)) {
            QVERIFY2(notice->text().contains(namePrefix), qPrintable(notice->text()));
            QVERIFY(record.filePath.isEmpty());
        } else {
            QVERIFY(!notice->text().contains(namePrefix));
            QVERIFY(record.filePath.startsWith(namePrefix));
            QCOMPARE(fileBytes(record.filePath), recordHeader().toUtf8());
        }
    }

    // Recording goes on for the devices that have a file, without further notice.
    holdTimers(*window);
    recordTicks(*window, 2);
    for (int row = 0; row < addresses.size(); ++row) {
        const ItemData record = recordAt(*window, row);
        if (!record.filePath.isEmpty())
            QCOMPARE(dataRows(record.filePath).size(), 1);
    }
    QVERIFY(!window->findChild<Notice *>(QStringLiteral("recordWriteNotice")));
}

void TestRecordingControl::neverReusesExistingFile_data()
{
    QTest::addColumn<int>("takenCopies");

    QTest::newRow("name taken") << 1;
    QTest::newRow("name and its second copy taken") << 2;
}

void TestRecordingControl::neverReusesExistingFile()
{
    QFETCH(int, takenCopies);

    // Files a Start within the next seconds would be named like.
    QMap<QString, QByteArray> taken;
    const QDateTime now = QDateTime::currentDateTime();
    for (int second = -1; second < 10; ++second) {
        for (int copy = 1; copy <= takenCopies; ++copy) {
            const QString path = tempDir->path() + recordFileName(5, now.addSecs(second), copy);
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            const QByteArray content = "earlier recording\n1,2026-12-07 10:00:02,1.0,KPa,20.0,\n";
            QVERIFY(file.write(content) == content.size());
            taken.insert(path, content);
        }
    }
    addDevice(*window, 5);
    setPortOpen(*window, true);

    MessageBoxLog boxes;
    QVERIFY(clickStart(*window, tempDir->path()));
    QVERIFY(waitForRecordWrites(*window));
    QVERIFY(boxes.entries().isEmpty());

    const QString path = recordAt(*window, 0).filePath;
    const QRegularExpression name(QStringLiteral("/设备地址5__\\d{4}_\\d\\d_\\d\\d_\\d\\d_\\d\\d_\\d\\d_%1\\.csv$")
                                      .arg(takenCopies + 1));
    QVERIFY2(name.match(path).hasMatch(), qPrintable(path));
    QVERIFY(!taken.contains(path));
    QCOMPARE(fileBytes(path), recordHeader().toUtf8());
    for (auto it = taken.cbegin(); it != taken.cend(); ++it)
        QCOMPARE(fileBytes(it.key()), it.value());
    QCOMPARE(filesIn(tempDir->path()).size(), taken.size() + 1);
}

QTEST_MAIN(TestRecordingControl)
#include "tst_recordingcontrol.moc"
