#include "calibrationwindow.h"
#include "ui_calibrationwindow.h"

#include "calibrationfiles.h"
#include "calibrationlog.h"
#include "calibrationoutput.h"
#include "calibrationpass.h"
#include "devicerecords.h"
#include "itemdata.h"
#include "units.h"

#include <QDoubleValidator>
#include <QHeaderView>
#include <QLocale>
#include <QRegularExpression>
#include <QStandardItemModel>

#include <cmath>

namespace {

constexpr int LiveRefreshMs = 500;

std::optional<double> numberIn(const QLineEdit *edit)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(edit->text().trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// "0, 25, 50, 75, 100": percentages of span, rising, each from 0 to 100.
std::optional<QVector<double>> percentsIn(const QString &text)
{
    QVector<double> percents;
    for (const QString &part : text.split(QRegularExpression(QStringLiteral("[,，、;\\s]+")), Qt::SkipEmptyParts)) {
        bool ok = false;
        const double value = QLocale::c().toDouble(part, &ok);
        if (!ok || value < 0 || value > 100 || (!percents.isEmpty() && value <= percents.last()))
            return std::nullopt;
        percents << value;
    }
    if (percents.size() < 2)
        return std::nullopt;
    return percents;
}

QString number(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

} // namespace

CalibrationWindow::CalibrationWindow(QStandardItemModel *devices, CalibrationPass *pass, CalibrationOutput *output,
                                     std::function<QString()> station, std::function<QString()> line,
                                     QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_ui(std::make_unique<Ui::CalibrationWindow>())
    , m_devices(devices)
    , m_pass(pass)
    , m_output(output)
    , m_station(std::move(station))
    , m_line(std::move(line))
{
    m_ui->setupUi(this);
    setObjectName(QStringLiteral("calibrationWindow"));
    for (QComboBox *units : {m_ui->typedReferenceUnit, m_ui->referenceAccuracyUnit}) {
        units->addItems(pressureUnitNames());
        units->setCurrentText(QStringLiteral("KPa"));
    }
    for (QLineEdit *edit : {m_ui->typedReference, m_ui->referenceAccuracy, m_ui->steadyThreshold,
                            m_ui->ambientTemperature, m_ui->ambientHumidity}) {
        auto *validator = new QDoubleValidator(edit);
        validator->setLocale(QLocale::c());
        edit->setValidator(validator);
    }
    m_ui->referenceValidUntil->setDate(QDate::currentDate().addYears(1));

    QStringList columns = calibrationHeader().trimmed().split(QLatin1Char(','), Qt::SkipEmptyParts);
    columns.removeFirst(); // the time: the table is of one pass
    m_ui->pointTable->setColumnCount(columns.size());
    m_ui->pointTable->setHorizontalHeaderLabels(columns);
    m_ui->pointTable->verticalHeader()->hide();

    connect(m_ui->btnTakePoint, &QPushButton::clicked, this, &CalibrationWindow::takePoint);
    connect(m_ui->btnUndoPoint, &QPushButton::clicked, this, &CalibrationWindow::undoPoint);
    connect(m_ui->btnFinishCalibration, &QPushButton::clicked, this, &CalibrationWindow::finishCalibration);
    connect(m_output, &CalibrationOutput::told, this, &CalibrationWindow::tell);
    // The reference may be marked or unmarked while the window is open.
    connect(m_devices, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &, const QModelIndex &, const QVector<int> &roles) {
                if (roles.isEmpty() || roles.contains(ReferenceRole))
                    updateState();
            });
    connect(m_devices, &QAbstractItemModel::rowsRemoved, this, &CalibrationWindow::updateState);
    connect(m_devices, &QAbstractItemModel::rowsInserted, this, &CalibrationWindow::updateState);
    // The pass keeps the readings of the averaging time shown, pass or not.
    m_pass->setAveragingMs(m_ui->averagingSeconds->value() * 1000);
    connect(m_ui->averagingSeconds, QOverload<int>::of(&QSpinBox::valueChanged), this,
            [this](int seconds) { m_pass->setAveragingMs(seconds * 1000); });
    m_live.setInterval(LiveRefreshMs);
    connect(&m_live, &QTimer::timeout, this, &CalibrationWindow::refreshLive);
    m_live.start();
    updateState();
    refreshLive();
}

CalibrationWindow::~CalibrationWindow() = default;

void CalibrationWindow::setPolling(bool polling)
{
    m_polling = polling;
    updateState();
}

int CalibrationWindow::markedReference() const
{
    if (m_pass->isRunning())
        return m_pass->setup().reference.address;
    return referenceAddress(m_devices);
}

QString CalibrationWindow::referenceUnit() const
{
    const int address = markedReference();
    if (address == 0)
        return m_ui->typedReferenceUnit->currentText();
    for (int row = 0; row < m_devices->rowCount(); ++row) {
        const ItemData record = qvariant_cast<ItemData>(m_devices->index(row, 0).data(ItemDataRole));
        if (record.address == address)
            return record.unit;
    }
    return m_ui->typedReferenceUnit->currentText();
}

int CalibrationWindow::decimalsOf(int address) const
{
    for (int row = 0; row < m_devices->rowCount(); ++row) {
        const ItemData record = qvariant_cast<ItemData>(m_devices->index(row, 0).data(ItemDataRole));
        if (record.address == address)
            return record.decimals;
    }
    return 0;
}

ReferenceInstrument CalibrationWindow::referenceFromFields() const
{
    ReferenceInstrument reference;
    reference.address = markedReference();
    reference.unit = referenceUnit();
    reference.name = m_ui->referenceName->text().trimmed();
    reference.serialNumber = m_ui->referenceSerial->text().trimmed();
    reference.certificate = m_ui->referenceCertificate->text().trimmed();
    reference.validUntil = m_ui->referenceValidUntil->date();
    reference.accuracy = numberIn(m_ui->referenceAccuracy).value_or(0.0);
    reference.accuracyUnit = m_ui->referenceAccuracyUnit->currentText();
    return reference;
}

std::optional<CalibrationSetup> CalibrationWindow::setupFromFields(QString *problem) const
{
    CalibrationSetup setup;
    const auto percents = percentsIn(m_ui->nominalPoints->text());
    if (!percents) {
        *problem = tr("名义点应为 0 到 100 之间递增的百分数，至少两个，例如 0, 25, 50, 75, 100");
        return std::nullopt;
    }
    setup.nominalPercents = *percents;
    setup.averagingMs = m_ui->averagingSeconds->value() * 1000;
    setup.reference = referenceFromFields();
    if (!(setup.reference.accuracy > 0)) {
        *problem = tr("请填写参考的准确度（大于 0）：扩展不确定度与测试不确定度比由它得出");
        return std::nullopt;
    }
    if (!m_ui->steadyThreshold->text().trimmed().isEmpty()) {
        const auto threshold = numberIn(m_ui->steadyThreshold);
        const PressureUnit *unit = findPressureUnit(setup.reference.unit);
        if (!threshold || *threshold <= 0 || !unit) {
            *problem = tr("稳定阈值应为大于 0 的数，或留空");
            return std::nullopt;
        }
        setup.steadyThresholdPa = *threshold / unit->perPascal;
    }
    setup.operatorName = m_ui->operatorName->text().trimmed();
    setup.ambientTemperature = numberIn(m_ui->ambientTemperature).value_or(std::nan(""));
    setup.ambientHumidity = numberIn(m_ui->ambientHumidity).value_or(std::nan(""));
    return setup;
}

void CalibrationWindow::takePoint()
{
    if (!m_polling)
        return;
    const QDateTime clicked = QDateTime::currentDateTime();
    QString problem;
    const auto setup = setupFromFields(&problem);
    if (!setup) {
        tell(problem);
        return;
    }
    std::optional<double> typed;
    if (setup->reference.isTyped()) {
        typed = numberIn(m_ui->typedReference);
        if (!typed) {
            tell(tr("请输入此点的参考值（%1）").arg(setup->reference.unit));
            return;
        }
    }
    if (!m_pass->isRunning()) {
        const Result<bool> begun = m_pass->begin(*setup, clicked);
        if (!begun.ok()) {
            tell(begun.error());
            return;
        }
        if (!m_output->begin(clicked, m_pass->deviceDecimals())) {
            m_pass->finish(clicked);
            tell(tr("未选择保存校准文件的文件夹，校准未开始"));
            updateState();
            return;
        }
        m_ui->pointTable->setRowCount(0);
    }
    m_pass->setAveragingMs(setup->averagingMs);
    m_pass->setSteadyThresholdPa(setup->steadyThresholdPa);
    const Result<QVector<PointOutcome>> point = m_pass->takePoint(clicked, typed);
    if (!point.ok()) {
        tell(point.error());
        updateState();
        return;
    }
    m_output->append(point.value());
    showOutcomes(point.value());
    int failed = 0;
    for (const PointOutcome &outcome : point.value())
        failed += outcome.passed ? 0 : 1;
    tell(tr("第 %1 点已记录：%2 台设备，%3 台不合格").arg(m_pass->pointCount()).arg(point.value().size()).arg(failed));
    if (setup->reference.isTyped())
        m_ui->typedReference->clear();
    updateState();
    refreshLive();
}

void CalibrationWindow::undoPoint()
{
    const QVector<PointOutcome> undone = m_pass->undoPoint();
    if (undone.isEmpty())
        return;
    m_output->retract(undone);
    m_ui->pointTable->setRowCount(std::max(0, m_ui->pointTable->rowCount() - undone.size()));
    tell(tr("第 %1 点已撤销").arg(undone.first().pointIndex));
    updateState();
    refreshLive();
}

void CalibrationWindow::finishCalibration()
{
    if (!m_pass->isRunning() || m_pass->pointCount() == 0)
        return;
    const QString operatorName = m_ui->operatorName->text().trimmed();
    if (operatorName.isEmpty()) {
        tell(tr("请填写操作员：证书上要写明"));
        return;
    }
    CalibrationResult result = m_pass->finish(QDateTime::currentDateTime());
    result.station = m_station();
    result.line = m_line();
    result.operatorName = operatorName;
    result.ambientTemperature = numberIn(m_ui->ambientTemperature).value_or(std::nan(""));
    result.ambientHumidity = numberIn(m_ui->ambientHumidity).value_or(std::nan(""));
    // Names and dates may be completed until the end; the accuracy the
    // points were worked out with stays.
    const ReferenceInstrument typed = referenceFromFields();
    result.reference.name = typed.name;
    result.reference.serialNumber = typed.serialNumber;
    result.reference.certificate = typed.certificate;
    result.reference.validUntil = typed.validUntil;
    m_output->finish(result);
    updateState();
}

void CalibrationWindow::showOutcomes(const QVector<PointOutcome> &outcomes)
{
    for (const PointOutcome &outcome : outcomes) {
        QStringList fields = calibrationFields(outcome, m_pass->deviceDecimals().value(outcome.address), false);
        fields.removeFirst();
        const int row = m_ui->pointTable->rowCount();
        m_ui->pointTable->insertRow(row);
        for (int column = 0; column < fields.size(); ++column) {
            auto *item = new QTableWidgetItem(fields.at(column));
            if (!outcome.passed)
                item->setForeground(Qt::red);
            m_ui->pointTable->setItem(row, column, item);
        }
    }
    m_ui->pointTable->scrollToBottom();
}

void CalibrationWindow::refreshLive()
{
    if (!isVisible())
        return;
    const QString unitName = referenceUnit();
    if (markedReference() == 0) {
        m_ui->liveReference->setText(tr("参考：人工输入（%1）").arg(unitName));
    } else {
        const LiveReference live = m_pass->liveReference(QDateTime::currentDateTime());
        const PressureUnit *unit = findPressureUnit(unitName);
        if (!live.known || !unit) {
            m_ui->liveReference->setText(tr("参考表（地址 %1）：平均时间内无读数").arg(markedReference()));
        } else {
            const int decimals = decimalsOf(markedReference()) + 2;
            m_ui->liveReference->setText(tr("参考表（地址 %1）：%2 %3，标准差 %4，%5 个读数，%6")
                                             .arg(markedReference())
                                             .arg(number(live.meanPa * unit->perPascal, decimals), unitName,
                                                  number(live.standardDeviationPa * unit->perPascal, decimals))
                                             .arg(live.count)
                                             .arg(live.steady ? tr("稳定") : tr("不稳定")));
        }
    }
    const int sequence = 2 * m_pass->setup().nominalPercents.size() - 1;
    if (m_pass->isRunning() && m_pass->pointCount() >= sequence)
        m_ui->nextPoint->setText(tr("各名义点均已上行与下行记录，可完成校准"));
    else if (m_pass->isRunning())
        m_ui->nextPoint->setText(tr("下一点：%1 %FS %2")
                                     .arg(m_pass->expectedPercent())
                                     .arg(m_pass->expectedRising() ? tr("上行") : tr("下行")));
    else
        m_ui->nextPoint->setText(tr("下一点：第一点"));
}

void CalibrationWindow::updateState()
{
    const bool running = m_pass->isRunning();
    const int reference = markedReference();
    m_ui->referenceSource->setText(reference == 0 ? tr("参考：人工输入，每点输入参考值")
                                                  : tr("参考：参考表，地址 %1").arg(reference));
    m_ui->typedReference->setEnabled(reference == 0);
    // What the points already taken were worked out with stays for the pass.
    m_ui->typedReferenceUnit->setEnabled(!running && reference == 0);
    m_ui->nominalPoints->setEnabled(!running);
    m_ui->referenceAccuracy->setEnabled(!running);
    m_ui->referenceAccuracyUnit->setEnabled(!running);
    m_ui->btnTakePoint->setEnabled(m_polling);
    m_ui->btnUndoPoint->setEnabled(running && m_pass->pointCount() > 0);
    m_ui->btnFinishCalibration->setEnabled(running && m_pass->pointCount() > 0);
}

void CalibrationWindow::tell(const QString &text)
{
    m_ui->calibrationStatus->setText(text);
}
