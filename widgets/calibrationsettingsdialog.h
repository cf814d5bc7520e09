#pragma once

#include "calibrationsettings.h"

#include <QDialog>
#include <QSet>
#include <QVector>

#include <memory>
#include <optional>

class QLineEdit;

namespace Ui {
class CalibrationSettingsDialog;
}

// The dialog's six fields as typed, serial number, model, tag, range low,
// range high, accuracy class; a field left alone for devices that differ
// there is nullopt.
struct CalibrationTexts
{
    std::optional<QString> serialNumber;
    std::optional<QString> model;
    std::optional<QString> tag;
    std::optional<QString> rangeLow;
    std::optional<QString> rangeHigh;
    std::optional<QString> accuracy;
};

// One device's settings after the dialog: `own` where a text is nullopt,
// the text elsewhere (empty: not given). Refused whole, with the field named,
// like the device-list file.
Result<CalibrationSettings> calibrationFromTexts(const CalibrationSettings &own, const CalibrationTexts &texts);

// A device as the dialog shows it.
struct CalibratedDevice
{
    int address = 0;
    QString unit;
    CalibrationSettings settings;
};

// Sets the calibration settings of one device or of several at once. For
// several, the serial number stays each device's own, a field shows the
// value they share or is left empty (（多个值）) and then keeps each one's,
// and the range is set only for devices of one unit. Accepting is refused
// while a device's settings have a problem, which the dialog names.
class CalibrationSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CalibrationSettingsDialog(const QVector<CalibratedDevice> &devices, QWidget *parent = nullptr);
    ~CalibrationSettingsDialog() override;

    // The devices in the order given, with the settings accepted.
    QVector<CalibratedDevice> devices() const { return m_devices; }

    void accept() override;

private:
    // Shows the devices' common text, or none and the placeholder.
    void showValues(QLineEdit *field, const QStringList &values);
    std::optional<QString> typed(const QLineEdit *field) const;

    std::unique_ptr<Ui::CalibrationSettingsDialog> ui;
    QVector<CalibratedDevice> m_devices;
    // The fields that showed differing values.
    QSet<const QLineEdit *> m_mixed;
};
