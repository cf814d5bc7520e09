#pragma once

#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

// The data rows of a record file, split at the commas; the header is dropped.
inline QList<QStringList> dataRows(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QList<QStringList> rows;
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    for (int i = 1; i < lines.size(); ++i)
        rows << lines.at(i).split(',');
    return rows;
}
