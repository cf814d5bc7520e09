#pragma once

#include <functional>

class MainWindow;
class QApplication;

// Shows the window and runs the event loop until the window is closed;
// returns the loop's exit code. `drive`, for tests, acts on the window once
// it is shown.
int runVelmora(QApplication &application, const std::function<void(MainWindow &)> &drive = {});
