#include "csvline.h"

QString csvLine(const QStringList &fields)
{
    QString line;
    for (const QString &field : fields)
        line += field + QLatin1Char(',');
    return line + QLatin1Char('\n');
}
