#include "busscandialog.h"

#include "busscan.h"
#include "modbusline.h"
#include "polling.h"
#include "benchform.h"
#include "devicelistactions.h"
#include "devicerecords.h"
#include "maplibrary.h"
#include "registertransport.h"
#include "slaveaddress.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QVBoxLayout>

namespace {

QString addressList(const QList<int> &addresses)
{
    QStringList texts;
    for (const int address : addresses)
        texts << QString::number(address);
    return texts.join(BusScanDialog::tr("、"));
}

QSpinBox *addressBox(QWidget *parent, const char *name, int value)
{
    auto *box = new QSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setRange(FirstSlaveAddress, LastSlaveAddress);
    box->setValue(value);
    return box;
}

} // namespace

BusScanDialog::BusScanDialog(QWidget *window, QStandardItemModel *devices, DeviceListActions *listActions,
                             const BenchForm *form, ModbusLine *line, const PollCycle *cycle,
                             const Polling *polling, const MapLibrary *maps)
    : QObject(window)
    , m_window(window)
    , m_devices(devices)
    , m_listActions(listActions)
    , m_form(form)
    , m_line(line)
    , m_polling(polling)
    , m_maps(maps)
    , m_scan(new BusScan(line, cycle, this))
    , m_progress(new QDialog(window))
    , m_probing(new QLabel(m_progress))
    , m_bar(new QProgressBar(m_progress))
    , m_found(new QLabel(m_progress))
{
    setObjectName(QStringLiteral("busScanDialog"));
    m_scan->setObjectName(QStringLiteral("busScan"));

    auto *action = new QAction(tr("扫描总线…"), this);
    action->setObjectName(QStringLiteral("scanBusAction"));
    connect(action, &QAction::triggered, this, &BusScanDialog::scan);
    listActions->contextMenu()->addAction(action);

    m_progress->setObjectName(QStringLiteral("busScanProgress"));
    m_progress->setWindowTitle(tr("扫描总线"));
    m_progress->setWindowModality(Qt::WindowModal);
    m_found->setObjectName(QStringLiteral("busScanFound"));
    m_found->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(m_progress);
    buttons->addButton(tr("取消"), QDialogButtonBox::RejectRole);
    auto *layout = new QVBoxLayout(m_progress);
    layout->addWidget(m_probing);
    layout->addWidget(m_bar);
    layout->addWidget(m_found);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, m_progress, &QDialog::reject);
    // The cancel button, Esc and the title bar's close button all end up here.
    connect(m_progress, &QDialog::rejected, this, [this] {
        if (!m_scan->isRunning())
            return;
        m_scan->cancel();
        end(true);
    });

    connect(m_scan, &BusScan::progressed, this, &BusScanDialog::showProgress);
    connect(m_scan, &BusScan::deviceFound, this, &BusScanDialog::showFound);
    connect(m_scan, &BusScan::finished, this, [this] {
        m_progress->accept();
        end(false);
    });
}

void BusScanDialog::scan()
{
    if (refused())
        return;
    m_map = m_maps->newDeviceMap();
    if (!askRange())
        return;
    m_probed = 0;
    showProgress(0, m_last - m_first + 1);
    showFound();
    m_progress->open();
    m_scan->start(m_first, m_last, requestsOf(m_map).constFirst());
}

bool BusScanDialog::refused()
{
    if (!m_line->isOpen()) {
        notify(tr("提示"), tr("串口未打开，请先打开串口再扫描总线"));
        return true;
    }
    // Polls and probes would share the line; its devices are listed already.
    if (m_polling->isStarted()) {
        notify(tr("提示"), tr("正在采集，请先点击停止再扫描总线"));
        return true;
    }
    return false;
}

