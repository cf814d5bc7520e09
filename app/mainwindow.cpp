#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "bench.h"
#include "formchoices.h"
#include "itemdata.h"
#include "itemdelegate.h"
#include "lineaddress.h"
#include "logging.h"
#include "maplibrary.h"
#include "modbusline.h"
#include "pollcycle.h"
#include "polling.h"
#include "portprobe.h"
#include "publisher.h"
#include "recordingsession.h"
#include "devicerecords.h"
#include "slaveaddress.h"
#include "units.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QMessageBox>
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

    ui->cboxBaudRate->addItems(baudRates);
    ui->cboxBaudRate->setCurrentIndex(12);
    ui->cboxParity->addItems(parities);
    ui->cboxParity->setCurrentIndex(0);
    ui->cboxDataBit->addItems(dataBits);
    ui->cboxDataBit->setCurrentIndex(3);
    ui->cboxStopBit->addItems(stopBits);
    ui->cboxStopBit->setCurrentIndex(0);
    ui->cBoxUnit->addItems(offeredPressureUnits());

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

    const Bench bench = buildBench(this, ui, deviceModel, pollTimer);
    modbusLine = bench.line;
    pollCycle = bench.cycle;
    polling = bench.polling;
    lineNotice = bench.lineNotice;
    formChoices = bench.formChoices;
    recordingSession = bench.recording;
    publisher = bench.publisher;
    mapLibrary = bench.maps;

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

// The slots, in the order of the method table.

void MainWindow::onButtonClicked(QAbstractButton *button)
{
    qCDebug(lcDiagnostics).noquote() << "filter button:" << button->text();
}

void MainWindow::on_btnOpen_clicked()
{
    // A click while the line is opening abandons the open, as closing would.
    if (modbusLine->state() != LineState::Closed) {
        // The pass ends here; the line's owner lets go of the context once the
        // request in flight has returned.
        polling->halt();
        recordTimer->stop();
        recordingSession->end();
        modbusLine->close();
        return;
    }
    const LineChoices line = formChoices->lineChoices();
    const Result<LineSettings> choice
        = chooseLine(line.port, line.baudRate, line.parity, line.dataBits, line.stopBits);
    if (!choice.ok()) {
        // The port's text may come from a device-list file: never markup.
        QMessageBox box(QMessageBox::Information, tr("提示"), choice.error(), QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        box.exec();
        return;
    }
    // The caption changes when the line's owner reports the port open; a port
    // that cannot be opened leaves it as it is.
    modbusLine->open(choice.value());
}

void MainWindow::on_btnAddreader_clicked()
{
    // The spin box reaches 254, but only 1 to 247 are slave addresses: the
    // line refuses the others, so such a device could never answer.
    if (!isSlaveAddress(ui->spinBox_ID->value())) {
        QMessageBox::information(this, tr("提示"), tr("Modbus 从站地址只能是 1 到 247"), QMessageBox::Ok);
        return;
    }
    // Every row takes part, also those the current filter hides.
    if (containsAddress(deviceModel, ui->spinBox_ID->value())) {
        QMessageBox::information(this, tr("提示"), tr("该设备已经在列表里"), QMessageBox::Ok);
        return;
    }

    ItemData record = newDeviceRecord(quint8(ui->spinBox_ID->value()),
                                      ui->cBoxUnit->currentText(),
                                      quint16(ui->spinBox_dotnum->value()),
                                      quint16(ui->spinBox_period->value()));
    record.map = mapLibrary->newDeviceMap();
    deviceModel->appendRow(QList<QStandardItem *>{newDeviceItem(record)});
}

void MainWindow::on_btnDelreader_clicked()
{
    // Map every selected tile before removing anything: removal shifts rows.
    QList<QModelIndex> sourceIndexes;
    const QModelIndexList selected = ui->listView->selectionModel()->selectedIndexes();
    for (const QModelIndex &index : selected)
        sourceIndexes.append(proxyModel->mapToSource(index));

    const QList<int> rows = rowsForRemoval(sourceIndexes);
    for (const int row : rows)
        deviceModel->removeRows(row, 1, QModelIndex());
}

void MainWindow::MB_POLL()
{
    polling->beginCycle();
}

void MainWindow::saved_process()
{
    recordingSession->tick();
}

void MainWindow::on_btnClrList_clicked()
{
    deviceModel->clear();
}

void MainWindow::on_redBtn_clicked()
{
    if (proxyModel)
        proxyModel->setFilterFixedString(QString::number(Offline, 10));
}

void MainWindow::on_greenBtn_clicked()
{
    if (proxyModel)
        proxyModel->setFilterFixedString(QString::number(Good, 10));
}

void MainWindow::on_yellowBtn_clicked()
{
    if (proxyModel)
        proxyModel->setFilterFixedString(QString::number(Poor, 10));
}

void MainWindow::on_allBtn_clicked()
{
    if (proxyModel)
        proxyModel->setFilterFixedString(QString());
}

void MainWindow::on_btnStart_clicked()
{
    if (portIsClosed()) {
        QMessageBox::information(this, tr("提示"), tr("串口未打开"), QMessageBox::Ok);
        return;
    }
    if (deviceModel->rowCount() == 0) {
        QMessageBox::information(this, tr("提示"), tr("采集列表无设备，请添加设备"), QMessageBox::Ok);
        return;
    }

    const QString folder = QFileDialog::getExistingDirectory(this, tr("选择存储的路径"), QStringLiteral("/"),
                                                             QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty()) {
        recordingSession->start(folder);
        recordTimer->setInterval(1000);
        recordTimer->start();
    }

    polling->start();
}

void MainWindow::on_btnStop_clicked()
{
    polling->stop();
    recordTimer->stop();
    recordingSession->end();
}
