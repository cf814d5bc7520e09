#include "limits/recordingwatch.h"

#include "acquisition/portstate.h"
#include "devices/devicerecords.h"

#include <QAbstractButton>
#include <QEvent>
#include <QFileInfo>
#include <QStandardItemModel>
#include <QWidget>

RecordingWatch::RecordingWatch(QWidget *window, QAbstractButton *start, QAbstractButton *stop,
                               QAbstractButton *port, QStandardItemModel *devices)
    : QObject(window)
    , m_start(start)
    , m_devices(devices)
{
    // The window's own slots run first: they were connected when its form was set up.
    connect(start, &QAbstractButton::pressed, this, [this] { m_filesBeforeStart = filePaths(); });
    connect(start, &QAbstractButton::clicked, this, [this] {
        if (m_start->isEnabled() || m_recording)
            return;
        m_recording = true;
        QString folder;
        const QStringList files = filePaths();
        for (int row = 0; row < files.size() && folder.isEmpty(); ++row) {
            if (!files.at(row).isEmpty() && !m_filesBeforeStart.contains(files.at(row)))
                folder = QFileInfo(files.at(row)).absolutePath();
        }
        emit started(QDateTime::currentDateTime(), folder);
    });
    connect(stop, &QAbstractButton::clicked, this, [this] { end(true); });
    connect(port, &QAbstractButton::clicked, this, [this, port] {
        if (portCaptionSaysClosed(port))
            end(true);
    });
    window->installEventFilter(this);
}

bool RecordingWatch::eventFilter(QObject *, QEvent *event)
{
    if (event->type() == QEvent::Close)
        end(false);
    return false;
}

QStringList RecordingWatch::filePaths() const
{
    QStringList paths;
    for (int row = 0; row < m_devices->rowCount(); ++row)
        paths << readRecord(m_devices, row).filePath;
    return paths;
}

void RecordingWatch::end(bool byOperator)
{
    if (!m_recording)
        return;
    m_recording = false;
    emit ended(QDateTime::currentDateTime(), byOperator);
}
