#pragma once

#include "calibrationresult.h"

#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class CalibrationOutput;
class CalibrationPass;
class QStandardItemModel;
struct CalibrationSetup;

namespace Ui {
class CalibrationWindow;
}

// The window of a calibration pass: the operator sets the nominal points,
// the averaging time and the reference, watches the reference settle, takes
// each point with 记录此点 and ends the pass with 完成校准. A window of its
// own, never modal; it only hands clicks to the pass and its files, and
// waits on neither the line nor the disk.
class CalibrationWindow : public QWidget
{
    Q_OBJECT

public:
    // `station` and `line` name the bench on the certificates.
    CalibrationWindow(QStandardItemModel *devices, CalibrationPass *pass, CalibrationOutput *output,
                      std::function<QString()> station, std::function<QString()> line, QWidget *parent = nullptr);
    ~CalibrationWindow() override;

    // Points are taken only while the bench polls.
    void setPolling(bool polling);

    void takePoint();
    void undoPoint();
    void finishCalibration();

private:
    // The setup as the fields give it, or the first problem with them.
    std::optional<CalibrationSetup> setupFromFields(QString *problem) const;
    ReferenceInstrument referenceFromFields() const;
    // The listed device marked 参考表, 0 when none.
    int markedReference() const;
    QString referenceUnit() const;
    int decimalsOf(int address) const;
    void showOutcomes(const QVector<PointOutcome> &outcomes);
    void refreshLive();
    void updateState();
    void tell(const QString &text);

    const std::unique_ptr<Ui::CalibrationWindow> m_ui;
    QStandardItemModel *const m_devices;
    CalibrationPass *const m_pass;
    CalibrationOutput *const m_output;
    const std::function<QString()> m_station;
    const std::function<QString()> m_line;
    QTimer m_live;
    bool m_polling = false;
};
