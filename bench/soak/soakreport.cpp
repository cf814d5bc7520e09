#include "soakreport.h"

#include <cstdio>

void SoakReport::info(const QString &text) const
{
    std::printf("       %s\n", text.toLocal8Bit().constData());
    std::fflush(stdout);
}

void SoakReport::check(bool passed, const QString &text)
{
    ++m_checks;
    if (!passed)
        ++m_failures;
    std::printf("%s %s\n", passed ? "  ok  " : "  FAIL", text.toLocal8Bit().constData());
    std::fflush(stdout);
}
