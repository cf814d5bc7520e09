#include "app/mainwindow.h"

void MainWindow::on_btnStart_clicked()
{
}

void MainWindow::on_btnStop_clicked()
{
}
