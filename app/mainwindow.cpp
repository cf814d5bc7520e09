#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "acquisition/lineaddress.h"
#include "acquisition/linenotice.h"
#include "acquisition/modbusline.h"
#include "acquisition/pollcycle.h"
#include "acquisition/polling.h"
#include "app/formchoices.h"
#include "app/portprobe.h"
#include "devices/busscandialog.h"
#include "devices/devicelistactions.h"
#include "devices/itemdata.h"
#include "limits/alarms.h"
#include "publishing/publishdialog.h"
#include "publishing/publisher.h"
#include "recording/recordingsession.h"
#include "tiles/itemdelegate.h"
#include "trends/trendwindows.h"

#include <QButtonGroup>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTimer>

namespace {

// Closing the window: the rows waiting for the disk get 2 s; the line's
// thread 1 s more; the broker's goodbyes run meanwhile, until the last.
constexpr int RowsWaitMs = 2000;
constexpr int ClosingWaitMs = 3500;

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    setWindowState(Qt::WindowMaximized);

    ui->cboxPortName->addItems(openablePortNames());
    ui->cboxPortName->setCurrentIndex(0);
    // A typed device path reaches ports the probe cannot list: virtual ports,
    // stable /dev/serial/by-id names, a port that was busy at start-up.
    ui->cboxPortName->setEditable(true);
    ui->cboxPortName->setInsertPolicy(QComboBox::NoInsert);
    ui->cboxPortName->setToolTip(lineAddressHelp());

    const QStringList baudRates = {
        "50",    "75",    "100",   "134",    "150",    "200",    "300",   "600",
        "1200",  "1800",  "2400",  "4800",   "9600",   "14400",  "19200", "38400",
        "56000", "57600", "76800", "115200", "128000", "256000",
    };
    const QStringList parities = {"N", "O", "E"};
    const QStringList dataBits = {"5", "6", "7", "8"};
    const QStringList stopBits = {"1", "2"};
    const QStringList pressureUnits = {"KPa", "MPa", "psi", "Bar", "mBar", "Kgf/cm2", "mmH2O", "Pa"};

    ui->cboxBaudRate->addItems(baudRates);
    ui->cboxBaudRate->setCurrentIndex(12);
    ui->cboxParity->addItems(parities);
    ui->cboxParity->setCurrentIndex(0);
    ui->cboxDataBit->addItems(dataBits);
    ui->cboxDataBit->setCurrentIndex(3);
    ui->cboxStopBit->addItems(stopBits);
    ui->cboxStopBit->setCurrentIndex(0);
    ui->cBoxUnit->addItems(pressureUnits);

    // No parent: the model is released by the destructor, once nothing can
    // poll or record any more.
    deviceModel = new QStandardItemModel;

    tileDelegate = new ItemDelegate(this);

    filterGroup = new QButtonGroup(this);
    filterGroup->setExclusive(true);
    filterGroup->addButton(ui->allBtn);
    filterGroup->addButton(ui->redBtn);
    filterGroup->addButton(ui->greenBtn);
    filterGroup->addButton(ui->yellowBtn);
    connect(filterGroup, SIGNAL(buttonClicked(QAbstractButton*)),
            this, SLOT(onButtonClicked(QAbstractButton*)));

    ui->listView->setItemDelegate(tileDelegate);
    ui->listView->setSpacing(15);
    proxyModel = new QSortFilterProxyModel(ui->listView);
    proxyModel->setSourceModel(deviceModel);
    proxyModel->setFilterRole(StatusRole);
    proxyModel->setDynamicSortFilter(true);
    ui->listView->setModel(proxyModel);
    ui->listView->setViewMode(QListView::IconMode);
    // Icon mode switches dragging on; tiles stay where the layout puts them.
    ui->listView->setDragEnabled(false);

    pollTimer = new QTimer(this);
    pollTimer->setSingleShot(true);
    pollTimer->setInterval(200);
    // The gap between cycles is part of every device's polling period.
    pollTimer->setTimerType(Qt::PreciseTimer);
    connect(pollTimer, SIGNAL(timeout()), this, SLOT(MB_POLL()));

