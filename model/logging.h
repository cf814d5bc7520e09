#pragma once

#include <QLoggingCategory>

// The program's log output, by the part that writes it. Switch them with
// QT_LOGGING_RULES, e.g. "velmora.line.debug=false".
Q_DECLARE_LOGGING_CATEGORY(lcLine)
Q_DECLARE_LOGGING_CATEGORY(lcRecording)
Q_DECLARE_LOGGING_CATEGORY(lcPublishing)

// Developer's diagnostics (the chosen record folder, clicked filter buttons,
// every record tick), off unless "velmora.diagnostics.debug=true": a long
// unattended run would otherwise write a line a second.
Q_DECLARE_LOGGING_CATEGORY(lcDiagnostics)
