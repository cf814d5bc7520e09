#include "registermapactions.h"

#include "maplibrary.h"
#include "registermapdialog.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

RegisterMapActions::RegisterMapActions(QMenu *menu, MapLibrary *maps, QStandardItemModel *devices,
                                       QAbstractItemView *view, ModbusLine *line, const RecordingSession *recording,
                                       QWidget *window)
    : QObject(window)
    , m_maps(maps)
    , m_devices(devices)
    , m_view(view)
    , m_line(line)
    , m_recording(recording)
    , m_window(window)
    , m_newDeviceMenu(new QMenu(menu))
{
    setObjectName(QStringLiteral("registerMapActions"));
    auto *mapsAction = new QAction(tr("寄存器映射…"), this);
    mapsAction->setObjectName(QStringLiteral("registerMapAction"));
    connect(mapsAction, &QAction::triggered, this, &RegisterMapActions::showDialog);
    menu->addAction(mapsAction);

    m_newDeviceMenu->setObjectName(QStringLiteral("newDeviceMapMenu"));
    m_newDeviceMenu->menuAction()->setObjectName(QStringLiteral("newDeviceMapAction"));
    menu->addMenu(m_newDeviceMenu);
    connect(maps, &MapLibrary::mapsChanged, this, &RegisterMapActions::listChoices);
    // Only ticks and the caption change: the choice just made is still
    // being triggered.
    connect(maps, &MapLibrary::newDeviceMapChanged, this, &RegisterMapActions::showNewDeviceMap);
    listChoices();
}

void RegisterMapActions::showDialog()
{
    if (!m_dialog) {
        m_dialog = new RegisterMapDialog(m_maps, m_devices, m_view, m_line, m_recording, m_window);
        m_dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    }
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
}

void RegisterMapActions::listChoices()
{
    delete m_choices;
    m_newDeviceMenu->clear();
    m_choices = new QActionGroup(this);
    m_choices->setExclusive(true);
    for (const QString &name : m_maps->names()) {
        QAction *choice = m_newDeviceMenu->addAction(name);
        choice->setCheckable(true);
        choice->setActionGroup(m_choices);
        connect(choice, &QAction::triggered, m_maps, [maps = m_maps, name] { maps->setNewDeviceMap(name); });
    }
    showNewDeviceMap();
}

void RegisterMapActions::showNewDeviceMap()
{
    const QString current = m_maps->newDeviceMapName();
    m_newDeviceMenu->setTitle(tr("新设备映射：%1").arg(current));
    for (QAction *choice : m_newDeviceMenu->actions())
        choice->setChecked(choice->text() == current);
}
