#pragma once

#include "benchform.h"

namespace Ui {
class MainWindow;
}

// The window form's boxes, as the list's actions and the scan see them.
class FormChoices : public BenchForm
{
public:
    explicit FormChoices(Ui::MainWindow *ui);

    LineChoices lineChoices() const override;
    void setLineChoices(const LineChoices &line) override;
    OfferedValues offeredValues() const override;
    DeviceEntry deviceChoice() const override;

private:
    Ui::MainWindow *const m_ui;
};
