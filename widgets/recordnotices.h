#pragma once

#include "writelosses.h"

#include <QObject>
#include <QPointer>

class Notice;
class QStringList;
class QWidget;
class RowWriter;

// Tells the operator, beside the window and without waiting for OK, which
// record files Start could not create: those devices record nothing.
void reportUncreatedFiles(QWidget *window, const QStringList &paths);
// The same for the alarm log and the summary of a run.
void reportUncreatedAlarmFiles(QWidget *window, const QStringList &paths);

// Tells the operator, without holding up polling or recording, which record
// files are losing rows and which write again: one notice beside the window,
// updated in place, shown again only with news.
class RecordWriteNotice : public QObject
{
    Q_OBJECT

public:
    // `writer` tells which files still have rows on their way.
    RecordWriteNotice(QWidget *window, const RowWriter *writer);

    void rowsLost(const QString &path, int rows, bool mayBeTorn);
    void rowsWritten(const QString &path);
    // A row dropped because too many rows wait for the file.
    void rowRefused(const QString &path);
    void rowAccepted(const QString &path);
    void cutBack(const QString &path, bool done);
    // A new recording: files of the last one are told about afresh, but
    // those with rows still on their way are followed to their last row.
    void newRecording();

private:
    void tellIf(const QString &path, bool news);

    QWidget *const window;
    const RowWriter *const writer;
    QPointer<Notice> notice;
    WriteLosses losses;
};
