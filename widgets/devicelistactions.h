#pragma once

#include "devicelistfile.h"

#include <QFileDialog>
#include <QList>
#include <QObject>

class BenchForm;
class MapLibrary;
class ModbusLine;
class Publisher;
class RecordingSession;
class QAbstractItemView;
class QAction;
class QMenu;
class QStandardItemModel;
class QWidget;

// Saving and opening device lists from the window: the tile area's context
// menu and the window's Ctrl+S and Ctrl+O. Further actions on the list are
// appended to contextMenu().
class DeviceListActions : public QObject
{
    Q_OBJECT

public:
    // The context menu opens on `view`, which shows `devices`; the line's
    // settings in a file are taken into `form` only while `line` is closed.
    // Devices name their register maps in `maps`, where a list's maps go.
    DeviceListActions(QWidget *window, QAbstractItemView *view, QStandardItemModel *devices, BenchForm *form,
                      const ModbusLine *line, MapLibrary *maps);

    QMenu *contextMenu() const { return m_menu; }

    // Appends the devices whose addresses are not listed yet, each as
    // 添加到列表 would, read with the map of `maps` their entry names, with
    // its limits, calibration settings and the reference mark; returns
    // the addresses that were listed already. A device naming a map `maps`
    // does not hold is left out, and the operator told so.
    QList<int> addDevices(const QVector<DeviceEntry> &devices);

    // Lists are saved with the publishing settings, and opening one with
    // them hands them over.
    void setPublisher(Publisher *publisher) { m_publisher = publisher; }
    // While it records, a file's map never changes a map devices are read with.
    void setRecording(const RecordingSession *recording) { m_recording = recording; }

private:
    struct Added
    {
        QList<int> listedAlready;
        // One line per device left out for its map.
        QStringList unknownMaps;
        // Told when a device added is marked as the reference while the
        // bench has one; empty otherwise.
        QString referenceKept;
    };

    Added add(const QVector<DeviceEntry> &devices);
    // Every map the library holds, and any other a listed device is read with.
    QVector<RegisterMap> mapsToSave() const;
    // Takes a list's maps into the library; listed devices read with a map
    // of the same name are read with the file's from now on.
    // Stores the file's maps and gives the listed devices their new contents;
    // returns what the operator is to be told of maps left as they were.
    QStringList takeMaps(const QVector<RegisterMap> &maps);
    QAction *newAction(const QString &text, const char *name, Qt::Key key);
    // Asks for a list file; an empty path when the operator cancels.
    QString askPath(QFileDialog::AcceptMode mode);
    void save();
    void open();
    void notify(const QString &text);

    QWidget *const m_window;
    QStandardItemModel *const m_devices;
    BenchForm *const m_form;
    const ModbusLine *const m_line;
    MapLibrary *const m_maps;
    QMenu *m_menu = nullptr;
    Publisher *m_publisher = nullptr;
    const RecordingSession *m_recording = nullptr;
    // Where the last list was saved or opened, for this run only.
    QString m_directory;
};
