#pragma once

#include "registermap.h"
#include "result.h"

#include <QWidget>

#include <memory>

namespace Ui {
class MapFieldEditor;
}

// The entries of one quantity of a register map, pressure or temperature:
// each address typed from 0 with its register number (30001, 40001 style)
// beside it, following the map's register kind.
class MapFieldEditor : public QWidget
{
    Q_OBJECT

public:
    explicit MapFieldEditor(QWidget *parent = nullptr);
    ~MapFieldEditor() override;

    // A temperature is in °C and has no unit register. `caption` names the
    // quantity in refusals.
    void setQuantity(bool temperature, const QString &caption);
    void setKind(RegisterKind kind);
    void setField(const MapField &field);
    // The field as typed, or the entry that is not a field's, named.
    Result<MapField> field() const;

signals:
    void edited();

private:
    void showRegisterNumbers();
    void showApplicableEntries();
    QString refusal(const QString &entry, const QString &text) const;

    std::unique_ptr<Ui::MapFieldEditor> ui;
    RegisterKind m_kind = RegisterKind::Input;
    bool m_temperature = false;
    QString m_caption;
};

// The register number of `address` (0-based) as manuals print it: 30001 for
// input register 0, 40001 for holding register 0; six digits (300001 style)
// beyond register 9999.
QString registerNumber(RegisterKind kind, int address);
