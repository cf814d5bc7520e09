#include "tcpline.h"

#include "mbapframe.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr int Backlog = 4;

QString systemError(const QString &what)
{
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

// A socket of `family` bound to `address` and listening; invalid on failure,
// with errno set.
FileDescriptor listenOn(int family, const sockaddr *address, socklen_t length)
{
    FileDescriptor socket(::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket.isValid())
        return socket;
    // A simulator restarted on its port must not wait for the old
    // connections to time out.
    const int on = 1;
    ::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (family == AF_INET6) {
        const int off = 0;
        ::setsockopt(socket.get(), IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    }
    if (::bind(socket.get(), address, length) != 0 || ::listen(socket.get(), Backlog) != 0)
        return FileDescriptor();
    return socket;
}

int boundPort(int fd)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return 0;
    return address.ss_family == AF_INET6 ? ntohs(reinterpret_cast<const sockaddr_in6 &>(address).sin6_port)
                                         : ntohs(reinterpret_cast<const sockaddr_in &>(address).sin_port);
}

} // namespace

TcpLine::TcpLine(FileDescriptor listener, int port, Framing framing)
    : m_listener(std::move(listener))
    , m_port(port)
    , m_framing(framing)
{
}

std::optional<TcpLine> TcpLine::listen(const QString &host, int port, Framing framing, QString *error)
{
    // Without a host, the IPv6 wildcard takes IPv4 clients as well; where
    // IPv6 is missing, the IPv4 one is next.
    const QByteArray name = host.isEmpty() ? QByteArray() : QFile::encodeName(host);
    const QByteArray service = QByteArray::number(port);
    addrinfo hints{};
    hints.ai_family = host.isEmpty() ? AF_INET6 : AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    for (int attempt = 0; attempt < (host.isEmpty() ? 2 : 1); ++attempt) {
        if (attempt == 1)
            hints.ai_family = AF_INET;
        addrinfo *found = nullptr;
        const int resolved = ::getaddrinfo(name.isEmpty() ? nullptr : name.constData(), service.constData(), &hints,
                                           &found);
        if (resolved != 0) {
            *error = QStringLiteral("cannot resolve %1: %2").arg(host, QString::fromLocal8Bit(gai_strerror(resolved)));
            continue;
        }
        for (const addrinfo *entry = found; entry; entry = entry->ai_next) {
            FileDescriptor listener = listenOn(entry->ai_family, entry->ai_addr, entry->ai_addrlen);
            if (listener.isValid()) {
                ::freeaddrinfo(found);
                const int bound = boundPort(listener.get());
                return TcpLine(std::move(listener), bound, framing);
            }
            *error = systemError(QStringLiteral("cannot listen on port %1").arg(port));
        }
        ::freeaddrinfo(found);
    }
    return std::nullopt;
}

