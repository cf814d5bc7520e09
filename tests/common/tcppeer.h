#pragma once

// What the tests of lines over TCP share: a port nobody listens on, and the
// line notice as the operator reads it.

#include "mainwindow.h"
#include "notice.h"

#include <QString>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// A port on the IPv4 loopback where nobody listens; 0 if none was found.
inline int closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr *>(&address), length) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0;
    if (fd >= 0)
        ::close(fd);
    return bound ? ntohs(address.sin_port) : 0;
}

inline QString noticeText(const MainWindow &window)
{
    const auto *notice = window.findChild<Notice *>(QStringLiteral("lineNotice"));
    return notice && notice->isVisible() ? notice->text() : QString();
}

// The latest event of the line notice, without its time stamp.
inline QString lastNoticeEvent(const MainWindow &window)
{
    return noticeText(window).split(QLatin1Char('\n')).constLast().section(QLatin1Char(' '), 2);
}
