#include "calibrationsettingsdialog.h"
#include "ui_calibrationsettingsdialog.h"

#include <QJsonObject>
#include <QLocale>
#include <QPushButton>

#include <functional>

namespace {

QString numberText(const std::optional<double> &value)
{
    return value ? QString::number(*value, 'g', QLocale::FloatingPointShortest) : QString();
}

// Every device's text of one field.
QStringList valuesOf(const QVector<CalibratedDevice> &devices,
                     const std::function<QString(const CalibrationSettings &)> &text)
{
    QStringList values;
    for (const CalibratedDevice &device : devices)
        values << text(device.settings);
    return values;
}

} // namespace

Result<CalibrationSettings> calibrationFromTexts(const CalibrationSettings &own, const CalibrationTexts &texts)
{
    // The file's reader names the fields and checks the values: the dialog
    // hands it the object a file would hold.
    QJsonObject object = calibrationToJson(own);
    const auto take = [&object](const char *key, const std::optional<QString> &typed, bool number) {
        if (!typed)
            return;
        const QString text = typed->trimmed();
        object.remove(QLatin1String(key));
        if (text.isEmpty())
            return;
        bool ok = false;
        const double value = number ? text.toDouble(&ok) : 0.0;
        object.insert(QLatin1String(key), ok ? QJsonValue(value) : QJsonValue(text));
    };
    take("serialNumber", texts.serialNumber, false);
    take("model", texts.model, false);
    take("tag", texts.tag, false);
    take("rangeLow", texts.rangeLow, true);
    take("rangeHigh", texts.rangeHigh, true);
    take("accuracy", texts.accuracy, true);
    return calibrationFromJson(object);
}

CalibrationSettingsDialog::CalibrationSettingsDialog(const QVector<CalibratedDevice> &devices, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::CalibrationSettingsDialog>())
    , m_devices(devices)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("calibrationSettingsDialog"));

    QStringList addresses;
    QStringList units;
    for (const CalibratedDevice &device : devices) {
        addresses << QString::number(device.address);
        if (!units.contains(device.unit))
            units << device.unit;
    }
    ui->devicesLabel->setText(tr("设备地址 %1").arg(addresses.join(tr("、"))));

    showValues(ui->serialNumber, valuesOf(devices, [](const CalibrationSettings &s) { return s.serialNumber; }));
    showValues(ui->deviceModel, valuesOf(devices, [](const CalibrationSettings &s) { return s.model; }));
    showValues(ui->tag, valuesOf(devices, [](const CalibrationSettings &s) { return s.tag; }));
    showValues(ui->rangeLow, valuesOf(devices, [](const CalibrationSettings &s) { return numberText(s.rangeLow); }));
    showValues(ui->rangeHigh, valuesOf(devices, [](const CalibrationSettings &s) { return numberText(s.rangeHigh); }));
    // No class is offered before the operator picks one.
    ui->accuracyClass->setCurrentIndex(-1);
    showValues(ui->accuracyClass->lineEdit(),
               valuesOf(devices, [](const CalibrationSettings &s) { return numberText(s.accuracy); }));

    // Each transmitter has a serial number of its own.
    ui->serialNumber->setEnabled(devices.size() == 1);
    // A range means nothing without its unit.
    if (units.size() == 1) {
        ui->rangeLowUnit->setText(units.first());
        ui->rangeHighUnit->setText(units.first());
    } else {
        const QString why = tr("所选设备的单位不同（%1），量程不能一起设置").arg(units.join(tr("、")));
        for (QWidget *field : {static_cast<QWidget *>(ui->rangeLow), static_cast<QWidget *>(ui->rangeHigh)}) {
            field->setEnabled(false);
            field->setToolTip(why);
        }
    }

    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &CalibrationSettingsDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &CalibrationSettingsDialog::reject);
}

CalibrationSettingsDialog::~CalibrationSettingsDialog() = default;

void CalibrationSettingsDialog::showValues(QLineEdit *field, const QStringList &values)
{
    if (values.count(values.value(0)) == values.size()) {
        field->setText(values.value(0));
        return;
    }
    field->clear();
    field->setPlaceholderText(tr("（多个值）"));
    m_mixed.insert(field);
}

std::optional<QString> CalibrationSettingsDialog::typed(const QLineEdit *field) const
{
    if (!field->isEnabled() || (m_mixed.contains(field) && field->text().isEmpty()))
        return std::nullopt;
    return field->text();
}

void CalibrationSettingsDialog::accept()
{
    const CalibrationTexts texts{typed(ui->serialNumber), typed(ui->deviceModel), typed(ui->tag),
                                 typed(ui->rangeLow),     typed(ui->rangeHigh),   typed(ui->accuracyClass->lineEdit())};
    QVector<CalibratedDevice> accepted = m_devices;
    for (CalibratedDevice &device : accepted) {
        const Result<CalibrationSettings> settings = calibrationFromTexts(device.settings, texts);
        if (!settings.ok()) {
            ui->calibrationProblem->setText(accepted.size() == 1
                                                ? settings.error()
                                                : tr("设备地址 %1：%2").arg(device.address).arg(settings.error()));
            return;
        }
        device.settings = settings.value();
    }
    m_devices = accepted;
    QDialog::accept();
}
