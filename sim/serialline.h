#pragma once

#include <QString>

#include <termios.h>

#include <optional>

namespace sim {

// Owns a file descriptor and closes it.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    FileDescriptor(FileDescriptor &&other) noexcept : m_fd(other.release()) {}
    FileDescriptor &operator=(FileDescriptor &&other) noexcept;
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    ~FileDescriptor();

    int get() const { return m_fd; }
    bool isValid() const { return m_fd >= 0; }
    int release();

private:
    int m_fd = -1;
};

// termios speed constant for a baud rate, if the system has one.
std::optional<speed_t> termiosSpeed(int baud);

// The simulator's end of the line: the master side of a pseudo-terminal, or
// an existing serial device, in raw non-blocking mode.
class SerialLine {
public:
    static std::optional<SerialLine> openPseudoTerminal(QString *error);
    // `baud` 0 keeps the device's current speed.
    static std::optional<SerialLine> openDevice(const QString &path, int baud, QString *error);

    int fd() const { return m_fd.get(); }
    // What a master opens: the pty slave, or the device itself.
    QString path() const { return m_path; }

private:
    SerialLine(FileDescriptor fd, FileDescriptor heldSlave, QString path);

    FileDescriptor m_fd;
    // Our own handle on the pty slave: while it is open, a master closing
    // and reopening the slave never hangs up the line.
    FileDescriptor m_heldSlave;
    QString m_path;
};

// A symbolic link that exists while this object does. An existing file at
// the link path is replaced.
class SymbolicLink {
public:
    static std::optional<SymbolicLink> create(const QString &linkPath, const QString &target, QString *error);
    SymbolicLink(SymbolicLink &&other) noexcept;
    SymbolicLink &operator=(SymbolicLink &&) = delete;
    SymbolicLink(const SymbolicLink &) = delete;
    SymbolicLink &operator=(const SymbolicLink &) = delete;
    ~SymbolicLink();

private:
    SymbolicLink(QString linkPath, QString target);

    QString m_linkPath;
    QString m_target;
};

} // namespace sim
