#pragma once

#include "devicerecords.h"

#include <QHash>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QStandardItemModel>

// Every reading a device's record has ever held, by device address. Sampled at
// each change of a record, so a reading that stood for a single poll is seen
// as well as the last one.
class ReadingLog
{
public:
    using Reading = QPair<QString, QString>; // pressure text, temperature text

    explicit ReadingLog(const QStandardItemModel *model)
    {
        QObject::connect(model, &QAbstractItemModel::dataChanged, &m_context,
                         [this, model](const QModelIndex &topLeft, const QModelIndex &bottomRight,
                                       const QVector<int> &roles) {
                             if (!roles.isEmpty() && !roles.contains(ItemDataRole))
                                 return;
                             for (int row = topLeft.row(); row <= bottomRight.row(); ++row)
                                 sample(readRecord(model, row));
                         });
    }

    QSet<Reading> readingsOf(int address) const { return m_readings.value(address); }
    int samples() const { return m_samples; }

private:
    void sample(const ItemData &record)
    {
        ++m_samples;
        if (!record.pressureText.isEmpty() || !record.temperatureText.isEmpty())
            m_readings[record.address].insert({record.pressureText, record.temperatureText});
    }

    QObject m_context;
    QHash<int, QSet<Reading>> m_readings;
    int m_samples = 0;
};
