#pragma once

#include <QMetaType>

// Where the line stands. An open is asynchronous, and a lost line is opened
// again by itself: the caption of the open button shows only whether the
// operator wants the line open (Open, Lost) or not (Closed, Opening).
enum class LineState {
    Closed,
    Opening,
    Open,
    // The device was lost; the line's owner is opening it again.
    Lost,
};
Q_DECLARE_METATYPE(LineState)
