#pragma once

class FormChoices;
class LineNotice;
class MapLibrary;
class ModbusLine;
class PollCycle;
class Polling;
class Publisher;
class QMainWindow;
class QStandardItemModel;
class QTimer;
class RecordingSession;

namespace Ui {
class MainWindow;
}

// Everything behind the window, made once and handed to it: the line, the
// poll cycle and polling, the recording, publishing, alarms and the verdict,
// trends, the list's actions and the scan, and the notices that tell of them.
struct Bench
{
    ModbusLine *line = nullptr;
    PollCycle *cycle = nullptr;
    Polling *polling = nullptr;
    RecordingSession *recording = nullptr;
    Publisher *publisher = nullptr;
    LineNotice *lineNotice = nullptr;
    FormChoices *formChoices = nullptr;
    // The register maps the bench knows, and the one new devices get.
    MapLibrary *maps = nullptr;
};

// Creates the bench's objects as children of `window` (the form's boxes
// excepted: the caller deletes them) and wires them to each other and to
// the form; `pollTimer` starts each poll cycle.
Bench buildBench(QMainWindow *window, Ui::MainWindow *ui, QStandardItemModel *devices, QTimer *pollTimer);
