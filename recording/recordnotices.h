#pragma once

#include "recording/writelosses.h"

#include <QObject>
#include <QPointer>

class QMessageBox;
class QStringList;
class QWidget;

// Tells the operator which record files Start could not create; waits for OK.
void reportUncreatedFiles(QWidget *parent, const QStringList &paths);

// Tells the operator, without holding up polling or recording, which record
// files are losing rows and which write again: one notice beside the window,
// updated in place, shown again only with news.
class RecordWriteNotice : public QObject
{
    Q_OBJECT

public:
    explicit RecordWriteNotice(QWidget *window);

    void rowsLost(const QString &path, int rows, bool mayBeTorn);
    void rowsWritten(const QString &path);
    // A new recording: files of the last one are told about afresh.
    void forget();

private:
    void tell();

    QWidget *const window;
    QPointer<QMessageBox> notice;
    WriteLosses losses;
};
