#include "mapfieldeditor.h"
#include "ui_mapfieldeditor.h"

#include "units.h"

#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <cstddef>

namespace {

constexpr ValueType types[] = {ValueType::Int16, ValueType::UInt16, ValueType::Int32, ValueType::UInt32,
                               ValueType::Float32};
constexpr ByteOrder byteOrders[] = {ByteOrder::ABCD, ByteOrder::CDAB, ByteOrder::BADC, ByteOrder::DCBA};

template <typename T, std::size_t N>
int indexOf(const T (&values)[N], T value)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (values[i] == value)
            return int(i);
    }
    return 0;
}

QString numberText(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

// A number as typed, with a point for decimals whatever the locale.
std::optional<double> numberOf(const QString &text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

QStringList parts(const QString &text)
{
    return text.split(QRegularExpression(QStringLiteral("[,，;；\\s]+")), Qt::SkipEmptyParts);
}

// A raw value as manuals print it: decimal, negative, or 0x hexadecimal.
std::optional<qint64> markerOf(const QString &text)
{
    bool ok = false;
    const qint64 value = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? text.mid(2).toLongLong(&ok, 16)
                                                                                  : text.toLongLong(&ok, 10);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

QString markerText(qint64 marker)
{
    if (marker < 0)
        return QString::number(marker);
    return QLatin1String("0x") + QString::number(marker, 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

} // namespace

QString registerNumber(RegisterKind kind, int address)
{
    const int digit = kind == RegisterKind::Holding ? 4 : 3;
    if (address < 9999)
        return QString::number(digit * 10000 + address + 1);
    return QString::number(digit * 100000 + address + 1);
}

MapFieldEditor::MapFieldEditor(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::MapFieldEditor>())
{
    ui->setupUi(this);
    ui->unitBox->addItems(pressureUnitNames());

    const auto edited = [this] { emit this->edited(); };
    for (QSpinBox *box : {ui->addressBox, ui->decimalsRegisterBox, ui->unitRegisterBox}) {
        connect(box, QOverload<int>::of(&QSpinBox::valueChanged), this, &MapFieldEditor::showRegisterNumbers);
        connect(box, QOverload<int>::of(&QSpinBox::valueChanged), this, edited);
    }
    for (QComboBox *box : {ui->typeBox, ui->byteOrderBox, ui->unitBox})
        connect(box, QOverload<int>::of(&QComboBox::currentIndexChanged), this, edited);
    connect(ui->typeBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &MapFieldEditor::showApplicableEntries);
    for (QCheckBox *check : {ui->decimalsRegisterCheck, ui->unitRegisterCheck}) {
        connect(check, &QCheckBox::toggled, this, &MapFieldEditor::showApplicableEntries);
        connect(check, &QCheckBox::toggled, this, edited);
    }
    for (QLineEdit *edit : {ui->scaleEdit, ui->offsetEdit, ui->unitCodesEdit, ui->invalidEdit})
        connect(edit, &QLineEdit::textEdited, this, edited);
    showRegisterNumbers();
    showApplicableEntries();
}

MapFieldEditor::~MapFieldEditor() = default;

void MapFieldEditor::setQuantity(bool temperature, const QString &caption)
{
    m_temperature = temperature;
    m_caption = caption;
    ui->unitBox->clear();
    ui->unitBox->addItems(temperature ? QStringList{celsiusUnit()} : pressureUnitNames());
    for (QWidget *entry : {static_cast<QWidget *>(ui->unitRegisterCheck), static_cast<QWidget *>(ui->unitRegisterBox),
                           static_cast<QWidget *>(ui->unitRegisterNumber), static_cast<QWidget *>(ui->unitCodesLabel),
                           static_cast<QWidget *>(ui->unitCodesEdit)})
        entry->setVisible(!temperature);
    showApplicableEntries();
}

void MapFieldEditor::setKind(RegisterKind kind)
{
    m_kind = kind;
    showRegisterNumbers();
}

void MapFieldEditor::setField(const MapField &field)
{
    const QSignalBlocker blocker(this);
    ui->addressBox->setValue(field.address);
    ui->typeBox->setCurrentIndex(indexOf(types, field.type));
    ui->byteOrderBox->setCurrentIndex(indexOf(byteOrders, field.byteOrder));
    ui->scaleEdit->setText(numberText(field.scale));
    ui->offsetEdit->setText(numberText(field.offset));
    ui->unitBox->setCurrentIndex(std::max(0, ui->unitBox->findText(field.unit)));
    ui->decimalsRegisterCheck->setChecked(field.decimalsRegister.has_value());
    ui->decimalsRegisterBox->setValue(field.decimalsRegister.value_or(0));
    ui->unitRegisterCheck->setChecked(field.unitRegister.has_value());
    ui->unitRegisterBox->setValue(field.unitRegister.value_or(0));
    QStringList codes;
    for (auto it = field.unitCodes.cbegin(); it != field.unitCodes.cend(); ++it)
        codes << QStringLiteral("%1=%2").arg(it.key()).arg(it.value());
    ui->unitCodesEdit->setText(codes.join(QLatin1String(", ")));
    QStringList markers;
    for (const qint64 marker : field.invalid)
        markers << markerText(marker);
    ui->invalidEdit->setText(markers.join(QLatin1String(", ")));
    showRegisterNumbers();
    showApplicableEntries();
}

Result<MapField> MapFieldEditor::field() const
{
    MapField field;
    field.address = ui->addressBox->value();
    field.type = types[ui->typeBox->currentIndex()];
    field.byteOrder = byteOrders[ui->byteOrderBox->currentIndex()];
    const std::optional<double> scale = numberOf(ui->scaleEdit->text());
    if (!scale)
        return Failure{refusal(tr("倍率 (scale)"), ui->scaleEdit->text())};
    field.scale = *scale;
    const std::optional<double> offset = numberOf(ui->offsetEdit->text());
    if (!offset)
        return Failure{refusal(tr("偏移 (offset)"), ui->offsetEdit->text())};
    field.offset = *offset;
    if (ui->decimalsRegisterCheck->isChecked())
        field.decimalsRegister = ui->decimalsRegisterBox->value();
    if (!m_temperature && ui->unitRegisterCheck->isChecked()) {
        field.unitRegister = ui->unitRegisterBox->value();
        for (const QString &pair : parts(ui->unitCodesEdit->text())) {
            const int equals = pair.indexOf(QLatin1Char('='));
            bool isCode = false;
            const int code = pair.left(equals).toInt(&isCode);
            const QString unit = pair.mid(equals + 1);
            if (equals < 0 || !isCode || code < 0 || code > 0xFFFF || unit.isEmpty())
                return Failure{refusal(tr("单位代码 (unitCodes)"), pair)};
            field.unitCodes.insert(code, unit);
        }
    } else {
        field.unit = ui->unitBox->currentText();
    }
    for (const QString &text : parts(ui->invalidEdit->text())) {
        const std::optional<qint64> marker = markerOf(text);
        if (!marker)
            return Failure{refusal(tr("无效值 (invalid)"), text)};
        field.invalid.append(*marker);
    }
    return field;
}

QString MapFieldEditor::refusal(const QString &entry, const QString &text) const
{
    return tr("%1：%2 \"%3\" 看不懂").arg(m_caption, entry, text);
}

void MapFieldEditor::showRegisterNumbers()
{
    ui->addressNumber->setText(registerNumber(m_kind, ui->addressBox->value()));
    ui->decimalsRegisterNumber->setText(registerNumber(m_kind, ui->decimalsRegisterBox->value()));
    ui->unitRegisterNumber->setText(registerNumber(m_kind, ui->unitRegisterBox->value()));
}

void MapFieldEditor::showApplicableEntries()
{
    const bool wide = types[ui->typeBox->currentIndex()] != ValueType::Int16
                      && types[ui->typeBox->currentIndex()] != ValueType::UInt16;
    ui->byteOrderBox->setEnabled(wide);
    ui->decimalsRegisterBox->setEnabled(ui->decimalsRegisterCheck->isChecked());
    ui->decimalsRegisterNumber->setEnabled(ui->decimalsRegisterCheck->isChecked());
    const bool unitRegister = !m_temperature && ui->unitRegisterCheck->isChecked();
    ui->unitRegisterBox->setEnabled(unitRegister);
    ui->unitRegisterNumber->setEnabled(unitRegister);
    ui->unitCodesEdit->setEnabled(unitRegister);
    ui->unitBox->setEnabled(!unitRegister && !m_temperature);
}
