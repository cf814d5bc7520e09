#pragma once

#include "rowwriter.h"

#include <QDateTime>
#include <QObject>

class Polling;
class RecordingSession;

// Tells when a run of Start starts and ends, with or without record files:
// started when polling starts, ended by the first of 停止, closing the port
// and closing the window. A run that records carries the recording's folder,
// the Start's time and its writer.
class RecordingWatch : public QObject
{
    Q_OBJECT

public:
    // `window` is watched for its close.
    RecordingWatch(QObject *window, Polling *polling, RecordingSession *recording);

signals:
    // `folder` is empty and `writer` null when the run keeps no files.
    void started(const QDateTime &start, const QString &folder, RowWriter *writer);
    // `byOperator` is false when the window is closing.
    void ended(const QDateTime &end, bool byOperator);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void pollingChanged();
    void end(bool byOperator);

    Polling *const m_polling;
    RecordingSession *const m_recording;
    QDateTime m_recordingStart;
    bool m_running = false;
};
