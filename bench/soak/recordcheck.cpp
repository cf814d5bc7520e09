#include "recordcheck.h"

#include <QDateTime>
#include <QFile>
#include <QTextStream>

namespace {

constexpr int ReportedProblems = 5;
const QString Header = QStringLiteral("序号,时间,压力,单位,温度(℃),");
const QString TimeFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss");

// What is wrong with data row `number` (counted from 1), or an empty text.
QString rowProblem(const QString &line, int number, const QDateTime &previous, const QString &unit,
                   const QString &pressure, const QString &temperature)
{
    if (line.count(QLatin1Char(',')) != 5)
        return QStringLiteral("%1 commas").arg(line.count(QLatin1Char(',')));
    const QStringList fields = line.split(QLatin1Char(','));
    if (fields.at(0) != QString::number(number))
        return QStringLiteral("sequence number %1 where %2 was due").arg(fields.at(0)).arg(number);
    const QDateTime written = QDateTime::fromString(fields.at(1), TimeFormat);
    if (!written.isValid())
        return QStringLiteral("time stamp '%1'").arg(fields.at(1));
    if (previous.isValid() && written < previous)
        return QStringLiteral("time stamp %1 before the row above").arg(fields.at(1));
    if (fields.at(3) != unit)
        return QStringLiteral("unit '%1'").arg(fields.at(3));
    const bool empty = fields.at(2).isEmpty() && fields.at(4).isEmpty();
    if (!empty && (fields.at(2) != pressure || fields.at(4) != temperature))
        return QStringLiteral("readings %1 / %2 of another device").arg(fields.at(2), fields.at(4));
    if (!fields.at(5).isEmpty())
        return QStringLiteral("text after the last comma");
    return {};
}

void addProblem(RecordFileCheck &check, const QString &problem)
{
    if (check.problems.size() < ReportedProblems)
        check.problems << problem;
}

} // namespace

RecordFileCheck checkRecordFile(const QString &path, const QString &unit, const QString &pressure,
                                const QString &temperature, int period)
{
    RecordFileCheck check;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        check.problems << QStringLiteral("cannot open %1").arg(path);
        ++check.badRows;
        return check;
    }
    // The writer's encoding: the text stream's default, the locale's.
    QTextStream stream(&file);
    if (stream.readLine() != Header) {
        check.problems << QStringLiteral("header missing");
        ++check.badRows;
    }
    QDateTime previous;
    while (!stream.atEnd()) {
        const QString line = stream.readLine();
        ++check.rows;
        const QString problem = rowProblem(line, check.rows, previous, unit, pressure, temperature);
        if (!problem.isEmpty()) {
            ++check.badRows;
            addProblem(check, QStringLiteral("row %1: %2").arg(check.rows).arg(problem));
            continue;
        }
        const QDateTime written = QDateTime::fromString(line.section(QLatin1Char(','), 1, 1), TimeFormat);
        if (previous.isValid() && qAbs(previous.secsTo(written) - period) > 1) {
            ++check.offPeriodRows;
            addProblem(check, QStringLiteral("row %1: %2 s after the row above")
                                  .arg(check.rows)
                                  .arg(previous.secsTo(written)));
        }
        previous = written;
        const bool empty = line.section(QLatin1Char(','), 2, 2).isEmpty();
        check.emptyRows += empty;
        check.stamps << RowStamp{written.toMSecsSinceEpoch(), empty};
    }
    return check;
}
