#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>

class PollCycle;
class QAbstractItemView;
class QModelIndex;
class QStandardItem;
class QStandardItemModel;
class TrendRecorder;
class TrendWindow;

// Opens a device's trend window when its tile is double-clicked, raises the
// one already open for it, and closes it when the device leaves the list.
class TrendWindows : public QObject
{
    Q_OBJECT

public:
    // `view` shows `model`, directly or through proxy models; `cycle` polls
    // its devices.
    TrendWindows(QStandardItemModel *model, const PollCycle *cycle, QAbstractItemView *view,
                 QObject *parent = nullptr);
    ~TrendWindows() override;

    TrendWindow *windowFor(const QStandardItem *device) const;

    // `index` belongs to the view's model.
    void open(const QModelIndex &index);

private:
    void close(const QStandardItem *device);

    QStandardItemModel *m_model;
    QAbstractItemView *m_view;
    TrendRecorder *m_recorder;
    QHash<const QStandardItem *, QPointer<TrendWindow>> m_windows;
};
