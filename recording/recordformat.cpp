#include "recordformat.h"

#include "csvline.h"
#include "itemdata.h"
#include "timeformat.h"

#include <QCoreApplication>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

} // namespace

QString recordFileName(int address, const QDateTime &named, int copy)
{
    const QString name = tr("/设备地址%1__%2.csv")
                             .arg(QString::number(address), fileNameStamp(named));
    return copy > 1 ? numberedCopy(name, copy) : name;
}

QString numberedCopy(const QString &path, int copy)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    int dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash)
        dot = path.size();
    return path.left(dot) + QLatin1Char('_') + QString::number(copy) + path.mid(dot);
}

QString recordHeader()
{
    return csvLine({tr("序号"), tr("时间"), tr("压力"), tr("单位"), tr("温度(℃)")});
}

QString recordRow(const ItemData &record, const QDateTime &written, bool current)
{
    const QString pressure = current ? record.pressureText : QString();
    const QString temperature = current ? record.temperatureText : QString();
    return csvLine({QString::number(record.recordIndex), secondsText(written), pressure, record.unit, temperature});
}

bool recordIsDue(int first, int last, int period)
{
    return last / period * period >= first;
}
