#pragma once

class ModbusLine;
class PollCycle;
class Polling;
class Publisher;
class QListView;
class QMenu;
class QStandardItemModel;
class QWidget;
class RecordingSession;

// The window's parts that hold readings against limits: the alarm monitor,
// its notice, the verdict of each recording and the context menu entries.
// All are children of `window`.
struct AlarmParts
{
    QStandardItemModel *devices;
    PollCycle *cycle;
    QMenu *menu;
    QListView *view;
    Polling *polling;
    RecordingSession *recording;
    // Each device's alarm state goes to the broker as a retained message.
    Publisher *publisher;
    // Time the line was lost counts against the whole run.
    ModbusLine *line;
};

void installAlarms(QWidget *window, const AlarmParts &parts);
