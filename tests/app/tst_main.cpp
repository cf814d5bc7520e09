// Runs the program's own entry point and inspects the window it shows once
// the event loop is running; the loop is then ended with a known exit code.
#include "mainwindow.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int velmoraMain(int argc, char *argv[]);

namespace {

constexpr int inspectedExitCode = 42;
int failures = 0;

void check(bool condition, const char *what)
{
    std::printf("%s: %s\n", condition ? "PASS" : "FAIL", what);
    failures += condition ? 0 : 1;
}

void inspectShownWindow()
{
    QTimer::singleShot(0, QCoreApplication::instance(), [] {
        const auto windows = QApplication::topLevelWidgets();
        MainWindow *window = nullptr;
        int mainWindows = 0;
        for (QWidget *widget : windows) {
            if (auto *candidate = qobject_cast<MainWindow *>(widget)) {
                window = candidate;
                ++mainWindows;
            }
        }
        check(mainWindows == 1, "exactly one main window");
        check(window && window->windowTitle() == QStringLiteral("Velmora"), "title is Velmora");
        check(window && window->isVisible(), "window is shown");
        check(window && (window->windowState() & Qt::WindowMaximized), "window is maximised");
        QApplication::exit(inspectedExitCode);
    });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(inspectShownWindow)

int main(int argc, char *argv[])
{
    const int exitCode = velmoraMain(argc, argv);
    check(exitCode == inspectedExitCode, "main returns the event loop's exit code");
    std::printf("%d passed, %d failed\n", 5 - failures, failures);
    return failures == 0 ? 0 : 1;
}
