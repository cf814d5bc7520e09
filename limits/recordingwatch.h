#pragma once

#include <QDateTime>
#include <QObject>
#include <QStringList>

class QAbstractButton;
class QStandardItemModel;

// Tells when a recording starts and ends from the window's own buttons:
// started by a Start that was taken, ended by the first of 停止, closing the
// port and closing the window. The folder is the one the record files were
// created in at that Start; empty when Start created none.
class RecordingWatch : public QObject
{
    Q_OBJECT

public:
    RecordingWatch(QWidget *window, QAbstractButton *start, QAbstractButton *stop, QAbstractButton *port,
                   QStandardItemModel *devices);

signals:
    void started(const QDateTime &start, const QString &folder);
    // `byOperator` is false when the window is closing.
    void ended(const QDateTime &end, bool byOperator);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QStringList filePaths() const;
    void end(bool byOperator);

    QAbstractButton *const m_start;
    QStandardItemModel *const m_devices;
    QStringList m_filesBeforeStart;
    bool m_recording = false;
};
