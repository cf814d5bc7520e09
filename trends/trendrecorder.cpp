#include "trendrecorder.h"

#include "pollcycle.h"
#include "devicerecords.h"

#include <QDateTime>
#include <QStandardItemModel>

TrendRecorder::TrendRecorder(QStandardItemModel *model, const PollCycle *cycle, QObject *parent)
    : QObject(parent)
    , m_model(model)
{
    connect(cycle, &PollCycle::readingTaken, this, &TrendRecorder::take);
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &parentIndex, int first, int last) {
                if (!parentIndex.isValid())
                    track(first, last);
            });
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &parentIndex, int first, int last) {
                if (!parentIndex.isValid())
                    forget(first, last);
            });
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, &TrendRecorder::forgetAll);
    track(0, model->rowCount() - 1);
}

// Out of line: the map's element type is complete here.
TrendRecorder::~TrendRecorder() = default;

const DeviceTrend *TrendRecorder::trend(const QStandardItem *device) const
{
    const auto found = m_trends.find(device);
    return found == m_trends.end() ? nullptr : found->second.get();
}

void TrendRecorder::track(int first, int last)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (int row = first; row <= last; ++row) {
        const ItemData record = readRecord(m_model, row);
        auto trend = std::make_unique<DeviceTrend>();
        trend->address = record.address;
        trend->unit = record.unit;
        trend->decimals = record.decimals;
        trend->addedMs = now;
        m_trends[m_model->item(row)] = std::move(trend);
    }
}

void TrendRecorder::take(const Reading &reading)
{
    // Addresses are unique in the list.
    for (const auto &[device, trend] : m_trends) {
        if (trend->address != reading.address)
            continue;
        const qint64 ms = reading.time.toMSecsSinceEpoch();
        if (reading.answered)
            trend->history.append({ms, float(reading.pressure), float(reading.temperature)});
        else
            trend->history.appendGap(ms);
        emit sampled(device);
        return;
    }
}

void TrendRecorder::forget(int first, int last)
{
    for (int row = first; row <= last; ++row) {
        const QStandardItem *device = m_model->item(row);
        emit removed(device);
        m_trends.erase(device);
    }
}

void TrendRecorder::forgetAll()
{
    while (!m_trends.empty()) {
        const QStandardItem *device = m_trends.begin()->first;
        emit removed(device);
        m_trends.erase(device);
    }
}
