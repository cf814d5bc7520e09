#pragma once

#include "devicelimits.h"

#include <QDialog>

class QLabel;
class QLineEdit;

// The six numbers as typed, in the order pressure low, high, dead band,
// temperature low, high, dead band: an empty limit is not set, an empty dead
// band is 0. Refused whole, with the field named, like the device-list file.
Result<Limits> limitsFromTexts(const QStringList &texts);

// Sets one device's limits. Accepting is refused while the numbers have a
// problem, which the dialog names.
class LimitsDialog : public QDialog
{
    Q_OBJECT

public:
    LimitsDialog(int address, const QString &unit, const Limits &limits, QWidget *parent = nullptr);

    Limits limits() const { return m_limits; }

    void accept() override;

private:
    QLineEdit *newField(const char *name, const std::optional<double> &value);

    QLineEdit *m_fields[6] = {};
    QLabel *m_problem;
    Limits m_limits;
};
