#include "limitsactions.h"

#include "itemdata.h"
#include "limitsdialog.h"
#include "runverdict.h"

#include <QAbstractProxyModel>
#include <QAction>
#include <QContextMenuEvent>
#include <QListView>
#include <QMenu>
#include <QStandardItemModel>

LimitsActions::LimitsActions(QMenu *menu, QListView *view, QStandardItemModel *devices, RunVerdict *verdict)
    : QObject(view)
    , m_view(view)
    , m_devices(devices)
    , m_limitsAction(new QAction(tr("限值设置…"), this))
{
    setObjectName(QStringLiteral("limitsActions"));
    m_limitsAction->setObjectName(QStringLiteral("limitsAction"));
    connect(m_limitsAction, &QAction::triggered, this, [this] { editLimits(m_underCursor); });
    auto *summaryAction = new QAction(tr("本次汇总…"), this);
    summaryAction->setObjectName(QStringLiteral("runSummaryAction"));
    connect(summaryAction, &QAction::triggered, verdict, &RunVerdict::showSummary);

    menu->addAction(m_limitsAction);
    menu->addAction(summaryAction);
    // The menu opens on the viewport's context-menu event; the tile under
    // the cursor is taken before.
    view->viewport()->installEventFilter(this);
}

bool LimitsActions::eventFilter(QObject *, QEvent *event)
{
    if (event->type() == QEvent::ContextMenu) {
        m_underCursor = m_view->indexAt(static_cast<QContextMenuEvent *>(event)->pos());
        m_limitsAction->setVisible(m_underCursor.isValid());
    }
    return false;
}

void LimitsActions::editLimits(const QModelIndex &index)
{
    QModelIndex source = index;
    while (const auto *proxy = qobject_cast<const QAbstractProxyModel *>(source.model()))
        source = proxy->mapToSource(source);
    if (!source.isValid() || source.model() != m_devices)
        return;

    const ItemData record = qvariant_cast<ItemData>(source.data(ItemDataRole));
    auto *dialog = new LimitsDialog(record.address, record.unit, qvariant_cast<Limits>(source.data(LimitsRole)),
                                    m_view->window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The row may go while the dialog is open: then nothing is stored.
    const QPersistentModelIndex device(source);
    connect(dialog, &QDialog::accepted, this, [this, dialog, device] {
        if (device.isValid())
            m_devices->setData(device, QVariant::fromValue(dialog->limits()), LimitsRole);
    });
    dialog->open();
}
