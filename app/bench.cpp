#include "bench.h"
#include "ui_mainwindow.h"

#include "alarmmonitor.h"
#include "alarmnotice.h"
#include "busscandialog.h"
#include "calibrationactions.h"
#include "calibrationoutput.h"
#include "calibrationpass.h"
#include "calibrationsettingsactions.h"
#include "devicelistactions.h"
#include "formchoices.h"
#include "lineaddress.h"
#include "limitsactions.h"
#include "linenotice.h"
#include "maplibrary.h"
#include "mapsettings.h"
#include "modbusline.h"
#include "payloads.h"
#include "pollcycle.h"
#include "polling.h"
#include "publishdialog.h"
#include "publisher.h"
#include "publishnotice.h"
#include "recordingsession.h"
#include "recordingwatch.h"
#include "recordnotices.h"
#include "registermapactions.h"
#include "reportactions.h"
#include "rowwriter.h"
#include "runsummarywindow.h"
#include "runreporting.h"
#include "runverdict.h"
#include "trendwindows.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QMainWindow>
#include <QStandardItemModel>

namespace {

void wireRecordNotices(QWidget *window, RecordingSession *recording)
{
    auto *notice = new RecordWriteNotice(window, recording->writer());
    QObject::connect(recording, &RecordingSession::newRecording, notice, &RecordWriteNotice::newRecording);
    QObject::connect(recording, &RecordingSession::rowsLost, notice, &RecordWriteNotice::rowsLost);
    QObject::connect(recording, &RecordingSession::rowsWritten, notice, &RecordWriteNotice::rowsWritten);
    QObject::connect(recording, &RecordingSession::rowRefused, notice, &RecordWriteNotice::rowRefused);
    QObject::connect(recording, &RecordingSession::rowAccepted, notice, &RecordWriteNotice::rowAccepted);
    QObject::connect(recording, &RecordingSession::cutBack, notice, &RecordWriteNotice::cutBack);
    QObject::connect(recording, &RecordingSession::filesNotCreated, window,
                     [window](const QStringList &paths) { reportUncreatedFiles(window, paths); });
}

void wirePublishNotice(QWidget *window, Publisher *publisher)
{
    auto *notice = new PublishNotice(window);
    QObject::connect(publisher, &Publisher::connectionTold, notice, &PublishNotice::setConnection);
    QObject::connect(publisher, &Publisher::droppedTold, notice, &PublishNotice::setDropped);
    QObject::connect(publisher, &Publisher::told, notice, &PublishNotice::tell);
    QObject::connect(publisher, &Publisher::noticeCleared, notice, &PublishNotice::clear);
}

void wireLineNotice(LineNotice *notice, ModbusLine *line)
{
    QObject::connect(line, &ModbusLine::openFailed, notice,
                     [notice](const QString &reason) { notice->openFailed(QDateTime::currentDateTime(), reason); });
    QObject::connect(line, &ModbusLine::lineLost, notice,
                     [notice, line] { notice->lineLost(QDateTime::currentDateTime(), line->transport()); });
    QObject::connect(line, &ModbusLine::lineRestored, notice,
                     [notice, line] { notice->lineRestored(QDateTime::currentDateTime(), line->transport()); });
}

// The line as the report names it, from the form's choices at Start.
QString lineText(const Ui::MainWindow *ui)
{
    const QString port = ui->cboxPortName->currentText();
    if (parseLineAddress(port).kind == LineAddress::Kind::Tcp)
        return QStringLiteral("Modbus TCP %1").arg(port);
    return QStringLiteral("%1，%2，%3%4%5")
        .arg(port, ui->cboxBaudRate->currentText(), ui->cboxDataBit->currentText(), ui->cboxParity->currentText(),
             ui->cboxStopBit->currentText());
}

// The bench's name on printed documents: the station it publishes as.
std::function<QString()> stationOf(const Publisher *publisher)
{
    return [publisher] {
        const QString station = publisher->settings().station;
        return station.isEmpty() ? defaultStationName() : station;
    };
}

// The report of every run, by itself at its end and on demand.
RunReporting *buildReports(QWidget *window, const Ui::MainWindow *ui, const Bench &bench,
                           QStandardItemModel *devices, QMenu *menu, RunVerdict *verdict, RecordingWatch *watch)
{
    auto *reporting = new RunReporting(devices, verdict, bench.recording, stationOf(bench.publisher),
                                       [ui] { return lineText(ui); }, window);
    // After the verdict: the run's outcome is final when the report takes it.
    QObject::connect(watch, &RecordingWatch::started, reporting, &RunReporting::runStarted);
    QObject::connect(watch, &RecordingWatch::ended, reporting, &RunReporting::runEnded);
    new ReportActions(window, menu, reporting);
    return reporting;
}

// A calibration pass against a reference, its file of points in the run's
// folder and a certificate per device, drawn by the reports' maker.
void buildCalibration(QWidget *window, const Ui::MainWindow *ui, const Bench &bench, QStandardItemModel *devices,
                      QMenu *menu, RunVerdict *verdict, RecordingWatch *watch, RunReporting *reporting)
{
    auto *pass = new CalibrationPass(devices, window);
    pass->setObjectName(QStringLiteral("calibrationPass"));
    QObject::connect(bench.cycle, &PollCycle::readingTaken, pass, &CalibrationPass::take);
    auto *output = new CalibrationOutput(verdict, reporting->maker(), window);
    QObject::connect(watch, &RecordingWatch::started, output, &CalibrationOutput::runStarted);
    QObject::connect(watch, &RecordingWatch::ended, output, &CalibrationOutput::runEnded);
    new CalibrationActions(window, menu, devices, pass, output, bench.polling, stationOf(bench.publisher),
                           [ui] { return lineText(ui); });
}

// Readings held against limits: the monitor, its notice and the retained
// alarm message, the verdict of each run and the menu entries.
void buildAlarms(QWidget *window, const Ui::MainWindow *ui, const Bench &bench, QStandardItemModel *devices,
                 QMenu *menu, QListView *view)
{
    auto *monitor = new AlarmMonitor(devices, bench.cycle, window);
    monitor->setObjectName(QStringLiteral("alarmMonitor"));
    auto *notice = new AlarmNotice(window);
    QObject::connect(monitor, &AlarmMonitor::alarmEvent, notice, &AlarmNotice::tell);
    Publisher *const publisher = bench.publisher;
    QObject::connect(monitor, &AlarmMonitor::alarmChanged, publisher,
                     [publisher](int address, const QStringList &active, const QDateTime &time, double value,
                                 double limit) {
                         publisher->setDeviceRetained(address, QByteArrayLiteral("alarm"), [=] {
                             return Payloads::alarm(active, time, value, limit);
                         });
                     });

    // Time the line was lost counts against the whole run.
    auto *verdict = new RunVerdict(devices, monitor, bench.line, window);
    QObject::connect(verdict, &RunVerdict::summaryShown, window,
                     [window](const RunOutcome &outcome) { presentRunSummary(window, outcome); });
    QObject::connect(verdict, &RunVerdict::filesNotCreated, window,
                     [window](const QStringList &paths) { reportUncreatedAlarmFiles(window, paths); });
    auto *watch = new RecordingWatch(window, bench.polling, bench.recording);
    // Before the run's first poll: the alarms shown so far are not the run's.
    QObject::connect(watch, &RecordingWatch::started, monitor, &AlarmMonitor::beginRun);
    QObject::connect(watch, &RecordingWatch::started, verdict, &RunVerdict::begin);
    QObject::connect(watch, &RecordingWatch::ended, verdict, &RunVerdict::end);

    new LimitsActions(menu, view, devices, verdict);
    new CalibrationSettingsActions(menu, view, devices);
    RunReporting *reporting = buildReports(window, ui, bench, devices, menu, verdict, watch);
    buildCalibration(window, ui, bench, devices, menu, verdict, watch, reporting);
}

} // namespace

