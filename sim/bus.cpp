#include "bus.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace sim {

namespace {

// After a stop the line is read until it has been quiet this long: the kernel
// hands bytes written to a pseudo-terminal over asynchronously, so a request
// sent just before the stop may turn up a moment after it.
constexpr int StopQuietMs = 50;
constexpr auto StopDrainLimit = std::chrono::seconds(1);

std::vector<int> addressesOf(const SimOptions &options)
{
    std::vector<int> addresses;
    for (const TransmitterConfig &config : options.slaves)
        addresses.push_back(config.address);
    return addresses;
}

} // namespace

Bus::Bus(const SimOptions &options)
    : m_hostile(options.hostile)
    , m_timing{options.baud, options.bitsPerChar}
    , m_start(Clock::now())
    , m_hostileRandom(options.seed)
    , m_lastByte(m_start)
    , m_stats(addressesOf(options))
{
    for (const TransmitterConfig &config : options.slaves) {
        // Each slave draws from its own sequence, so one slave's faults do
        // not depend on the traffic to the others.
        m_transmitters.emplace(config.address,
                               Transmitter(config, options.seed ^ (0x9E3779B9u * static_cast<quint32>(config.address))));
    }
}

Bus::End Bus::serve(int lineFd, const ShutdownSignals &shutdown, QString *error)
{
    const int stopFd = shutdown.fd();
    for (;;) {
        const auto wait = timeUntilNextEvent(Clock::now());
        timespec timeout{};
        timeout.tv_sec = static_cast<time_t>(wait.count() / 1'000'000'000);
        timeout.tv_nsec = static_cast<long>(wait.count() % 1'000'000'000);
        pollfd fds[2] = {{lineFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        if (ppoll(fds, 2, wait.count() < 0 ? nullptr : &timeout, nullptr) < 0) {
            if (errno == EINTR)
                continue;
            *error = QStringLiteral("poll failed: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
            return End::Failed;
        }
        if (fds[1].revents != 0) {
            if (shutdown.takePull()) {
                m_framer.discardPartial();
                m_outgoing.clear();
                return End::Pulled;
            }
            return drainAfterStop(lineFd, error) ? End::Stopped : End::Failed;
        }

        if ((fds[0].revents & POLLIN) && !readLine(lineFd, error))
            return End::Failed;
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            *error = QStringLiteral("the line hung up");
            return End::Failed;
        }

        const auto now = Clock::now();
        const bool silent = now - m_lastByte >= m_timing.silenceGap();
        while (const auto frame = m_framer.takeFrame(silent))
            handleFrame(*frame, now);
        m_stats.badCrcFrames = m_framer.droppedRuns();
        sendDue(lineFd, now);
    }
}

bool Bus::readLine(int lineFd, QString *error)
{
    char buffer[512];
    for (;;) {
        const ssize_t count = ::read(lineFd, buffer, sizeof buffer);
        if (count > 0) {
            m_framer.append(QByteArray(buffer, static_cast<int>(count)));
            m_lastByte = Clock::now();
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        // A terminal reads 0 bytes when it has none; a hang-up shows in poll().
        if (count == 0 || errno == EAGAIN || errno == EWOULDBLOCK)
            return true;
        *error = QStringLiteral("read failed: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
}

bool Bus::drainAfterStop(int lineFd, QString *error)
{
    const auto limit = Clock::now() + StopDrainLimit;
    while (Clock::now() < limit) {
        pollfd fd{lineFd, POLLIN, 0};
        const int ready = ::poll(&fd, 1, StopQuietMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || !(fd.revents & POLLIN))
            break;
        if (!readLine(lineFd, error))
            return false;
    }
    // Whatever is buffered now is all there will be.
    const auto now = Clock::now();
    while (const auto frame = m_framer.takeFrame(true))
        handleFrame(*frame, now);
    m_stats.badCrcFrames = m_framer.droppedRuns();
    return true;
}

std::chrono::nanoseconds Bus::timeUntilNextEvent(Clock::time_point now) const
{
    std::chrono::nanoseconds wait(-1); // none: sleep until bytes or a signal arrive
    const auto consider = [&](Clock::time_point when) {
        const auto until = std::max(std::chrono::nanoseconds(0), std::chrono::nanoseconds(when - now));
        wait = wait.count() < 0 ? until : std::min(wait, until);
    };
    if (!m_framer.idle())
        consider(m_lastByte + m_timing.silenceGap());
    if (!m_outgoing.empty())
        consider(m_outgoing.nextDue());
    return wait;
}

std::optional<Bus::Response> Bus::respond(const QByteArray &frame, Clock::time_point now)
{
    const int address = static_cast<quint8>(frame[0]);
    const auto found = m_transmitters.find(address);
    if (found == m_transmitters.end()) {
        ++m_stats.ignoredFrames;
        return std::nullopt;
    }
    Transmitter &transmitter = found->second;
    SlaveStats &stats = m_stats.slave(address);
    ++stats.requests;

    const double seconds = std::chrono::duration<double>(now - m_start).count();
    Response response;
    response.reply = m_hostile ? transmitter.respondHostile(frame, seconds, m_hostileRandom)
                               : transmitter.respond(frame, seconds);
    if (response.reply.fault != Fault::None)
        ++stats.faults[response.reply.fault];
    response.delay = m_timing.replyDelay(frame.size(), response.reply.frame.size() + response.reply.tail.size())
        + std::chrono::milliseconds(transmitter.delayMs());
    return response;
}

void Bus::countAnswer(int address)
{
    ++m_stats.slave(address).answers;
}

void Bus::handleFrame(const QByteArray &frame, Clock::time_point now)
{
    const auto response = respond(frame, now);
    if (!response || response->reply.frame.isEmpty())
        return;
    m_outgoing.addReply(response->reply, static_cast<quint8>(frame[0]), now + response->delay);
}

void Bus::sendDue(int lineFd, Clock::time_point now)
{
    m_outgoing.sendDue(
        now,
        [lineFd](const QByteArray &bytes) {
            int written = 0;
            while (written < bytes.size()) {
                const ssize_t count
                    = ::write(lineFd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
                if (count < 0 && errno == EINTR)
                    continue;
                if (count <= 0)
                    break; // nobody drains the line: the rest is lost, as on a real wire
                written += static_cast<int>(count);
            }
            return written == bytes.size();
        },
        [this](int address) { countAnswer(address); });
}

} // namespace sim
