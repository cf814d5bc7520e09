#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// What the operator has to hear about rows that did not reach their files: the
// files losing rows now, the files that took rows again after losing some
// (with how many they lost), and the files that may hold a torn row.
class WriteLosses
{
public:
    // Each returns whether this is news for the operator: a file starts losing
    // rows, takes rows again, or may be torn for the first time.
    bool lost(const QString &path, int rows, bool mayBeTorn);
    bool written(const QString &path);

    // The operator read the notice: what is over is not told again.
    void forgetSettled();
    void forgetAll();

    bool isEmpty() const;
    QString text() const;

private:
    struct File
    {
        bool losing = false;
        int lostRows = 0;
        bool mayBeTorn = false;
    };

    QHash<QString, File> files;
    QStringList order;
};
