#include "app/mainwindow.h"

void MainWindow::MB_POLL()
{
}