Bus::End TcpLine::serve(Bus &bus, int gatewayMs, const ShutdownSignals &shutdown, QString *error)
{
    for (;;) {
        const auto now = Clock::now();
        timespec timeout{};
        if (!m_outgoing.empty()) {
            const auto wait = std::max(Clock::duration::zero(), m_outgoing.nextDue() - now);
            const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
            timeout.tv_sec = static_cast<time_t>(nanoseconds / 1'000'000'000);
            timeout.tv_nsec = static_cast<long>(nanoseconds % 1'000'000'000);
        }
        pollfd fds[3] = {{shutdown.fd(), POLLIN, 0}, {m_listener.get(), POLLIN, 0}, {m_client.get(), POLLIN, 0}};
        if (ppoll(fds, 3, m_outgoing.empty() ? nullptr : &timeout, nullptr) < 0) {
            if (errno == EINTR)
                continue;
            *error = systemError(QStringLiteral("poll failed"));
            return Bus::End::Failed;
        }
        if (fds[0].revents != 0)
            return shutdown.takePull() ? Bus::End::Pulled : Bus::End::Stopped;
        if (fds[1].revents & POLLIN)
            accept();
        const auto received = Clock::now();
        if (fds[2].revents != 0 && !readClient(bus, gatewayMs, received))
            dropClient();
        sendDue(bus, Clock::now());
    }
}

void TcpLine::accept()
{
    FileDescriptor client(::accept4(m_listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    // A second client is closed as soon as it is taken.
    if (!client.isValid() || m_client.isValid())
        return;
    const int on = 1;
    ::setsockopt(client.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    m_client = std::move(client);
}

bool TcpLine::readClient(Bus &bus, int gatewayMs, Clock::time_point now)
{
    for (;;) {
        char buffer[512];
        const ssize_t count = ::recv(m_client.get(), buffer, sizeof buffer, 0);
        if (count > 0) {
            if (m_framing == Framing::Rtu)
                m_framer.append(QByteArray(buffer, static_cast<int>(count)));
            else
                m_received.append(buffer, static_cast<int>(count));
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            return false;
        break;
    }
    if (m_framing == Framing::Mbap)
        return takeMbapFrames(bus, gatewayMs, now);
    takeRtuFrames(bus, now);
    return true;
}

bool TcpLine::takeMbapFrames(Bus &bus, int gatewayMs, Clock::time_point now)
{
    for (;;) {
        const int length = mbapFrameLength(m_received);
        if (length < 0)
            return false;
        if (length == 0 || m_received.size() < length)
            return true;
        handle(bus, gatewayMs, m_received.left(length), now);
        m_received.remove(0, length);
    }
}

void TcpLine::handle(Bus &bus, int gatewayMs, const QByteArray &adu, Clock::time_point now)
{
    const int unit = static_cast<quint8>(adu[6]);
    const auto response = bus.respond(rtuFromMbap(adu), now);
    const std::optional<QByteArray> reply
        = response ? mbapFromRtu(adu, response->reply.frame + response->reply.tail) : std::nullopt;
    if (reply) {
        const Reply &rtu = response->reply;
        const auto due = now + response->delay;
        if (rtu.tail.isEmpty()) {
            m_outgoing.add(due, ReplyQueue::Outgoing{*reply, unit, rtu.isAnswer});
        } else {
            // Cut where the serial line cuts it, so the master's byte time-out
            // runs out between the two parts here as well.
            const int head = std::min(static_cast<int>(rtu.frame.size()), static_cast<int>(reply->size()) - 1);
            m_outgoing.add(due, ReplyQueue::Outgoing{reply->left(head), unit, false});
            m_outgoing.add(due + std::chrono::milliseconds(rtu.tailGapMs),
                           ReplyQueue::Outgoing{reply->mid(head), unit, false});
        }
        return;
    }
    if (gatewayMs >= 0)
        m_outgoing.add(now + std::chrono::milliseconds(gatewayMs),
                       ReplyQueue::Outgoing{mbapException(adu, GatewayTargetFailed), unit, false});
}

void TcpLine::takeRtuFrames(Bus &bus, Clock::time_point now)
{
    // A request split across segments waits for its rest; bytes that make no
    // frame are dropped as on the serial line.
    while (const auto frame = m_framer.takeFrame(false))
        handleRtu(bus, *frame, now);
}

void TcpLine::handleRtu(Bus &bus, const QByteArray &frame, Clock::time_point now)
{
    const auto response = bus.respond(frame, now);
    if (!response || response->reply.frame.isEmpty())
        return;
    m_outgoing.addReply(response->reply, static_cast<quint8>(frame[0]), now + response->delay);
}

void TcpLine::sendDue(Bus &bus, Clock::time_point now)
{
    const int client = m_client.get();
    m_outgoing.sendDue(
        now,
        [client](const QByteArray &bytes) {
            return ::send(client, bytes.constData(), static_cast<size_t>(bytes.size()), MSG_NOSIGNAL) == bytes.size();
        },
        [&bus](int address) { bus.countAnswer(address); });
}

void TcpLine::dropClient()
{
    m_client = FileDescriptor();
    m_received.clear();
    m_framer.discardPartial();
    m_outgoing.clear();
}

} // namespace sim
