#include "app/mainwindow.h"

void MainWindow::saved_process()
{
}
