#include "alarms/limitsharness.h"
#include "calibrationactions.h"
#include "calibrationfiles.h"
#include "calibrationwindow.h"
#include "common/pdftext.h"
#include "simulatorprocess.h"

#include <QDateEdit>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QTableWidget>
#include <QTemporaryDir>

#include <cmath>
#include <memory>

// A calibration pass as the operator makes it, over velmora-sim: a reference
// and transmitters on a staircase of pressures that the simulator steps
// through by its own clock, every transmitter 0–1000 KPa of class 0.25
// (permitted error 2.5 KPa), the reference good to ±0.05 KPa.
//
// Worked by hand, with the steps held still (no scatter):
//   address 2 reads 500 Pa high:  error +0.5 KPa,  +0.050 %FS, 合格
//   address 3 reads 2000 Pa high: error +2.0 KPa,  +0.200 %FS, 合格
//   address 4 reads 6000 Pa low:  error −6.0 KPa,  −0.600 %FS, 不合格
//   address 5, 2000 Pa of hysteresis: +2.0 KPa on the way up, −2.0 on the way
//     down, 0 at the first point (nothing before it): hysteresis 0.400 %FS, 合格
//   address 7 is served by nobody: no value at any point, 不合格
//   expanded uncertainty, k = 2, both means steady: 2 × 0.05 / √3 = 0.05774 KPa
//   test uncertainty ratio 2.5 / 0.05 = 50.00
namespace {

constexpr int DwellSeconds = 4;
constexpr int AveragingSeconds = 2;
// Into a step, when 记录此点 is clicked: the averaging time before it lies
// inside the step with a second to spare at its start.
constexpr int ClickIntoStepMs = 3000;

struct Transmitter
{
    int address;
    QString extra;
    double offsetKPa;
    double hysteresisKPa;
};

const QVector<Transmitter> Transmitters{
    {2, QStringLiteral(",offset=500"), 0.5, 0.0},
    {3, QStringLiteral(",offset=2000"), 2.0, 0.0},
    {4, QStringLiteral(",offset=-6000"), -6.0, 0.0},
    {5, QStringLiteral(",hysteresis=2000"), 0.0, 2.0},
};
constexpr int SilentAddress = 7;

QString kpa(double value)
{
    return QString::number(value, 'f', 5);
}

QStringList certificatesIn(const QString &folder)
{
    QStringList found;
    QDirIterator files(folder, {QStringLiteral("校准证书__*.pdf")}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext())
        found << files.next();
    found.sort();
    return found;
}

QString calibrationFileIn(const QString &folder)
{
    QDirIterator files(folder, {QStringLiteral("校准__*.csv")}, QDir::Files, QDirIterator::Subdirectories);
    return files.hasNext() ? files.next() : QString();
}

void typeInto(QWidget *parent, const char *name, const QString &text)
{
    auto *edit = parent->findChild<QLineEdit *>(QLatin1String(name));
    QVERIFY2(edit, name);
    edit->clear();
    // QTest types ASCII only; other text arrives as an input method commits it.
    bool ascii = true;
    for (const QChar c : text)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii)
        QTest::keyClicks(edit, text);
    else
        edit->insert(text);
}

} // namespace

class TestCalibrationWindow : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void passOverTheBench_data();
    void passOverTheBench();

private:
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<SimulatorProcess> sim;
};

void TestCalibrationWindow::cleanup()
{
    window.reset();
    sim.reset();
    folder.reset();
}

void TestCalibrationWindow::passOverTheBench_data()
{
    QTest::addColumn<bool>("typed");
    // The percentages of span listed, and the step of the staircase (in % of
    // span) each point is taken on; the first steps leave time to set up.
    QTest::addColumn<QString>("nominal");
    QTest::addColumn<QVector<int>>("steps");
    QTest::addColumn<int>("firstPointStep");

    QTest::newRow("reference device, five pressures up and down")
        << false << QStringLiteral("0, 25, 50, 75, 100")
        << QVector<int>{0, 0, 0, 0, 25, 50, 75, 100, 75, 50, 25, 0} << 3;
    QTest::newRow("typed reference in MPa, three pressures up and down")
        << true << QStringLiteral("0, 50, 100") << QVector<int>{0, 0, 0, 0, 50, 100, 50, 0} << 3;
}

