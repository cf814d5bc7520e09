#pragma once

#include <QString>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

// A line that opens and never answers: a pseudo-terminal with nobody at its
// far end. Every poll over it times out.
class QuietLine
{
public:
    QuietLine()
        : m_master(posix_openpt(O_RDWR | O_NOCTTY))
    {
        if (m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0)
            m_path = QString::fromLocal8Bit(ptsname(m_master));
    }
    ~QuietLine()
    {
        if (m_master >= 0)
            ::close(m_master);
    }
    QuietLine(const QuietLine &) = delete;
    QuietLine &operator=(const QuietLine &) = delete;

    QString path() const { return m_path; }

private:
    int m_master;
    QString m_path;
};
