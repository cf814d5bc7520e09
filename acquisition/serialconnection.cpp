#include "app/mainwindow.h"

void MainWindow::on_btnOpen_clicked()
{
}
