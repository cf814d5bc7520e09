#include "registermapdialog.h"
#include "ui_registermapdialog.h"

#include "devicemaps.h"
#include "maplibrary.h"
#include "modbusline.h"
#include "recordingsession.h"
#include "units.h"

#include <QAbstractItemView>
#include <QAbstractProxyModel>
#include <QFontDatabase>
#include <QItemSelectionModel>
#include <QStandardItemModel>

#include <cmath>

namespace {

QString addressList(const QList<int> &addresses)
{
    QStringList texts;
    for (const int address : addresses)
        texts << QString::number(address);
    return texts.join(RegisterMapDialog::tr("、"));
}

QString valueText(double value)
{
    return QString::number(value, 'g', 7);
}

QString functionText(quint8 function)
{
    return QStringLiteral("%1").arg(uint(function), 2, 10, QLatin1Char('0'));
}

QString exceptionCodeText(quint8 code)
{
    return QString::number(code, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

RegisterKind kindOf(quint8 function)
{
    return function == modbusframe::ReadHoldingRegisters ? RegisterKind::Holding : RegisterKind::Input;
}

QString exceptionName(quint8 code)
{
    switch (code) {
    case modbusframe::IllegalFunction:
        return RegisterMapDialog::tr("非法功能");
    case modbusframe::IllegalDataAddress:
        return RegisterMapDialog::tr("非法数据地址");
    case modbusframe::IllegalDataValue:
        return RegisterMapDialog::tr("非法数据值");
    case modbusframe::SlaveDeviceFailure:
        return RegisterMapDialog::tr("从站设备故障");
    case modbusframe::GatewayPathUnavailable:
        return RegisterMapDialog::tr("网关无通路");
    case modbusframe::GatewayTargetFailed:
        return RegisterMapDialog::tr("网关后的设备没有回答");
    default:
        return RegisterMapDialog::tr("其他");
    }
}

// The unit the value came in: the map's own, or the one its unit register names.
QString unitOf(const MapField &field, const MapRegisters &registers)
{
    if (!field.unitRegister)
        return field.unit;
    return field.unitCodes.value(registers.at(*field.unitRegister));
}

} // namespace

RegisterMapDialog::RegisterMapDialog(MapLibrary *maps, QStandardItemModel *devices, QAbstractItemView *view,
                                     ModbusLine *line, const RecordingSession *recording, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , ui(std::make_unique<Ui::RegisterMapDialog>())
    , m_maps(maps)
    , m_devices(devices)
    , m_view(view)
    , m_line(line)
    , m_recording(recording)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("registerMapDialog"));
    ui->pressureEditor->setQuantity(false, tr("压力 (pressure)"));
    ui->temperatureEditor->setQuantity(true, tr("温度 (temperature)"));
    ui->testReadResult->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    connect(ui->mapList, &QListWidget::currentRowChanged, this, &RegisterMapDialog::showMap);
    connect(ui->kindBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int index) {
        const RegisterKind kind = index == 1 ? RegisterKind::Holding : RegisterKind::Input;
        ui->pressureEditor->setKind(kind);
        ui->temperatureEditor->setKind(kind);
    });
    connect(ui->newMapButton, &QPushButton::clicked, this, &RegisterMapDialog::newMap);
    connect(ui->copyMapButton, &QPushButton::clicked, this, &RegisterMapDialog::copyMap);
    connect(ui->deleteMapButton, &QPushButton::clicked, this, &RegisterMapDialog::deleteMap);
    connect(ui->saveMapButton, &QPushButton::clicked, this, &RegisterMapDialog::saveMap);
    connect(ui->assignMapButton, &QPushButton::clicked, this, &RegisterMapDialog::assignMap);
    connect(ui->testReadButton, &QPushButton::clicked, this, &RegisterMapDialog::testRead);
    connect(line, &ModbusLine::testReadFinished, this, &RegisterMapDialog::showTestRead);
    // A line closed with a test read in flight never tells its outcome.
    connect(line, &ModbusLine::stateChanged, this, [this] {
        if (m_testRequest == 0 || m_line->isOpen())
            return;
        m_testRequest = 0;
        ui->testReadButton->setEnabled(true);
        ui->testReadResult->setPlainText(tr("串口已关闭，试读没有结果。"));
    });
    connect(maps, &MapLibrary::mapsChanged, this, &RegisterMapDialog::showMaps);
    // Who uses the map shown changes with the list and with assignments.
    connect(devices, &QAbstractItemModel::rowsInserted, this, &RegisterMapDialog::showUsage);
    connect(devices, &QAbstractItemModel::rowsRemoved, this, &RegisterMapDialog::showUsage);
    connect(devices, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex &, const QModelIndex &,
                                                                    const QVector<int> &roles) {
        if (roles.isEmpty() || roles.contains(ItemDataRole))
            showUsage();
    });
    showMaps();
}

