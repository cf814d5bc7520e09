#pragma once

#include "reading.h"
#include "trendhistory.h"

#include <QObject>
#include <QString>

#include <memory>
#include <unordered_map>

class PollCycle;
class QStandardItem;
class QStandardItemModel;

// What a trend shows of one device: who it is, since when, and its history.
struct DeviceTrend
{
    quint8 address = 0;
    QString unit;
    quint16 decimals = 0;
    qint64 addedMs = 0;
    TrendHistory history;
};

// Keeps a trend for every device in the model, from the moment its row is
// added until it is removed or the model is cleared: every reading of the
// poll cycle at full precision, every failed poll as a gap.
class TrendRecorder : public QObject
{
    Q_OBJECT

public:
    TrendRecorder(QStandardItemModel *model, const PollCycle *cycle, QObject *parent = nullptr);
    ~TrendRecorder() override;

    // The trend of a device item; null for an item the model does not hold.
    const DeviceTrend *trend(const QStandardItem *device) const;

signals:
    void sampled(const QStandardItem *device);
    // Emitted before the trend is dropped.
    void removed(const QStandardItem *device);

private:
    void track(int first, int last);
    void take(const Reading &reading);
    void forget(int first, int last);
    void forgetAll();

    QStandardItemModel *m_model;
    std::unordered_map<const QStandardItem *, std::unique_ptr<DeviceTrend>> m_trends;
};
