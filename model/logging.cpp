#include "logging.h"

Q_LOGGING_CATEGORY(lcLine, "velmora.line")
Q_LOGGING_CATEGORY(lcRecording, "velmora.recording")
Q_LOGGING_CATEGORY(lcPublishing, "velmora.publishing")
Q_LOGGING_CATEGORY(lcDiagnostics, "velmora.diagnostics", QtWarningMsg)