RegisterMapDialog::~RegisterMapDialog() = default;

void RegisterMapDialog::showMaps()
{
    const QString current = currentName();
    {
        const QSignalBlocker blocker(ui->mapList);
        ui->mapList->clear();
        ui->mapList->addItems(m_maps->names());
    }
    select(current.isEmpty() ? standardMapName() : current);
}

void RegisterMapDialog::select(const QString &name)
{
    const QStringList names = m_maps->names();
    const int row = std::max(0, names.indexOf(name));
    if (ui->mapList->currentRow() == row)
        showMap();
    else
        ui->mapList->setCurrentRow(row);
}

QString RegisterMapDialog::currentName() const
{
    const QListWidgetItem *item = ui->mapList->currentItem();
    return item ? item->text() : QString();
}

void RegisterMapDialog::showMap()
{
    const RegisterMap map = m_maps->find(currentName()).value_or(standardMap());
    const bool builtIn = map.name == standardMapName();
    ui->nameEdit->setText(map.name);
    ui->kindBox->setCurrentIndex(map.kind == RegisterKind::Holding ? 1 : 0);
    ui->blockCheck->setChecked(map.block);
    ui->pressureEditor->setField(map.pressure);
    ui->temperatureGroup->setChecked(map.temperature.has_value());
    ui->temperatureEditor->setField(map.temperature.value_or(MapField{}));
    // 标准 is read-only, but may be copied and read with.
    for (QWidget *entry : {static_cast<QWidget *>(ui->nameEdit), static_cast<QWidget *>(ui->kindBox),
                           static_cast<QWidget *>(ui->blockCheck), static_cast<QWidget *>(ui->pressureEditor),
                           static_cast<QWidget *>(ui->temperatureGroup)})
        entry->setEnabled(!builtIn);
    ui->saveMapButton->setEnabled(!builtIn);
    ui->deleteMapButton->setEnabled(!builtIn);
    ui->messageLabel->clear();
    showUsage();
}

void RegisterMapDialog::showEvent(QShowEvent *event)
{
    showUsage();
    QWidget::showEvent(event);
}

void RegisterMapDialog::showUsage()
{
    // Every poll changes a record: only a dialog in sight keeps up.
    if (!isVisible())
        return;
    const QString name = currentName();
    const QList<int> users = addressesUsingMap(m_devices, name);
    QString text = users.isEmpty() ? tr("没有设备使用此映射。")
                                   : tr("使用此映射的设备：地址 %1。").arg(addressList(users));
    if (name == standardMapName())
        text += tr("标准 是内置映射，不能修改；可以复制后修改副本。");
    ui->usageLabel->setText(text);
}

Result<RegisterMap> RegisterMapDialog::editedMap() const
{
    RegisterMap map;
    map.name = ui->nameEdit->text().trimmed();
    map.kind = ui->kindBox->currentIndex() == 1 ? RegisterKind::Holding : RegisterKind::Input;
    map.block = ui->blockCheck->isChecked();
    const Result<MapField> pressure = ui->pressureEditor->field();
    if (!pressure.ok())
        return Failure{pressure.error()};
    map.pressure = pressure.value();
    if (ui->temperatureGroup->isChecked()) {
        const Result<MapField> temperature = ui->temperatureEditor->field();
        if (!temperature.ok())
            return Failure{temperature.error()};
        map.temperature = temperature.value();
    }
    const QString problem = mapProblem(map);
    if (!problem.isEmpty())
        return Failure{problem};
    return map;
}

