#include "limitsdialog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QVBoxLayout>

namespace {

const char *const FieldKeys[6] = {"pressureLow",    "pressureHigh",    "pressureDeadband",
                                  "temperatureLow", "temperatureHigh", "temperatureDeadband"};

} // namespace

Result<Limits> limitsFromTexts(const QStringList &texts)
{
    // The file's reader names the fields and checks the numbers: the dialog
    // hands it the same object a file would hold.
    QJsonObject object;
    for (int i = 0; i < 6; ++i) {
        const QString text = texts.value(i).trimmed();
        if (text.isEmpty())
            continue;
        bool ok = false;
        const double value = text.toDouble(&ok);
        object.insert(QLatin1String(FieldKeys[i]), ok ? QJsonValue(value) : QJsonValue(text));
    }
    return limitsFromJson(object);
}

LimitsDialog::LimitsDialog(int address, const QString &unit, const Limits &limits, QWidget *parent)
    : QDialog(parent)
    , m_problem(new QLabel(this))
    , m_limits(limits)
{
    setObjectName(QStringLiteral("limitsDialog"));
    setWindowTitle(tr("设备地址%1 限值设置").arg(address));

    auto *form = new QFormLayout;
    form->addRow(tr("压力下限 (%1)").arg(unit), m_fields[0] = newField("pressureLow", limits.pressureLow));
    form->addRow(tr("压力上限 (%1)").arg(unit), m_fields[1] = newField("pressureHigh", limits.pressureHigh));
    form->addRow(tr("压力回差 (%1)").arg(unit),
                 m_fields[2] = newField("pressureDeadband", limits.pressureDeadband));
    form->addRow(tr("温度下限 (℃)"), m_fields[3] = newField("temperatureLow", limits.temperatureLow));
    form->addRow(tr("温度上限 (℃)"), m_fields[4] = newField("temperatureHigh", limits.temperatureHigh));
    form->addRow(tr("温度回差 (℃)"),
                 m_fields[5] = newField("temperatureDeadband", limits.temperatureDeadband));

    m_problem->setObjectName(QStringLiteral("limitsProblem"));
    m_problem->setStyleSheet(QStringLiteral("color: red"));
    m_problem->setWordWrap(true);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &LimitsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &LimitsDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("留空的限值不检查，留空的回差为 0。"), this));
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
}

QLineEdit *LimitsDialog::newField(const char *name, const std::optional<double> &value)
{
    auto *field = new QLineEdit(this);
    field->setObjectName(QLatin1String(name));
    // A dead band of 0 is the empty field's meaning: it stays empty.
    const bool deadband = QByteArray(name).endsWith("Deadband");
    if (value && !(deadband && *value == 0.0))
        field->setText(QString::number(*value, 'g', QLocale::FloatingPointShortest));
    return field;
}

void LimitsDialog::accept()
{
    QStringList texts;
    for (const QLineEdit *field : m_fields)
        texts << field->text();
    const Result<Limits> result = limitsFromTexts(texts);
    if (!result.ok()) {
        m_problem->setText(result.error());
        return;
    }
    m_limits = result.value();
    QDialog::accept();
}
