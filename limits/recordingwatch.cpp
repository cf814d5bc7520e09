#include "limits/recordingwatch.h"

#include "acquisition/portstate.h"
#include "recording/recordingsession.h"

#include <QAbstractButton>
#include <QEvent>
#include <QWidget>

RecordingWatch::RecordingWatch(QWidget *window, QAbstractButton *start, QAbstractButton *stop,
                               QAbstractButton *port, RecordingSession *recording)
    : QObject(window)
    , m_start(start)
    , m_recording(recording)
{
    connect(recording, &RecordingSession::started, this,
            [this](const QString &, const QDateTime &at) { m_recordingStart = at; });
    // The window's own slots run first: they were connected when its form was
    // set up, and Start's has begun the recording, if any, by now.
    connect(start, &QAbstractButton::clicked, this, [this] {
        if (m_start->isEnabled() || m_running)
            return;
        m_running = true;
        if (m_recording->isRecording())
            emit started(m_recordingStart, m_recording->folder(), m_recording->writer());
        else
            emit started(QDateTime::currentDateTime(), QString(), nullptr);
    });
    connect(stop, &QAbstractButton::clicked, this, [this] { end(true); });
    connect(port, &QAbstractButton::clicked, this, [this, port] {
        if (portCaptionSaysClosed(port))
            end(true);
    });
    // Closing the window ends the run while the recording can still write.
    window->installEventFilter(this);
    // The recording ends first when it is Stop or the port closed.
    connect(recording, &RecordingSession::ended, this, [this] { end(true); });
}

bool RecordingWatch::eventFilter(QObject *, QEvent *event)
{
    if (event->type() == QEvent::Close)
        end(false);
    return false;
}

void RecordingWatch::end(bool byOperator)
{
    if (!m_running)
        return;
    m_running = false;
    emit ended(QDateTime::currentDateTime(), byOperator);
}
