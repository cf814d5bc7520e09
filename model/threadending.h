#pragma once

#include <QDeadlineTimer>

class QThread;

// Waits until `deadline` for `thread` to finish and deletes it. A thread still
// held in a blocking call by then (a name lookup, a connect, a hung disk) is
// let go of instead: it is never destroyed under its own feet and deletes
// itself once it ends, while events still run. Returns whether it ended.
bool endThread(QThread *thread, QDeadlineTimer deadline);

// Whether a thread was let go of since the program started: the objects it
// uses are still alive, so the program must not tear down what it may touch.
bool threadsLetGo();
