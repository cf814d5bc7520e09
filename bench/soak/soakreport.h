#pragma once

#include <QString>

// The soak's printed report: plain lines, and checks marked ok or FAIL. The
// run fails when any check does.
class SoakReport
{
public:
    void info(const QString &text) const;
    void check(bool passed, const QString &text);

    int checks() const { return m_checks; }
    int failures() const { return m_failures; }

private:
    int m_checks = 0;
    int m_failures = 0;
};
