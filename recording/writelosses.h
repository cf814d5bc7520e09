#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// What the operator has to hear about rows that did not reach their files: the
// files losing rows now, the files that took rows again after losing some
// (with how many they lost), the files of an earlier recording whose last
// rows are settled, and the files cut back or possibly holding a torn row.
class WriteLosses
{
public:
    // Each returns whether this is news for the operator.
    // Rows the disk refused: news when the file starts losing rows.
    bool lost(const QString &path, int rows, bool mayBeTorn);
    // A row refused because too many wait for the file: news only when the
    // file starts losing rows, once however long it stays at the bound.
    bool refused(const QString &path);
    // A row for the file was taken in again after refusals.
    void accepted(const QString &path);
    // Rows reached the file: news when it was losing rows.
    bool written(const QString &path);
    // A file whose close failed was cut back (or could not be).
    bool cutBack(const QString &path, bool done);
    // The last row waiting for a file of an earlier recording is settled:
    // news when it lost rows.
    bool settled(const QString &path);

    // A new recording: files whose rows are all settled are forgotten, and
    // `stillWaiting`, files of the last recording with rows on their way,
    // are followed until their last row is settled.
    void newRecording(const QStringList &stillWaiting);
    // Whether the file belongs to an earlier recording and is still followed.
    bool isEarlier(const QString &path) const;

    // The operator read the notice: what is over is not told again.
    void forgetSettled();

    QString text() const;

private:
    struct File
    {
        bool losing = false;
        bool atBound = false;
        int lostRows = 0;
        bool mayBeTorn = false;
        bool cutBack = false;
        // Of an earlier recording, rows still on their way.
        bool earlier = false;
        // Of an earlier recording, every row settled.
        bool done = false;
        // Whether the operator is to hear of it at all.
        bool shown = false;
    };

    File &file(const QString &path);

    QHash<QString, File> files;
    QStringList order;
};
