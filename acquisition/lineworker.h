#pragma once

#include "acquisition/linesettings.h"
#include "acquisition/pollresult.h"

#include <QObject>

#include <modbus.h>

// Owns the libmodbus context of one open line, from open to release, on the
// line's own thread: every blocking call on the line happens here, and its
// outcome goes back as a queued signal.
class LineWorker : public QObject
{
    Q_OBJECT

public:
    explicit LineWorker(const LineSettings &settings);
    ~LineWorker() override;

    void open();
    void poll(quint64 request, int address);

signals:
    void opened(bool ok);
    void polled(const PollResult &result);

private:
    const LineSettings settings;
    modbus_t *context = nullptr;
};
