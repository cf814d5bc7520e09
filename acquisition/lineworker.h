#pragma once

#include "linesettings.h"
#include "pollresult.h"
#include "registertransport.h"
#include "testread.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QTimer>

#include <modbus.h>

#include <memory>


// Owns the libmodbus context of one open line, from open to release, on the
// line's own thread: every blocking call on the line happens here, and its
// outcome goes back as a queued signal.
//
// libmodbus opens and closes the line; the requests and replies on it are
// framed by the line's transport.
//
// A line whose device is lost (the adapter pulled, the device gone, the TCP
// connection refused, reset or closed by the far end, or silent for too long)
// is let go of at once, so the kernel can give the adapter its name back, and
// opened again with the same settings after 1 s, then at growing intervals of
// at most 10 s, until it opens. Meanwhile every poll fails.
class LineWorker : public QObject
{
    Q_OBJECT

public:
    explicit LineWorker(const LineSettings &settings);
    ~LineWorker() override;

    void open();
    // Sends `requests` back to back; the poll fails with the first that fails.
    void poll(quint64 request, int address, const QVector<RegisterRequest> &requests, QDeadlineTimer notBefore);
    // Sends `probeRequest` to `address` only to learn whether a device is there:
    // within 100 ms on a serial line, within the poll's time-out over TCP,
    // where a gateway may take longer and says at once, with exception 0x0A
    // or 0x0B, when nothing is behind it, and a converter's serial side runs
    // at a rate not known here.
    void probe(quint64 request, int address, const RegisterRequest &probeRequest);
    // Sends `requests` back to back as a poll does, stopping at the first
    // that goes wrong, and tells what came back.
    void testRead(quint64 request, int address, const QVector<RegisterRequest> &requests);

signals:
    // Before opened(false), when the operator can be told why: a host name
    // that does not resolve, a refused connection.
    void openFailed(const QString &reason);
    void opened(bool ok);
    void polled(const PollResult &result);
    void probed(quint64 request, bool found);
    void testReadFinished(const TestReadResult &result);
    void lineLost();
    void lineRestored();

private:
    // One request to `address`, answered within the time-out. A lost device
    // is let go of here.
    TransactionOutcome readRegisters(int address, const RegisterRequest &request, QVector<quint16> &values,
                                     int timeoutMs);
    bool connectLine(QString *reason);
    void loseLine();
    void reopen();

    const LineSettings settings;
    modbus_t *context = nullptr;
    std::unique_ptr<RegisterTransport> transport;
    // A child, so that it moves to the line's thread with the worker.
    QTimer *const reopenTimer;
};
