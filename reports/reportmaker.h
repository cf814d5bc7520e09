#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>

class QIODevice;
class QThread;

// Writes printed documents on a thread of its own, one after another, so the
// window's thread only hands over what is to be drawn. A document goes to a
// temporary file that replaces its path only once it is whole: one left
// unfinished leaves nothing behind.
class ReportMaker : public QObject
{
    Q_OBJECT

public:
    // Draws the document onto the device; false when it could not, or when
    // the flag asked it to stop.
    using Drawing = std::function<bool(QIODevice *, const std::atomic<bool> &cancel)>;

    explicit ReportMaker(QObject *parent = nullptr);
    // Finishes within the last deadline set by closingFrom(), or at once.
    ~ReportMaker() override;

    // Writes `path` once `ready` says so (asked every 100 ms, for at most
    // 30 s: the files a document is drawn from may still have rows on their
    // way to the disk).
    void write(const QString &path, Drawing drawing, std::function<bool()> ready = {});

    // The window began closing at `deadline`'s start: documents still waiting
    // are drawn at once, and whatever is not written by `deadline` is left
    // out, with a line in the log.
    void closingBy(QDeadlineTimer deadline) { m_closingBy = deadline; }
    void finish(QDeadlineTimer deadline);

    // Documents asked for and not yet written or failed.
    int pending() const { return m_waiting.size() + m_drawing; }

signals:
    void written(const QString &path);
    void failed(const QString &path, const QString &reason);

private:
    struct Job
    {
        QString path;
        Drawing drawing;
        std::function<bool()> ready;
        QDeadlineTimer readyBy;
    };

    void startReady(bool all);
    void start(const Job &job);
    void done(const QString &path, const QString &error);

    QThread *m_thread = nullptr;
    QObject *m_worker = nullptr;
    QTimer m_readiness;
    QVector<Job> m_waiting;
    int m_drawing = 0;
    QDeadlineTimer m_closingBy{0};
    // Shared with the drawings, which may outlive the maker on a thread let go of.
    struct Shared;
    const std::shared_ptr<Shared> m_shared;
};
