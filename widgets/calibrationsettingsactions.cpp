#include "calibrationsettingsactions.h"

#include "calibrationsettingsdialog.h"
#include "devicerecords.h"

#include <QAbstractProxyModel>
#include <QAction>
#include <QContextMenuEvent>
#include <QItemSelectionModel>
#include <QListView>
#include <QMenu>
#include <QStandardItemModel>

#include <algorithm>

namespace {

QModelIndex sourceOf(const QModelIndex &index)
{
    QModelIndex source = index;
    while (const auto *proxy = qobject_cast<const QAbstractProxyModel *>(source.model()))
        source = proxy->mapToSource(source);
    return source;
}

} // namespace

CalibrationSettingsActions::CalibrationSettingsActions(QMenu *menu, QListView *view, QStandardItemModel *devices)
    : QObject(view)
    , m_view(view)
    , m_devices(devices)
    , m_settingsAction(new QAction(tr("校准设置…"), this))
    , m_referenceAction(new QAction(tr("参考表"), this))
{
    setObjectName(QStringLiteral("calibrationSettingsActions"));
    m_settingsAction->setObjectName(QStringLiteral("calibrationSettingsAction"));
    connect(m_settingsAction, &QAction::triggered, this, [this] { editSettings(chosenTiles()); });
    m_referenceAction->setObjectName(QStringLiteral("referenceAction"));
    m_referenceAction->setCheckable(true);
    connect(m_referenceAction, &QAction::triggered, this, [this](bool checked) {
        if (m_underCursor.isValid())
            setReference(qvariant_cast<ItemData>(m_underCursor.data(ItemDataRole)).address, checked);
    });

    menu->addAction(m_settingsAction);
    menu->addAction(m_referenceAction);
    // The menu opens on the viewport's context-menu event; the tile under
    // the cursor is taken before.
    view->viewport()->installEventFilter(this);
}

bool CalibrationSettingsActions::eventFilter(QObject *, QEvent *event)
{
    if (event->type() == QEvent::ContextMenu) {
        m_underCursor = m_view->indexAt(static_cast<QContextMenuEvent *>(event)->pos());
        m_settingsAction->setVisible(!chosenTiles().isEmpty());
        m_referenceAction->setVisible(m_underCursor.isValid());
        m_referenceAction->setChecked(m_underCursor.data(ReferenceRole).toBool());
    }
    return false;
}

QModelIndexList CalibrationSettingsActions::chosenTiles() const
{
    const QModelIndexList selected = m_view->selectionModel()->selectedIndexes();
    if (!selected.isEmpty())
        return selected;
    if (m_underCursor.isValid())
        return {m_underCursor};
    return {};
}

void CalibrationSettingsActions::editSettings(const QModelIndexList &indexes)
{
    QModelIndexList sources;
    for (const QModelIndex &index : indexes) {
        const QModelIndex source = sourceOf(index);
        if (source.isValid() && source.model() == m_devices && !sources.contains(source))
            sources << source;
    }
    if (sources.isEmpty())
        return;
    // In list order, as the tiles are shown unfiltered.
    std::sort(sources.begin(), sources.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });

    QVector<CalibratedDevice> shown;
    QList<QPersistentModelIndex> rows;
    for (const QModelIndex &source : qAsConst(sources)) {
        const ItemData record = qvariant_cast<ItemData>(source.data(ItemDataRole));
        shown.append({record.address, record.unit, qvariant_cast<CalibrationSettings>(source.data(CalibrationRole))});
        rows << QPersistentModelIndex(source);
    }
    auto *dialog = new CalibrationSettingsDialog(shown, m_view->window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Rows may go while the dialog is open: nothing is stored for them.
    connect(dialog, &QDialog::accepted, this, [this, dialog, rows] {
        const QVector<CalibratedDevice> accepted = dialog->devices();
        for (int i = 0; i < rows.size(); ++i) {
            if (!rows.at(i).isValid())
                continue;
            const CalibrationSettings &settings = accepted.at(i).settings;
            m_devices->setData(rows.at(i), settings.isEmpty() ? QVariant() : QVariant::fromValue(settings),
                               CalibrationRole);
        }
    });
    dialog->open();
}

void CalibrationSettingsActions::setReference(int address, bool on)
{
    if (on && containsAddress(m_devices, address))
        markReference(m_devices, address);
    else if (!on && referenceAddress(m_devices) == address)
        markReference(m_devices, 0);
}
