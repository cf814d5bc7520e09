#include "app/mainwindow.h"

#include "acquisition/polling.h"

void MainWindow::MB_POLL()
{
    polling->beginCycle();
}