Bench buildBench(QMainWindow *window, Ui::MainWindow *ui, QStandardItemModel *devices, QTimer *pollTimer)
{
    Bench bench;
    bench.maps = new MapLibrary(window);
    bench.maps->setObjectName(QStringLiteral("mapLibrary"));
    keepMapsInSettings(bench.maps);
    bench.line = new ModbusLine(window);
    bench.line->setObjectName(QStringLiteral("modbusLine"));
    ModbusLine *const line = bench.line;
    bench.recording = new RecordingSession(devices, [line] { return !line->isOpen(); }, window);
    bench.recording->setObjectName(QStringLiteral("recordingSession"));
    wireRecordNotices(window, bench.recording);

    // The caption says what the operator asked for: an open still in progress
    // is not open yet, and a lost line being opened again by its owner is.
    QObject::connect(line, &ModbusLine::stateChanged, ui->btnOpen, [ui, line] {
        ui->btnOpen->setText(line->isOpen() ? QCoreApplication::translate("MainWindow", "关闭串口")
                                           : QCoreApplication::translate("MainWindow", "打开串口"));
    });
    bench.cycle = new PollCycle(devices, line, window);
    bench.cycle->setObjectName(QStringLiteral("pollCycle"));
    bench.polling = new Polling(bench.cycle, line, pollTimer, window);
    bench.polling->setObjectName(QStringLiteral("polling"));
    Polling *const polling = bench.polling;
    QObject::connect(polling, &Polling::stateChanged, ui->btnStop, [ui, polling] {
        // Closing the port halts polling but leaves Start disabled until Stop.
        ui->btnStop->setEnabled(polling->isStarted());
        ui->btnStart->setEnabled(!polling->isStarted());
    });

    // A double-click opens the device's trend; the form sets no edit triggers.
    new TrendWindows(devices, bench.cycle, ui->listView, window);
    bench.formChoices = new FormChoices(ui);
    auto *listActions = new DeviceListActions(window, ui->listView, devices, bench.formChoices, line, bench.maps);
    new BusScanDialog(window, devices, listActions, bench.formChoices, line, bench.cycle, polling, bench.maps);
    new RegisterMapActions(listActions->contextMenu(), bench.maps, devices, ui->listView, line, bench.recording,
                           window);

    bench.publisher = new Publisher(devices, line, window);
    wirePublishNotice(window, bench.publisher);
    QObject::connect(bench.cycle, &PollCycle::readingTaken, bench.publisher, &Publisher::take);
    addPublishAction(listActions->contextMenu(), bench.publisher, window);
    listActions->setPublisher(bench.publisher);
    listActions->setRecording(bench.recording);

    buildAlarms(window, ui, bench, devices, listActions->contextMenu(), ui->listView);

    bench.lineNotice = new LineNotice(window);
    wireLineNotice(bench.lineNotice, line);
    return bench;
}
