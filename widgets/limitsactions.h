#pragma once

#include <QObject>
#include <QPersistentModelIndex>

class QAction;
class QListView;
class QMenu;
class QStandardItemModel;
class RunVerdict;

// The tile area's context menu entries for limits: 限值设置… for the tile
// under the cursor, and 本次汇总… anywhere.
class LimitsActions : public QObject
{
    Q_OBJECT

public:
    LimitsActions(QMenu *menu, QListView *view, QStandardItemModel *devices, RunVerdict *verdict);

    // Opens the limits dialog of the device at `index` of the view's model.
    void editLimits(const QModelIndex &index);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QListView *const m_view;
    QStandardItemModel *const m_devices;
    QAction *m_limitsAction;
    // The tile the menu was opened on.
    QPersistentModelIndex m_underCursor;
};