    recordTimer = new QTimer(this);
    recordTimer->setSingleShot(false);
    recordTimer->setInterval(1000);
    // Each tick when it is due: rows carry the second they fell due in.
    recordTimer->setTimerType(Qt::PreciseTimer);
    connect(recordTimer, SIGNAL(timeout()), this, SLOT(saved_process()));
    recordingSession = new RecordingSession(deviceModel, this, [this] { return portIsClosed(); });
    recordingSession->setObjectName(QStringLiteral("recordingSession"));

    modbusLine = new ModbusLine(this);
    modbusLine->setObjectName(QStringLiteral("modbusLine"));
    // The caption says what the operator asked for: an open still in progress
    // is not open yet, and a lost line being opened again by its owner is.
    connect(modbusLine, &ModbusLine::stateChanged, this, [this] {
        ui->btnOpen->setText(modbusLine->isOpen() ? tr("关闭串口") : tr("打开串口"));
    });
    pollCycle = new PollCycle(deviceModel, modbusLine, this);
    pollCycle->setObjectName(QStringLiteral("pollCycle"));
    polling = new Polling(pollCycle, modbusLine, pollTimer, this);
    polling->setObjectName(QStringLiteral("polling"));
    connect(polling, &Polling::stateChanged, this, [this] {
        // Closing the port halts polling but leaves Start disabled until Stop.
        ui->btnStop->setEnabled(polling->isStarted());
        ui->btnStart->setEnabled(!polling->isStarted());
    });

    // A double-click opens the device's trend; the form sets no edit triggers.
    new TrendWindows(deviceModel, pollCycle, ui->listView, this);
    formChoices = new FormChoices(ui);
    auto *listActions = new DeviceListActions(this, ui->listView, deviceModel, formChoices, modbusLine);
    new BusScanDialog(this, deviceModel, listActions, formChoices, modbusLine, pollCycle, polling);
    publisher = new Publisher(this, deviceModel, modbusLine);
    connect(pollCycle, &PollCycle::readingTaken, publisher, &Publisher::take);
    addPublishAction(listActions->contextMenu(), publisher, this);
    listActions->setPublisher(publisher);
    installAlarms(this, {deviceModel, pollCycle, listActions->contextMenu(), ui->listView, polling,
                         recordingSession, publisher, modbusLine});
    lineNotice = new LineNotice(this);
    connect(modbusLine, &ModbusLine::openFailed, lineNotice,
            [this](const QString &reason) { lineNotice->openFailed(QDateTime::currentDateTime(), reason); });
    connect(modbusLine, &ModbusLine::lineLost, lineNotice,
            [this] { lineNotice->lineLost(QDateTime::currentDateTime(), modbusLine->transport()); });
    connect(modbusLine, &ModbusLine::lineRestored, lineNotice,
            [this] { lineNotice->lineRestored(QDateTime::currentDateTime(), modbusLine->transport()); });

    ui->btnStop->setEnabled(false);
    ui->btnStart->setEnabled(true);
}

MainWindow::~MainWindow()
{
    // Everything on a thread of its own is told to end at once and then
    // waited for in bounded turns, so that closing takes a few seconds at
    // most whatever the line, the disk or the broker is doing.
    const QDeadlineTimer closing(ClosingWaitMs);
    publisher->stop();
    // The cycle follows rows of the model, and a window closed with the port
    // open lets go of the line as well: both go before the model.
    delete pollCycle;
    modbusLine->close();
    // Rows still on their way to the disk get their last chance here.
    recordingSession->finish(QDeadlineTimer(RowsWaitMs));
    delete recordingSession;
    delete modbusLine;
    publisher->endSessions(closing);
    delete formChoices;
    delete ui;
    // The proxy still refers to the model; it lets go when the model goes.
    delete deviceModel;
}

bool MainWindow::portIsClosed() const
{
    return !modbusLine->isOpen();
}
