#include "recordingwatch.h"

#include "polling.h"
#include "recordingsession.h"

#include <QEvent>

RecordingWatch::RecordingWatch(QObject *window, Polling *polling, RecordingSession *recording)
    : QObject(window)
    , m_polling(polling)
    , m_recording(recording)
{
    // Start begins the recording, if any, before polling.
    connect(recording, &RecordingSession::started, this,
            [this](const QString &, const QDateTime &at) { m_recordingStart = at; });
    connect(polling, &Polling::stateChanged, this, &RecordingWatch::pollingChanged);
    // The recording ends by itself when the window goes without a close.
    connect(recording, &RecordingSession::ended, this, [this] { end(true); });
    // Closing the window ends the run while the recording can still write.
    window->installEventFilter(this);
}

bool RecordingWatch::eventFilter(QObject *, QEvent *event)
{
    if (event->type() == QEvent::Close)
        end(false);
    return false;
}

void RecordingWatch::pollingChanged()
{
    // Halted (the port closed) ends the run as Stop does.
    if (!m_polling->isRunning()) {
        end(true);
        return;
    }
    if (m_running)
        return;
    m_running = true;
    if (m_recording->isRecording())
        emit started(m_recordingStart, m_recording->folder(), m_recording->writer());
    else
        emit started(QDateTime::currentDateTime(), QString(), nullptr);
}

void RecordingWatch::end(bool byOperator)
{
    if (!m_running)
        return;
    m_running = false;
    emit ended(QDateTime::currentDateTime(), byOperator);
}
