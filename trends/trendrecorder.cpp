#include "trends/trendrecorder.h"

#include "devices/devicerecords.h"

#include <QDateTime>
#include <QStandardItemModel>

#include <limits>

namespace {

float readingValue(const QString &text)
{
    bool ok = false;
    const float value = text.toFloat(&ok);
    return ok ? value : std::numeric_limits<float>::quiet_NaN();
}

} // namespace

TrendRecorder::TrendRecorder(QStandardItemModel *model, QObject *parent)
    : QObject(parent)
    , m_model(model)
{
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &parentIndex, int first, int last) {
                if (!parentIndex.isValid())
                    track(first, last);
            });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                if (!topLeft.parent().isValid())
                    sample(topLeft.row(), bottomRight.row());
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
        trend->totalCount = record.totalCount;
        trend->failCount = record.failCount;
        m_trends[m_model->item(row)] = std::move(trend);
    }
}

void TrendRecorder::sample(int first, int last)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (int row = first; row <= last; ++row) {
        const QStandardItem *device = m_model->item(row);
        const auto found = m_trends.find(device);
        if (found == m_trends.end())
            continue;
        DeviceTrend &trend = *found->second;
        const ItemData record = readRecord(m_model, row);
        if (record.totalCount <= trend.totalCount)
            continue;

        const quint32 polls = record.totalCount - trend.totalCount;
        const quint32 failures = qMin(polls, record.failCount - trend.failCount);
        trend.totalCount = record.totalCount;
        trend.failCount = record.failCount;
        if (failures > 0)
            trend.history.appendGap(now);
        if (polls > failures)
            trend.history.append({now, readingValue(record.pressureText), readingValue(record.temperatureText)});
        emit sampled(device);
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
