#include "serialline.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace sim {

namespace {

QString systemError(const QString &what)
{
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

bool makeRaw(int fd, int baud, QString *error)
{
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) {
        *error = systemError(QStringLiteral("cannot read terminal settings"));
        return false;
    }
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1; // with O_NONBLOCK: EAGAIN, not 0, when nothing is there
    settings.c_cc[VTIME] = 0;
    if (baud > 0) {
        const auto speed = termiosSpeed(baud);
        if (!speed || cfsetispeed(&settings, *speed) != 0 || cfsetospeed(&settings, *speed) != 0) {
            *error = QStringLiteral("unsupported baud rate %1").arg(baud);
            return false;
        }
    }
    if (tcsetattr(fd, TCSANOW, &settings) != 0) {
        *error = systemError(QStringLiteral("cannot set terminal settings"));
        return false;
    }
    return true;
}

QByteArray linkContents(const QByteArray &linkPath)
{
    char buffer[4096];
    const ssize_t length = ::readlink(linkPath.constData(), buffer, sizeof buffer);
    return length < 0 ? QByteArray() : QByteArray(buffer, static_cast<int>(length));
}

} // namespace

FileDescriptor &FileDescriptor::operator=(FileDescriptor &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.release();
    }
    return *this;
}

FileDescriptor::~FileDescriptor()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int FileDescriptor::release()
{
    return std::exchange(m_fd, -1);
}

std::optional<speed_t> termiosSpeed(int baud)
{
    static const std::pair<int, speed_t> speeds[] = {
        {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200}, {300, B300},
        {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400}, {4800, B4800}, {9600, B9600},
        {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
        {460800, B460800}, {500000, B500000}, {576000, B576000}, {921600, B921600},
        {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
        {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
    };
    for (const auto &[rate, speed] : speeds) {
        if (rate == baud)
            return speed;
    }
    return std::nullopt;
}

SerialLine::SerialLine(FileDescriptor fd, FileDescriptor heldSlave, QString path)
    : m_fd(std::move(fd))
    , m_heldSlave(std::move(heldSlave))
    , m_path(std::move(path))
{
}

std::optional<SerialLine> SerialLine::openPseudoTerminal(QString *error)
{
    FileDescriptor master(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!master.isValid()) {
        *error = systemError(QStringLiteral("cannot create a pseudo-terminal"));
        return std::nullopt;
    }
    char name[256];
    if (grantpt(master.get()) != 0 || unlockpt(master.get()) != 0
        || ptsname_r(master.get(), name, sizeof name) != 0) {
        *error = systemError(QStringLiteral("cannot unlock the pseudo-terminal"));
        return std::nullopt;
    }
    FileDescriptor slave(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave.isValid()) {
        *error = systemError(QStringLiteral("cannot open %1").arg(QString::fromLocal8Bit(name)));
        return std::nullopt;
    }
    if (!makeRaw(slave.get(), 0, error))
        return std::nullopt;
    return SerialLine(std::move(master), std::move(slave), QString::fromLocal8Bit(name));
}

std::optional<SerialLine> SerialLine::openDevice(const QString &path, int baud, QString *error)
{
    FileDescriptor device(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!device.isValid()) {
        *error = systemError(QStringLiteral("cannot open %1").arg(path));
        return std::nullopt;
    }
    if (!makeRaw(device.get(), baud, error))
        return std::nullopt;
    tcflush(device.get(), TCIOFLUSH);
    return SerialLine(std::move(device), FileDescriptor(), path);
}

std::optional<SymbolicLink> SymbolicLink::create(const QString &linkPath, const QString &target, QString *error)
{
    // Build the link beside its final place and rename it over any old one,
    // so the path never dangles or misses while it is replaced.
    const QByteArray finalName = QFile::encodeName(linkPath);
    const QByteArray tempName = finalName + ".tmp" + QByteArray::number(getpid());
    ::unlink(tempName.constData());
    if (::symlink(QFile::encodeName(target).constData(), tempName.constData()) != 0) {
        *error = systemError(QStringLiteral("cannot create link %1").arg(linkPath));
        return std::nullopt;
    }
    if (::rename(tempName.constData(), finalName.constData()) != 0) {
        *error = systemError(QStringLiteral("cannot create link %1").arg(linkPath));
        ::unlink(tempName.constData());
        return std::nullopt;
    }
    return SymbolicLink(linkPath, target);
}

SymbolicLink::SymbolicLink(QString linkPath, QString target)
    : m_linkPath(std::move(linkPath))
    , m_target(std::move(target))
{
}

SymbolicLink::SymbolicLink(SymbolicLink &&other) noexcept
    : m_linkPath(std::exchange(other.m_linkPath, QString()))
    , m_target(std::move(other.m_target))
{
}

SymbolicLink::~SymbolicLink()
{
    // Leave the link alone if another simulator has taken the path over.
    if (m_linkPath.isEmpty())
        return;
    const QByteArray linkName = QFile::encodeName(m_linkPath);
    if (linkContents(linkName) == QFile::encodeName(m_target))
        ::unlink(linkName.constData());
}

} // namespace sim