void TestCalibrationWindow::passOverTheBench()
{
    QFETCH(bool, typed);
    QFETCH(QString, nominal);
    QFETCH(QVector<int>, steps);
    QFETCH(int, firstPointStep);

    QStringList pascals;
    for (const int percent : steps)
        pascals << QString::number(percent * 10000);
    const QString staircase = QStringLiteral(",pressure=steps:%1:%2").arg(pascals.join(QLatin1Char('/'))).arg(DwellSeconds);
    QStringList slaves{QStringLiteral("1") + staircase};
    for (const Transmitter &transmitter : Transmitters)
        slaves << QString::number(transmitter.address) + staircase + transmitter.extra;
    folder = std::make_unique<QTemporaryDir>();
    sim = std::make_unique<SimulatorProcess>(SimulatorProcess::slaveArguments(slaves));
    QVERIFY(sim->start());
    QElapsedTimer simClock;
    simClock.start();

    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QVERIFY(openPort(*window, sim->devicePath()));
    // Rows 0–5: the reference (listed only when it is read), 2, 3, 4, 5, 7.
    const QVector<int> judged{2, 3, 4, 5, SilentAddress};
    if (!typed)
        addDevice(*window, 1, QStringLiteral("KPa"), 3, 1);
    for (const int address : judged)
        addDevice(*window, address, QStringLiteral("KPa"), 3, 1);
    const int firstJudged = typed ? 0 : 1;

    // Range and class for the five at once; a serial number each.
    QItemSelectionModel *selection = listView(*window)->selectionModel();
    selection->clearSelection();
    for (int row = firstJudged; row < deviceModel(*window)->rowCount(); ++row)
        selection->select(proxyModel(*window)->mapFromSource(deviceModel(*window)->index(row, 0)),
                          QItemSelectionModel::Select);
    QVERIFY(chooseFromTileMenu(*window, firstJudged, "calibrationSettingsAction"));
    auto *settings = window->findChild<QDialog *>(QStringLiteral("calibrationSettingsDialog"));
    QVERIFY(settings && settings->isVisible());
    typeInto(settings, "rangeLow", QStringLiteral("0"));
    typeInto(settings, "rangeHigh", QStringLiteral("1000"));
    settings->findChild<QComboBox *>(QStringLiteral("accuracyClass"))->setCurrentText(QStringLiteral("0.25"));
    QTest::mouseClick(settings->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    QTRY_VERIFY(!settings->isVisible());
    if (!typed)
        QVERIFY(chooseFromTileMenu(*window, 0, "referenceAction"));

    QVERIFY(clickStart(*window, folder->path()));
    QVERIFY(QTest::qWaitFor([&] { return recordAt(*window, firstJudged).totalCount > 0; }, 10000));

    // Back on the main window, as the operator's click on it does after the dialogs.
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(listView(*window), Qt::Key_K, Qt::ControlModifier);
    auto *calibration = window->findChild<CalibrationWindow *>(QStringLiteral("calibrationWindow"));
    QVERIFY(calibration);
    QTRY_VERIFY(calibration->isVisible());
    typeInto(calibration, "nominalPoints", nominal);
    calibration->findChild<QSpinBox *>(QStringLiteral("averagingSeconds"))->setValue(AveragingSeconds);
    typeInto(calibration, "operatorName", QStringLiteral("王工"));
    typeInto(calibration, "ambientTemperature", QStringLiteral("21.5"));
    typeInto(calibration, "ambientHumidity", QStringLiteral("45"));
    typeInto(calibration, "referenceName", QStringLiteral("数字压力计"));
    typeInto(calibration, "referenceSerial", QStringLiteral("RP-0042"));
    typeInto(calibration, "referenceCertificate", QStringLiteral("JZ-2026-0815"));
    calibration->findChild<QDateEdit *>(QStringLiteral("referenceValidUntil"))->setDate(QDate(2030, 6, 30));
    typeInto(calibration, "referenceAccuracy", QStringLiteral("0.05"));
    calibration->findChild<QComboBox *>(QStringLiteral("referenceAccuracyUnit"))->setCurrentText(QStringLiteral("KPa"));
    if (typed)
        calibration->findChild<QComboBox *>(QStringLiteral("typedReferenceUnit"))->setCurrentText(QStringLiteral("MPa"));

    auto *take = calibration->findChild<QPushButton *>(QStringLiteral("btnTakePoint"));
    auto *undo = calibration->findChild<QPushButton *>(QStringLiteral("btnUndoPoint"));
    auto *table = calibration->findChild<QTableWidget *>(QStringLiteral("pointTable"));
    const int points = steps.size() - firstPointStep;
    for (int step = firstPointStep; step < steps.size(); ++step) {
        const qint64 clickAt = qint64(step) * DwellSeconds * 1000 + ClickIntoStepMs;
        QVERIFY2(simClock.elapsed() < clickAt - AveragingSeconds * 1000, "the set-up took longer than the first steps");
        QTest::qWait(int(clickAt - simClock.elapsed()));
        if (typed)
            typeInto(calibration, "typedReference", QString::number(steps.at(step) / 100.0));
        QTest::mouseClick(take, Qt::LeftButton);
        // A point taken back and taken again on the same step, once.
        if (step == firstPointStep + 1) {
            QCOMPARE(table->rowCount(), 2 * judged.size());
            QTest::mouseClick(undo, Qt::LeftButton);
            QCOMPARE(table->rowCount(), judged.size());
            if (typed)
                typeInto(calibration, "typedReference", QString::number(steps.at(step) / 100.0));
            QTest::mouseClick(take, Qt::LeftButton);
        }
    }
    QCOMPARE(table->rowCount(), points * judged.size());
    QTest::mouseClick(calibration->findChild<QPushButton *>(QStringLiteral("btnFinishCalibration")), Qt::LeftButton);

    QStringList certificates;
    QVERIFY(QTest::qWaitFor(
        [&] {
            certificates = certificatesIn(folder->path());
            return certificates.size() == judged.size();
        },
        30000));

    // The file of points: the point taken back is there three times, as
    // taken, as taken back and as taken again; every row as worked out above.
    const QString csv = calibrationFileIn(folder->path());
    QVERIFY(csv.contains(QStringLiteral("报警与汇总__")));
    const QList<QStringList> rows = csvRows(csv, calibrationHeader());
    QCOMPARE(rows.size(), (points + 2) * judged.size());
    int checked = 0;
    int retracted = 0;
    for (const QStringList &row : rows) {
        QCOMPARE(row.size(), 17);
        if (row.at(16) == QStringLiteral("撤销")) {
            QCOMPARE(row.at(3), QStringLiteral("2"));
            ++retracted;
            continue;
        }
        const int address = row.at(1).toInt();
        const int point = row.at(3).toInt();
        const int step = firstPointStep + point - 1;
        const double referenceKPa = steps.at(step) * 10.0;
        const bool rising = point == 1 || steps.at(step) > steps.at(step - 1);
        QCOMPARE(row.at(4), kpa(referenceKPa));
        QCOMPARE(row.at(5), rising ? QStringLiteral("上行") : QStringLiteral("下行"));
        QCOMPARE(row.at(6), kpa(referenceKPa));
        QCOMPARE(row.at(8), QStringLiteral("KPa"));
        QCOMPARE(row.at(11), kpa(2.5));
        if (address == SilentAddress) {
            QCOMPARE((QStringList{row.at(7), row.at(9), row.at(10), row.at(12), row.at(13)}), (QStringList{QString(), QString(), QString(), QString(), QString()}));
            QCOMPARE(row.at(16), QStringLiteral("不合格"));
            ++checked;
            continue;
        }
        const Transmitter &transmitter = *std::find_if(Transmitters.cbegin(), Transmitters.cend(),
                                                       [address](const Transmitter &t) { return t.address == address; });
        const double hysteresis = point == 1 ? 0.0 : rising ? transmitter.hysteresisKPa : -transmitter.hysteresisKPa;
        const double error = transmitter.offsetKPa + hysteresis;
        QCOMPARE(row.at(7), kpa(referenceKPa + error));
        QCOMPARE(row.at(9), kpa(error));
        QCOMPARE(row.at(10), QString::number(error / 10.0, 'f', 3));
        QCOMPARE(row.at(12), kpa(2 * 0.05 / std::sqrt(3.0)));
        QCOMPARE(row.at(13), kpa(0));
        QVERIFY(row.at(14).toInt() >= 1);
        QCOMPARE(row.at(15), QStringLiteral("是"));
        QCOMPARE(row.at(16), std::fabs(error) <= 2.5 ? QStringLiteral("合格") : QStringLiteral("不合格"));
        ++checked;
    }
    // Point 2 as first taken, then again after it was taken back.
    QCOMPARE(checked, (points + 1) * judged.size());
    QCOMPARE(retracted, judged.size());

    // The certificates, read back: one per transmitter, the reference none.
    for (int i = 0; i < judged.size(); ++i) {
        const int address = judged.at(i);
        const QString path = certificates.at(i);
        QVERIFY2(QFileInfo(path).fileName().startsWith(QStringLiteral("校准证书__%1__").arg(address)),
                 qPrintable(path));
        const QString text = pdfPages(path).join(QLatin1Char('\n'));
        QVERIFY(text.contains(extracted(QStringLiteral("王工"))));
        QVERIFY(text.contains(QStringLiteral("JZ-2026-0815")));
        QVERIFY(text.contains(QStringLiteral("50.00")));
        const bool passes = address == 2 || address == 3 || address == 5;
        QVERIFY2(text.contains(extracted(passes ? QStringLiteral("结论：合格") : QStringLiteral("结论：不合格"))),
                 qPrintable(QStringLiteral("%1\n%2").arg(address).arg(text)));
        if (address == 5)
            QVERIFY(text.contains(QStringLiteral("0.400")));
    }
}

QTEST_MAIN(TestCalibrationWindow)
#include "tst_calibrationwindow.moc"
