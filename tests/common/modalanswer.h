#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

// Waits, from the event loop, for the next modal widget of type T (a message box,
// a file dialog) and hands it to `answer`, which must close it. Blocking calls
// such as QMessageBox::information run their own loop, so the answer has to be
// scheduled before the click that opens the box. `answered` reports whether a
// box appeared at all within the time limit.
template <typename T>
class ModalAnswer
{
public:
    explicit ModalAnswer(std::function<void(T *)> answer, int timeoutMs = 5000)
        : m_answer(std::move(answer))
        , m_deadline(timeoutMs)
        , m_timer(std::make_unique<QTimer>())
    {
        m_timer->setInterval(10);
        QObject::connect(m_timer.get(), &QTimer::timeout, m_timer.get(), [this] { poll(); });
        m_timer->start();
    }

    ModalAnswer(const ModalAnswer &) = delete;
    ModalAnswer &operator=(const ModalAnswer &) = delete;

    bool answered() const { return m_answered; }

private:
    void poll()
    {
        if (auto *modal = qobject_cast<T *>(QApplication::activeModalWidget())) {
            m_timer->stop();
            m_answered = true;
            m_answer(modal);
        } else if (m_deadline.hasExpired()) {
            m_timer->stop();
        }
    }

    std::function<void(T *)> m_answer;
    QDeadlineTimer m_deadline;
    std::unique_ptr<QTimer> m_timer;
    bool m_answered = false;
};
