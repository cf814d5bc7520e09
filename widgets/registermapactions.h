#pragma once

#include <QObject>

class MapLibrary;
class ModbusLine;
class QAbstractItemView;
class QActionGroup;
class QMenu;
class QStandardItemModel;
class QWidget;
class RecordingSession;
class RegisterMapDialog;

// The tile area's context menu entries for register maps: 寄存器映射…,
// which opens the maps' window (made on first use and kept for the run),
// and the submenu of the map new devices get, whose caption always names
// it (新设备映射：标准).
class RegisterMapActions : public QObject
{
    Q_OBJECT

public:
    RegisterMapActions(QMenu *menu, MapLibrary *maps, QStandardItemModel *devices, QAbstractItemView *view,
                       ModbusLine *line, const RecordingSession *recording, QWidget *window);

    void showDialog();

private:
    void listChoices();
    void showNewDeviceMap();

    MapLibrary *const m_maps;
    QStandardItemModel *const m_devices;
    QAbstractItemView *const m_view;
    ModbusLine *const m_line;
    const RecordingSession *const m_recording;
    QWidget *const m_window;
    QMenu *const m_newDeviceMenu;
    QActionGroup *m_choices = nullptr;
    RegisterMapDialog *m_dialog = nullptr;
};
