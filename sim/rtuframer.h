#pragma once

#include <QByteArray>

#include <optional>

namespace sim {

// Cuts the byte stream of the line into request frames. Bytes arrive in
// arbitrary chunks; a frame whose length its function code fixes is taken as
// soon as it is complete, any other frame ends at a silence on the line.
// Bytes that belong to no frame with a valid CRC are dropped one at a time
// until a frame lines up again.
class RtuFramer {
public:
    void append(const QByteArray &bytes);

    // The next complete frame, if any. `lineSilent` says the line has been
    // quiet for an inter-frame gap, so whatever is buffered is all there is.
    std::optional<QByteArray> takeFrame(bool lineSilent);

    // Forgets a frame half received when the line was cut off; the count of
    // dropped runs stays.
    void discardPartial();

    // True while nothing is buffered and no run of dropped bytes is open.
    bool idle() const;

    // Runs of dropped bytes: each stretch of noise or corrupted frame between
    // two good frames or silences counts once.
    int droppedRuns() const { return m_droppedRuns; }

private:
    void dropByte();
    QByteArray takeBytes(int count);

    QByteArray m_buffer;
    bool m_dropping = false;
    int m_droppedRuns = 0;
};

} // namespace sim
