#pragma once

#include <QModelIndexList>
#include <QObject>
#include <QPersistentModelIndex>

class QAction;
class QListView;
class QMenu;
class QStandardItemModel;

// The tile area's context menu entries for calibration: 校准设置… for the
// selected tiles (or the one under the cursor when none is selected), and
// 参考表, ticked on the bench's reference device, for the tile under the
// cursor.
class CalibrationSettingsActions : public QObject
{
    Q_OBJECT

public:
    CalibrationSettingsActions(QMenu *menu, QListView *view, QStandardItemModel *devices);

    // Opens the calibration settings dialog of the devices at `indexes` of
    // the view's model or of the devices' model; stores what it accepts.
    void editSettings(const QModelIndexList &indexes);
    // Makes the listed device at `address` the bench's reference, and no
    // other one; `on` false makes it no longer the reference.
    void setReference(int address, bool on);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The tiles the settings are for: the selected ones, else the one under the cursor.
    QModelIndexList chosenTiles() const;

    QListView *const m_view;
    QStandardItemModel *const m_devices;
    QAction *m_settingsAction;
    QAction *m_referenceAction;
    // The tile the menu was opened on.
    QPersistentModelIndex m_underCursor;
};