QString RegisterMapDialog::uniqueName(const QString &base) const
{
    QString name = base;
    for (int n = 2; m_maps->find(name); ++n)
        name = QStringLiteral("%1 %2").arg(base).arg(n);
    return name;
}

void RegisterMapDialog::newMap()
{
    RegisterMap map;
    map.name = uniqueName(tr("新映射"));
    map.pressure.unit = QStringLiteral("Pa");
    const Result<RegisterMap> stored = m_maps->store(map);
    if (!stored.ok())
        return tell(stored.error());
    select(map.name);
    tell(tr("已新建映射 %1：输入寄存器 0 起的 FLOAT32 (ABCD) 压力，单位 Pa。改好后点击保存。").arg(map.name));
}

void RegisterMapDialog::copyMap()
{
    RegisterMap map = m_maps->find(currentName()).value_or(standardMap());
    const QString original = map.name;
    map.name = uniqueName(tr("%1 副本").arg(original));
    const Result<RegisterMap> stored = m_maps->store(map);
    if (!stored.ok())
        return tell(stored.error());
    select(map.name);
    tell(tr("已把 %1 复制为 %2。").arg(original, map.name));
}

void RegisterMapDialog::deleteMap()
{
    const QString name = currentName();
    const QList<int> users = addressesUsingMap(m_devices, name);
    if (!users.isEmpty())
        return tell(tr("地址 %1 的设备正在使用映射 %2，不能删除；先给这些设备指定别的映射。")
                        .arg(addressList(users), name));
    if (!m_maps->remove(name))
        return;
    select(standardMapName());
    tell(tr("已删除映射 %1。").arg(name));
}

void RegisterMapDialog::saveMap()
{
    const QString original = currentName();
    if (original == standardMapName())
        return;
    const QList<int> users = addressesUsingMap(m_devices, original);
    if (!users.isEmpty() && m_recording->isRecording())
        return tell(tr("正在记录：地址 %1 的设备使用映射 %2，记录中修改它会让同一个记录文件里的数来自不同的寄存器布局。"
                       "请点击停止后再修改。")
                        .arg(addressList(users), original));
    const Result<RegisterMap> edited = editedMap();
    if (!edited.ok())
        return tell(tr("映射没有保存：%1").arg(edited.error()));
    const RegisterMap &map = edited.value();
    const bool renamed = map.name != original;
    if (renamed && m_maps->find(map.name))
        return tell(tr("映射没有保存：已有名为 %1 的映射。").arg(map.name));
    const Result<RegisterMap> stored = m_maps->store(map);
    if (!stored.ok())
        return tell(tr("映射没有保存：%1").arg(stored.error()));
    if (renamed) {
        if (m_maps->newDeviceMapName() == original)
            m_maps->setNewDeviceMap(map.name);
        m_maps->remove(original);
    }
    replaceMap(m_devices, original, map);
    select(map.name);
    tell(users.isEmpty() ? tr("映射 %1 已保存。").arg(map.name)
                         : tr("映射 %1 已保存；地址 %2 的设备从下一次询问起按它读取。")
                               .arg(map.name, addressList(users)));
}

void RegisterMapDialog::assignMap()
{
    if (m_recording->isRecording())
        return tell(tr("正在记录：记录中不能改变设备的映射，一个记录文件只来自一种寄存器布局。请点击停止后再指定。"));
    const QString name = currentName();
    const std::optional<RegisterMap> map = m_maps->find(name);
    if (!map)
        return;
    const Result<RegisterMap> edited = editedMap();
    if (name != standardMapName() && (!edited.ok() || edited.value() != *map))
        return tell(tr("映射 %1 有没有保存的修改：先保存，再指定给设备。").arg(name));

    QList<int> rows;
    QList<int> addresses;
    const QModelIndexList selected = m_view->selectionModel()->selectedIndexes();
    for (QModelIndex index : selected) {
        while (const auto *proxy = qobject_cast<const QAbstractProxyModel *>(index.model()))
            index = proxy->mapToSource(index);
        if (index.isValid() && index.model() == m_devices && !rows.contains(index.row())) {
            rows << index.row();
            addresses << qvariant_cast<ItemData>(index.data(ItemDataRole)).address;
        }
    }
    if (rows.isEmpty())
        return tell(tr("先在设备列表里选中要用映射 %1 的设备（单击磁贴），再点击“用于所选设备”。").arg(name));
    std::sort(addresses.begin(), addresses.end());
    ::assignMap(m_devices, rows, *map);
    tell(tr("地址 %1 的设备从下一次询问起按映射 %2 读取。").arg(addressList(addresses), name));
}

