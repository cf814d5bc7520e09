#include "rtuframer.h"

#include "crc16.h"
#include "slaveanswer.h"

namespace sim {

void RtuFramer::append(const QByteArray &bytes)
{
    m_buffer.append(bytes);
}

void RtuFramer::discardPartial()
{
    m_buffer.clear();
    m_dropping = false;
}

bool RtuFramer::idle() const
{
    return m_buffer.isEmpty() && !m_dropping;
}

void RtuFramer::dropByte()
{
    if (!m_dropping) {
        m_dropping = true;
        ++m_droppedRuns;
    }
    m_buffer.remove(0, 1);
}

QByteArray RtuFramer::takeBytes(int count)
{
    QByteArray frame = m_buffer.left(count);
    m_buffer.remove(0, count);
    m_dropping = false;
    return frame;
}

std::optional<QByteArray> RtuFramer::takeFrame(bool lineSilent)
{
    while (!m_buffer.isEmpty()) {
        const int length = expectedRequestLength(m_buffer);
        if (length > 0 && m_buffer.size() >= length) {
            if (hasValidCrc(m_buffer.left(length)))
                return takeBytes(length);
            dropByte();
            continue;
        }
        if (!lineSilent && m_buffer.size() <= MaxFrameLength)
            return std::nullopt;
        // The frame has ended (or cannot be one): all of it, or noise.
        if (m_buffer.size() >= MinFrameLength && m_buffer.size() <= MaxFrameLength
            && hasValidCrc(m_buffer))
            return takeBytes(m_buffer.size());
        dropByte();
    }
    if (lineSilent)
        m_dropping = false;
    return std::nullopt;
}

} // namespace sim
