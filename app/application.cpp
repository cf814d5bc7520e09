#include "application.h"

#include "mainwindow.h"
#include "threadending.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int runVelmora(QApplication &application, const std::function<void(MainWindow &)> &drive)
{
    int exitCode = 0;
    {
        MainWindow window;
        window.setWindowTitle(QStringLiteral("Velmora"));
        window.show();
        if (drive)
            drive(window);
        exitCode = application.exec();
    }
    // A thread still held in a blocking call must not wake up into the
    // libraries' teardown: the process ends here, as it stands.
    if (threadsLetGo()) {
        std::fflush(nullptr);
        std::_Exit(exitCode);
    }
    return exitCode;
}