bool BusScanDialog::askRange()
{
    QDialog dialog(m_window);
    dialog.setObjectName(QStringLiteral("busScanRange"));
    dialog.setWindowTitle(tr("扫描总线"));
    QSpinBox *first = addressBox(&dialog, "scanFirstAddress", FirstSlaveAddress);
    QSpinBox *last = addressBox(&dialog, "scanLastAddress", LastSlaveAddress);
    auto *buttons = new QDialogButtonBox(&dialog);
    QPushButton *ok = buttons->addButton(tr("开始扫描"), QDialogButtonBox::AcceptRole);
    buttons->addButton(tr("取消"), QDialogButtonBox::RejectRole);
    auto *layout = new QFormLayout(&dialog);
    const RegisterRequest probe = requestsOf(m_map).constFirst();
    const QString kind = m_map.kind == RegisterKind::Holding ? tr("保持寄存器") : tr("输入寄存器");
    auto *explanation = new QLabel(tr("按新设备映射 %1 向每个地址发送一次读%2请求（功能码 %3，地址 %4 起 %5 个），"
                                      "等待应答 100 ms。")
                                       .arg(m_map.name, kind)
                                       .arg(uint(probe.function), 2, 10, QLatin1Char('0'))
                                       .arg(probe.start)
                                       .arg(probe.count),
                                   &dialog);
    explanation->setObjectName(QStringLiteral("scanExplanation"));
    explanation->setWordWrap(true);
    layout->addRow(explanation);
    layout->addRow(tr("起始地址"), first);
    layout->addRow(tr("结束地址"), last);
    layout->addRow(buttons);
    const auto checkOrder = [first, last, ok] { ok->setEnabled(first->value() <= last->value()); };
    connect(first, QOverload<int>::of(&QSpinBox::valueChanged), &dialog, checkOrder);
    connect(last, QOverload<int>::of(&QSpinBox::valueChanged), &dialog, checkOrder);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted || first->value() > last->value())
        return false;
    m_first = first->value();
    m_last = last->value();
    return true;
}

void BusScanDialog::showProgress(int probed, int total)
{
    m_probed = probed;
    m_bar->setRange(0, total);
    m_bar->setValue(probed);
    m_probing->setText(tr("地址 %1–%2：已询问 %3 个，共 %4 个").arg(m_first).arg(m_last).arg(probed).arg(total));
}

void BusScanDialog::showFound()
{
    const QList<int> found = m_scan->foundAddresses();
    m_found->setText(tr("已找到：%1").arg(found.isEmpty() ? tr("无") : addressList(found)));
}

void BusScanDialog::end(bool cancelled)
{
    QList<int> fresh;
    QList<int> listed;
    const QList<int> found = m_scan->foundAddresses();
    for (const int address : found)
        (containsAddress(m_devices, address) ? listed : fresh) << address;

    const QString text = summary(cancelled, listed);
    if (fresh.isEmpty())
        notify(tr("扫描总线"), text);
    else
        offer(text, fresh);
}

QString BusScanDialog::summary(bool cancelled, const QList<int> &listed) const
{
    QStringList lines;
    if (cancelled)
        lines << tr("扫描已取消。");
    if (m_probed > 0) {
        const QList<int> found = m_scan->foundAddresses();
        const QString range = tr("%1–%2").arg(m_first).arg(m_first + m_probed - 1);
        lines << (found.isEmpty() ? tr("地址 %1 中没有找到设备。").arg(range)
                                  : tr("地址 %1 中找到 %2 个设备：%3。").arg(range).arg(found.size())
                                        .arg(addressList(found)));
    }
    if (!listed.isEmpty())
        lines << tr("已在列表里：%1。").arg(addressList(listed));
    return lines.join(QLatin1Char('\n'));
}

void BusScanDialog::offer(const QString &summary, const QList<int> &fresh)
{
    const DeviceEntry choice = m_form->deviceChoice();
    const QString &unit = choice.unit;
    const int decimals = choice.decimals;
    const int period = choice.recordPeriod;
    QMessageBox box(QMessageBox::Question, tr("扫描总线"),
                    summary + QLatin1Char('\n')
                        + tr("把 %1 添加到列表吗？单位 %2，小数点位数 %3，记录间隔 %4 秒，映射 %5。")
                              .arg(addressList(fresh), unit)
                              .arg(decimals)
                              .arg(period)
                              .arg(m_map.name),
                    QMessageBox::NoButton, m_window);
    QPushButton *add = box.addButton(tr("添加"), QMessageBox::AcceptRole);
    box.addButton(tr("不添加"), QMessageBox::RejectRole);
    box.setDefaultButton(add);
    box.exec();
    if (box.clickedButton() != add)
        return;

    QVector<DeviceEntry> entries;
    for (const int address : fresh)
        entries.append({address, unit, decimals, period, {}, m_map.name});
    m_listActions->addDevices(entries);
}

void BusScanDialog::notify(const QString &title, const QString &text)
{
    QMessageBox::information(m_window, title, text, QMessageBox::Ok);
}
