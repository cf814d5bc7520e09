#include "trendwindows.h"

#include "itemdata.h"
#include "devicelimits.h"
#include "trendchartview.h"
#include "trendrecorder.h"
#include "trendwindow.h"

#include <QAbstractItemView>
#include <QAbstractProxyModel>
#include <QStandardItemModel>

TrendWindows::TrendWindows(QStandardItemModel *model, const PollCycle *cycle, QAbstractItemView *view,
                           QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_view(view)
    , m_recorder(new TrendRecorder(model, cycle, this))
{
    connect(view, &QAbstractItemView::doubleClicked, this, &TrendWindows::open);
    connect(m_recorder, &TrendRecorder::sampled, this, [this](const QStandardItem *device) {
        if (TrendWindow *window = windowFor(device))
            window->refresh();
    });
    // Limits set while the trend is open show at once.
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &, const QVector<int> &roles) {
                if (!roles.contains(LimitsRole))
                    return;
                const QStandardItem *device = m_model->itemFromIndex(topLeft);
                if (TrendWindow *window = windowFor(device))
                    window->chartView()->setLimits(qvariant_cast<Limits>(device->data(LimitsRole)));
            });
    connect(m_recorder, &TrendRecorder::removed, this, &TrendWindows::close);
}

TrendWindows::~TrendWindows()
{
    // The windows show the recorder's histories: they go first.
    for (const QPointer<TrendWindow> &window : qAsConst(m_windows))
        delete window.data();
}

TrendWindow *TrendWindows::windowFor(const QStandardItem *device) const
{
    return m_windows.value(device).data();
}

void TrendWindows::open(const QModelIndex &index)
{
    QModelIndex source = index;
    while (const auto *proxy = qobject_cast<const QAbstractProxyModel *>(source.model()))
        source = proxy->mapToSource(source);
    if (source.model() != m_model)
        return;
    const QStandardItem *device = m_model->itemFromIndex(source);
    const DeviceTrend *trend = m_recorder->trend(device);
    if (!trend)
        return;

    TrendWindow *window = windowFor(device);
    if (!window) {
        window = new TrendWindow(*trend, m_view->window());
        window->chartView()->setLimits(qvariant_cast<Limits>(device->data(LimitsRole)));
        m_windows.insert(device, window);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void TrendWindows::close(const QStandardItem *device)
{
    // Deleted at once: the history it shows is dropped right after.
    delete m_windows.take(device).data();
}
