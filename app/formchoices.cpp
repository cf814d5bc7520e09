#include "formchoices.h"
#include "ui_mainwindow.h"

namespace {

QStringList itemTexts(const QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

IntRange spinRange(const QSpinBox *box)
{
    return {box->minimum(), box->maximum()};
}

} // namespace

FormChoices::FormChoices(Ui::MainWindow *ui)
    : m_ui(ui)
{
}

LineChoices FormChoices::lineChoices() const
{
    return {m_ui->cboxPortName->currentText(), m_ui->cboxBaudRate->currentText(),
            m_ui->cboxParity->currentText(), m_ui->cboxDataBit->currentText(),
            m_ui->cboxStopBit->currentText()};
}

void FormChoices::setLineChoices(const LineChoices &line)
{
    m_ui->cboxPortName->setCurrentText(line.port);
    m_ui->cboxBaudRate->setCurrentText(line.baudRate);
    m_ui->cboxParity->setCurrentText(line.parity);
    m_ui->cboxDataBit->setCurrentText(line.dataBits);
    m_ui->cboxStopBit->setCurrentText(line.stopBits);
}

OfferedValues FormChoices::offeredValues() const
{
    OfferedValues offered;
    offered.baudRates = itemTexts(m_ui->cboxBaudRate);
    offered.parities = itemTexts(m_ui->cboxParity);
    offered.dataBits = itemTexts(m_ui->cboxDataBit);
    offered.stopBits = itemTexts(m_ui->cboxStopBit);
    offered.decimals = spinRange(m_ui->spinBox_dotnum);
    offered.recordPeriod = spinRange(m_ui->spinBox_period);
    return offered;
}

DeviceEntry FormChoices::deviceChoice() const
{
    DeviceEntry device;
    device.unit = m_ui->cBoxUnit->currentText();
    device.decimals = m_ui->spinBox_dotnum->value();
    device.recordPeriod = m_ui->spinBox_period->value();
    return device;
}
