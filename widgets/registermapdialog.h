#pragma once

#include "registermap.h"
#include "result.h"
#include "testread.h"

#include <QWidget>

#include <memory>

class MapLibrary;
class ModbusLine;
class QAbstractItemView;
class QStandardItemModel;
class RecordingSession;

namespace Ui {
class RegisterMapDialog;
}

// The bench's register maps in a window of their own: lists them (标准
// first, read-only but copyable), creates, edits, copies and deletes them,
// gives one to the devices whose tiles are selected, and reads an address
// once with the map being edited (试读). A map in use cannot be deleted, nor
// changed or given to devices while recording: a record file keeps to one
// layout. A map changed while not recording reaches its devices at once.
class RegisterMapDialog : public QWidget
{
    Q_OBJECT

public:
    RegisterMapDialog(MapLibrary *maps, QStandardItemModel *devices, QAbstractItemView *view, ModbusLine *line,
                      const RecordingSession *recording, QWidget *parent);
    ~RegisterMapDialog() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void showMaps();
    void showMap();
    void showUsage();
    QString currentName() const;
    void select(const QString &name);
    // The map as the entries show it, or the entry that is wrong, named.
    Result<RegisterMap> editedMap() const;

    void newMap();
    void copyMap();
    void deleteMap();
    void saveMap();
    void assignMap();
    void testRead();
    void showTestRead(const TestReadResult &result);
    QString uniqueName(const QString &base) const;
    void tell(const QString &text);

    std::unique_ptr<Ui::RegisterMapDialog> ui;
    MapLibrary *const m_maps;
    QStandardItemModel *const m_devices;
    QAbstractItemView *const m_view;
    ModbusLine *const m_line;
    const RecordingSession *const m_recording;
    // The test read awaited, and what it was asked with.
    quint64 m_testRequest = 0;
    int m_testAddress = 0;
    RegisterMap m_testMap;
};
