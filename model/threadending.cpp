#include "threadending.h"

#include <QThread>

#include <atomic>

namespace {

std::atomic<int> letGo{0};

} // namespace

bool endThread(QThread *thread, QDeadlineTimer deadline)
{
    // Connected before the wait, so a thread that ends at any moment after it
    // is deleted one way or the other.
    thread->setParent(nullptr);
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater, Qt::UniqueConnection);
    if (thread->wait(deadline)) {
        delete thread;
        return true;
    }
    ++letGo;
    return false;
}

bool threadsLetGo()
{
    return letGo.load() > 0;
}
