#include "app/mainwindow.h"

#include "acquisition/pollcycle.h"

void MainWindow::MB_POLL()
{
    if (portIsClosed())
        return;
    // A pass still running (Stop and Start within one pass) goes on; it arms
    // the timer again when it ends.
    pollCycle->start();
}
