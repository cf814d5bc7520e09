#pragma once

#include "registermap.h"

#include <QList>
#include <QObject>

class BenchForm;
class BusScan;
class DeviceListActions;
class MapLibrary;
class ModbusLine;
class PollCycle;
class Polling;
class QDialog;
class QLabel;
class QProgressBar;
class QStandardItemModel;
class QWidget;

// Scanning the line from the tile area's context menu: asks for a range of
// addresses, shows how far the scan is and what it found, and offers to list
// the devices found that are not listed yet, with the unit, decimals and
// record period the window shows and the map for new devices. Each address
// is asked for that map's first range of registers. The progress dialog is window-modal, so
// nothing can start polling, close the port or change the list meanwhile.
class BusScanDialog : public QObject
{
    Q_OBJECT

public:
    BusScanDialog(QWidget *window, QStandardItemModel *devices, DeviceListActions *listActions,
                  const BenchForm *form, ModbusLine *line, const PollCycle *cycle, const Polling *polling,
                  const MapLibrary *maps);

private:
    void scan();
    // Says what to do first when the line cannot be scanned now.
    bool refused();
    // Asks for the range to scan; false when the operator cancels.
    bool askRange();
    void showProgress(int probed, int total);
    void showFound();
    void end(bool cancelled);
    QString summary(bool cancelled, const QList<int> &listed) const;
    void offer(const QString &summary, const QList<int> &fresh);
    void notify(const QString &title, const QString &text);

    QWidget *const m_window;
    QStandardItemModel *const m_devices;
    DeviceListActions *const m_listActions;
    const BenchForm *const m_form;
    const ModbusLine *const m_line;
    const Polling *const m_polling;
    const MapLibrary *const m_maps;
    // The map for new devices when the scan began: probed with, and given
    // to the devices found.
    RegisterMap m_map;
    BusScan *const m_scan;
    QDialog *const m_progress;
    QLabel *const m_probing;
    QProgressBar *const m_bar;
    QLabel *const m_found;
    int m_first = 0;
    int m_last = 0;
    int m_probed = 0;
};
