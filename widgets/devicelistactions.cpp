#include "devicelistactions.h"

#include "modbusline.h"
#include "benchform.h"
#include "devicemaps.h"
#include "devicerecords.h"
#include "maplibrary.h"
#include "publisher.h"
#include "recordingsession.h"

#include <QAbstractItemView>
#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QSaveFile>
#include <QStandardItemModel>

#include <algorithm>

DeviceListActions::DeviceListActions(QWidget *window, QAbstractItemView *view, QStandardItemModel *devices,
                                     BenchForm *form, const ModbusLine *line, MapLibrary *maps)
    : QObject(window)
    , m_window(window)
    , m_devices(devices)
    , m_form(form)
    , m_line(line)
    , m_maps(maps)
{
    setObjectName(QStringLiteral("deviceListActions"));

    QAction *saveAction = newAction(tr("保存设备列表…"), "saveDeviceListAction", Qt::Key_S);
    connect(saveAction, &QAction::triggered, this, &DeviceListActions::save);
    QAction *openAction = newAction(tr("打开设备列表…"), "openDeviceListAction", Qt::Key_O);
    connect(openAction, &QAction::triggered, this, &DeviceListActions::open);

    // The same menu for a tile and for the empty area: both act on the list.
    m_menu = new QMenu(view);
    m_menu->setObjectName(QStringLiteral("deviceListMenu"));
    m_menu->addAction(saveAction);
    m_menu->addAction(openAction);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, m_menu, [this, view](const QPoint &pos) {
        m_menu->popup(view->viewport()->mapToGlobal(pos));
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
    const Added added = add(devices);
    QStringList notes = added.unknownMaps;
    if (!added.referenceKept.isEmpty())
        notes << added.referenceKept;
    if (!notes.isEmpty())
        notify(notes.join(QLatin1Char('\n')));
    return added.listedAlready;
}

DeviceListActions::Added DeviceListActions::add(const QVector<DeviceEntry> &devices)
{
    Added added;
    for (const DeviceEntry &device : devices) {
        if (containsAddress(m_devices, device.address)) {
            added.listedAlready << device.address;
            continue;
        }
        // 标准 is never taken in place of a map that is not there: the
        // device would be read, and recorded, with wrong numbers.
        const std::optional<RegisterMap> map = m_maps->find(device.map);
        if (!map) {
            added.unknownMaps << tr("地址 %1 没有添加：没有名为 \"%2\" 的寄存器映射。").arg(device.address).arg(device.map);
            continue;
        }
        ItemData record = newDeviceRecord(quint8(device.address), device.unit, quint16(device.decimals),
                                          quint16(device.recordPeriod));
        record.map = *map;
        QStandardItem *item = newDeviceItem(record);
        if (!device.limits.isEmpty())
            item->setData(QVariant::fromValue(device.limits), LimitsRole);
        if (!device.calibration.isEmpty())
            item->setData(QVariant::fromValue(device.calibration), CalibrationRole);
        m_devices->appendRow(QList<QStandardItem *>{item});
        // One reference at a time: the bench's own is not taken from a file.
        if (device.reference) {
            const int reference = referenceAddress(m_devices);
            if (reference == 0)
                markReference(m_devices, device.address);
            else
                added.referenceKept =
                    tr("参考表仍是地址 %1，地址 %2 未标为参考表。").arg(reference).arg(device.address);
        }
    }
    return added;
}

QVector<RegisterMap> DeviceListActions::mapsToSave() const
{
    QVector<RegisterMap> maps = m_maps->maps();
    for (int row = 0; row < m_devices->rowCount(); ++row) {
        const RegisterMap map = readRecord(m_devices, row).map;
        if (map.name == standardMapName())
            continue;
        const bool known = std::any_of(maps.cbegin(), maps.cend(),
                                       [&map](const RegisterMap &held) { return held.name == map.name; });
        if (!known)
            maps << map;
    }
    return maps;
}

QStringList DeviceListActions::takeMaps(const QVector<RegisterMap> &maps)
{
    QStringList kept;
    const bool recording = m_recording && m_recording->isRecording();
    for (const RegisterMap &map : maps) {
        const std::optional<RegisterMap> held = m_maps->find(map.name);
        if (recording && held && *held != map && !addressesUsingMap(m_devices, map.name).isEmpty()) {
            kept << tr("正在记录：映射 %1 正用于已列出的设备，保持不变，未采用文件里的同名映射。").arg(map.name);
            continue;
        }
        // Checked by the file already, as the library checks it.
        if (!m_maps->store(map).ok())
            continue;
        for (int row = 0; row < m_devices->rowCount(); ++row) {
            ItemData record = readRecord(m_devices, row);
            if (record.map.name == map.name && record.map != map) {
                record.map = map;
                writeRecord(m_devices, row, record);
            }
        }
    }
    return kept;
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
    list.line = m_form->lineChoices();
    for (int row = 0; row < m_devices->rowCount(); ++row) {
        const ItemData record = readRecord(m_devices, row);
        const QModelIndex index = m_devices->index(row, 0);
        list.devices.append({record.address, record.unit, record.decimals, record.recordPeriod,
                             qvariant_cast<Limits>(index.data(LimitsRole)), record.map.name,
                             qvariant_cast<CalibrationSettings>(index.data(CalibrationRole)),
                             index.data(ReferenceRole).toBool()});
    }
    // Written only when a device is read with one of them.
    list.maps = mapsToSave();
    if (m_publisher && m_publisher->isConfigured()) {
        list.publish = m_publisher->settings();
        if (!m_publisher->savesPassword())
            list.publish->password.clear();
    }

    // Written beside the old file and renamed over it only when complete.
    QSaveFile file(path);
    const bool opened = file.open(QIODevice::WriteOnly);
    // A saved password is for the operator's account only. A file system
    // that keeps no modes (a USB stick) would show it to everyone: it is
    // left out there.
    bool passwordLeftOut = false;
    if (opened && list.publish && !list.publish->password.isEmpty()) {
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup
                                                | QFileDevice::ExeGroup | QFileDevice::ReadOther
                                                | QFileDevice::WriteOther | QFileDevice::ExeOther;
        if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) || (file.permissions() & others)) {
            list.publish->password.clear();
            passwordLeftOut = true;
        }
    }
    if (!opened || file.write(DeviceListFile::toJson(list)) < 0 || !file.commit()) {
        notify(tr("设备列表没有保存到 %1：%2").arg(QDir::toNativeSeparators(path), file.errorString()));
        return;
    }
    if (passwordLeftOut)
        notify(tr("设备列表已保存到 %1，但没有保存 MQTT 密码：那里的文件无法设为只有本人可读（例如 U 盘的文件系统），"
                  "密码存进去会被所有人读到。")
                   .arg(QDir::toNativeSeparators(path)));
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
    const Result<DeviceList> parsed = DeviceListFile::parse(file.readAll(), m_form->offeredValues());
    if (!parsed.ok()) {
        notify(tr("设备列表 %1 有误，列表和串口设置都未改变。\n%2").arg(shownPath, parsed.error()));
        return;
    }
    const DeviceList &list = parsed.value();

    QStringList notes;
    // A line being opened is as good as open: its boxes must keep naming it.
    if (m_line->state() == LineState::Closed)
        m_form->setLineChoices(list.line);
    else if (list.line != m_form->lineChoices())
        notes << tr("串口已打开，串口设置保持不变；关闭串口后再打开此列表即可采用文件里的串口设置。");

    notes << takeMaps(list.maps);
    const Added added = add(list.devices);
    const QList<int> &skipped = added.listedAlready;
    notes << added.unknownMaps;
    if (!added.referenceKept.isEmpty())
        notes << added.referenceKept;
    if (m_publisher && list.publish)
        m_publisher->takeFromFile(*list.publish);
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
    // Texts from a file are never taken for markup.
    QMessageBox box(QMessageBox::Information, tr("提示"), text, QMessageBox::Ok, m_window);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