void RegisterMapDialog::testRead()
{
    const Result<RegisterMap> edited = editedMap();
    if (!edited.ok()) {
        ui->testReadResult->setPlainText(tr("没有试读：%1").arg(edited.error()));
        return;
    }
    m_testMap = edited.value();
    m_testAddress = ui->testAddressBox->value();
    m_testRequest = m_line->testRead(m_testAddress, m_testMap);
    ui->testReadButton->setEnabled(false);
    ui->testReadResult->setPlainText(tr("正在读地址 %1…").arg(m_testAddress));
}

void RegisterMapDialog::showTestRead(const TestReadResult &result)
{
    if (result.request != m_testRequest)
        return;
    m_testRequest = 0;
    ui->testReadButton->setEnabled(true);
    const RegisterRequest &failed = result.failedRequest;
    const QString request = tr("功能码 %1，寄存器 %2 起 %3 个")
                                .arg(functionText(failed.function))
                                .arg(registerNumber(kindOf(failed.function), failed.start))
                                .arg(failed.count);
    QStringList lines;
    switch (result.outcome) {
    case TransactionOutcome::NotSent:
        lines << tr("串口未打开：打开串口后再试读。");
        break;
    case TransactionOutcome::LineGone:
        lines << tr("串口连接已断开，正在重新打开。");
        break;
    case TransactionOutcome::NoReply:
        lines << tr("地址 %1 在 1 秒内没有回答（%2）。").arg(m_testAddress).arg(request);
        break;
    case TransactionOutcome::SlaveException:
    case TransactionOutcome::GatewayException:
        lines << tr("地址 %1 回答异常码 %2（%3）：%4。")
                     .arg(m_testAddress)
                     .arg(exceptionCodeText(result.exceptionCode))
                     .arg(exceptionName(result.exceptionCode), request);
        break;
    case TransactionOutcome::Answered: {
        const MapRegisters &registers = result.registers;
        lines << tr("地址 %1，映射 %2：").arg(m_testAddress).arg(m_testMap.name);
        lines << tr("寄存器   地址    十六进制   十进制");
        int index = 0;
        for (const RegisterRange &range : registers.ranges) {
            for (int address = range.start; address < range.end(); ++address, ++index) {
                const quint16 value = registers.values.value(index);
                lines << QStringLiteral("%1 %2 0x%3 %4")
                             .arg(registerNumber(m_testMap.kind, address), -8)
                             .arg(address, -7)
                             .arg(QString::number(value, 16).toUpper().rightJustified(4, QLatin1Char('0')))
                             .arg(value, 9);
            }
        }
        const DecodedValues values = decodeRegisters(m_testMap, registers);
        if (values.failed()) {
            lines << tr("无法换算：%1").arg(values.failure);
            break;
        }
        if (std::isnan(values.pressurePa)) {
            lines << tr("压力：无效（无值标记或不是数）");
        } else {
            const QString unit = unitOf(m_testMap.pressure, registers);
            const float inUnit = convertPressure(values.pressurePa, unit);
            lines << (unit == QLatin1String("Pa") ? tr("压力：%1 Pa").arg(valueText(values.pressurePa))
                                                   : tr("压力：%1 %2（%3 Pa）")
                                                         .arg(valueText(inUnit), unit, valueText(values.pressurePa)));
        }
        if (!values.hasTemperature)
            lines << tr("温度：映射中没有温度");
        else if (std::isnan(values.temperature))
            lines << tr("温度：无效（无值标记或不是数）");
        else
            lines << tr("温度：%1 °C").arg(valueText(values.temperature));
        break;
    }
    }
    ui->testReadResult->setPlainText(lines.join(QLatin1Char('\n')));
}

void RegisterMapDialog::tell(const QString &text)
{
    ui->messageLabel->setText(text);
}
