#include "devices/devicelistactions.h"

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "acquisition/portstate.h"
#include "devices/devicerecords.h"
#include "publishing/publisher.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QSaveFile>
#include <QStandardItemModel>

namespace {

QStringList itemTexts(const QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

IntRange spinRange(const QSpinBox *box)
{
    return {box->minimum(), box->maximum()};
}

} // namespace

DeviceListActions::DeviceListActions(MainWindow *window, Ui::MainWindow *ui, QStandardItemModel *devices)
    : QObject(window)
    , m_window(window)
    , m_ui(ui)
    , m_devices(devices)
{
    setObjectName(QStringLiteral("deviceListActions"));

    QAction *saveAction = newAction(tr("保存设备列表…"), "saveDeviceListAction", Qt::Key_S);
    connect(saveAction, &QAction::triggered, this, &DeviceListActions::save);
    QAction *openAction = newAction(tr("打开设备列表…"), "openDeviceListAction", Qt::Key_O);
    connect(openAction, &QAction::triggered, this, &DeviceListActions::open);

    // The same menu for a tile and for the empty area: both act on the list.
    m_menu = new QMenu(ui->listView);
    m_menu->setObjectName(QStringLiteral("deviceListMenu"));
    m_menu->addAction(saveAction);
    m_menu->addAction(openAction);
    ui->listView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->listView, &QWidget::customContextMenuRequested, m_menu, [this](const QPoint &pos) {
        m_menu->popup(m_ui->listView->viewport()->mapToGlobal(pos));
    });
}

QAction *DeviceListActions::newAction(const QString &text, const char *name, Qt::Key key)
{
    auto *action = new QAction(text, this);
    action->setObjectName(QLatin1String(name));
    action->setShortcut(QKeySequence(int(Qt::CTRL) | int(key)));
    action->setShortcutContext(Qt::WindowShortcut);
    m_window->addAction(action);
    return action;
}

QList<int> DeviceListActions::addDevices(const QVector<DeviceEntry> &devices)
{
    QList<int> skipped;
    for (const DeviceEntry &device : devices) {
        if (containsAddress(m_devices, device.address)) {
            skipped << device.address;
            continue;
        }
        const ItemData record = newDeviceRecord(quint8(device.address), device.unit,
                                                quint16(device.decimals), quint16(device.recordPeriod));
        m_devices->appendRow(QList<QStandardItem *>{newDeviceItem(record)});
    }
    return skipped;
}

QString DeviceListActions::askPath(QFileDialog::AcceptMode mode)
{
    QString path = mode == QFileDialog::AcceptSave
        ? QFileDialog::getSaveFileName(m_window, tr("保存设备列表"), m_directory, tr("设备列表 (*.json)"))
        : QFileDialog::getOpenFileName(m_window, tr("打开设备列表"), m_directory,
                                       tr("设备列表 (*.json);;所有文件 (*)"));
    if (!path.isEmpty())
        m_directory = QFileInfo(path).absolutePath();
    return path;
}

void DeviceListActions::save()
{
    const QString path = askPath(QFileDialog::AcceptSave);
    if (path.isEmpty())
        return;

    DeviceList list;
    list.line = lineSettings();
    for (int row = 0; row < m_devices->rowCount(); ++row) {
        const ItemData record = readRecord(m_devices, row);
        list.devices.append({record.address, record.unit, record.decimals, record.recordPeriod});
    }
    if (m_publisher && m_publisher->isConfigured()) {
        list.publish = m_publisher->settings();
        if (!m_publisher->savesPassword())
            list.publish->password.clear();
    }

    // Written beside the old file and renamed over it only when complete.
    QSaveFile file(path);
    const bool opened = file.open(QIODevice::WriteOnly);
    // A saved password is for the operator's account only.
    if (opened && list.publish && !list.publish->password.isEmpty())
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!opened || file.write(DeviceListFile::toJson(list)) < 0 || !file.commit())
        notify(tr("设备列表没有保存到 %1：%2").arg(QDir::toNativeSeparators(path), file.errorString()));
}

void DeviceListActions::open()
{
    const QString path = askPath(QFileDialog::AcceptOpen);
    if (path.isEmpty())
        return;
    const QString shownPath = QDir::toNativeSeparators(path);

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        notify(tr("无法打开设备列表 %1：%2").arg(shownPath, file.errorString()));
        return;
    }
    const DeviceListFile::ParseResult parsed = DeviceListFile::parse(file.readAll(), offeredValues());
    if (!parsed.ok()) {
        notify(tr("设备列表 %1 有误，列表和串口设置都未改变。\n%2").arg(shownPath, parsed.error));
        return;
    }

    QStringList notes;
    if (portCaptionSaysClosed(m_ui->btnOpen))
        applyLineSettings(parsed.content.line);
    else if (parsed.content.line != lineSettings())
        notes << tr("串口已打开，串口设置保持不变；关闭串口后再打开此列表即可采用文件里的串口设置。");

    const QList<int> skipped = addDevices(parsed.content.devices);
    if (m_publisher && parsed.content.publish)
        m_publisher->takeFromFile(*parsed.content.publish);
    if (!skipped.isEmpty()) {
        QStringList addresses;
        for (const int address : skipped)
            addresses << QString::number(address);
        notes.prepend(tr("以下地址已在列表里，已跳过：%1").arg(addresses.join(tr("、"))));
    }
    if (!notes.isEmpty())
        notify(notes.join(QLatin1Char('\n')));
}

void DeviceListActions::notify(const QString &text)
{
    QMessageBox::information(m_window, tr("提示"), text, QMessageBox::Ok);
}

OfferedValues DeviceListActions::offeredValues() const
{
    OfferedValues offered;
    offered.baudRates = itemTexts(m_ui->cboxBaudRate);
    offered.parities = itemTexts(m_ui->cboxParity);
    offered.dataBits = itemTexts(m_ui->cboxDataBit);
    offered.stopBits = itemTexts(m_ui->cboxStopBit);
    offered.units = itemTexts(m_ui->cBoxUnit);
    offered.decimals = spinRange(m_ui->spinBox_dotnum);
    offered.recordPeriod = spinRange(m_ui->spinBox_period);
    return offered;
}

LineChoices DeviceListActions::lineSettings() const
{
    return {m_ui->cboxPortName->currentText(), m_ui->cboxBaudRate->currentText(),
            m_ui->cboxParity->currentText(), m_ui->cboxDataBit->currentText(),
            m_ui->cboxStopBit->currentText()};
}

void DeviceListActions::applyLineSettings(const LineChoices &line)
{
    m_ui->cboxPortName->setCurrentText(line.port);
    m_ui->cboxBaudRate->setCurrentText(line.baudRate);
    m_ui->cboxParity->setCurrentText(line.parity);
    m_ui->cboxDataBit->setCurrentText(line.dataBits);
    m_ui->cboxStopBit->setCurrentText(line.stopBits);
}
