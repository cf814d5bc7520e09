#include "calibrationfiles.h"

#include "csvline.h"
#include "timeformat.h"

#include <QDateTime>

QString calibrationFileName(const QDateTime &start)
{
    return QStringLiteral("校准__%1.csv").arg(fileNameStamp(start));
}

QString calibrationHeader()
{
    return csvLine({QStringLiteral("时间"), QStringLiteral("设备地址"), QStringLiteral("序列号"),
                    QStringLiteral("点序号"), QStringLiteral("名义值"), QStringLiteral("方向"),
                    QStringLiteral("参考值"), QStringLiteral("示值"), QStringLiteral("单位"), QStringLiteral("误差"),
                    QStringLiteral("误差(%FS)"), QStringLiteral("允许误差"), QStringLiteral("扩展不确定度"),
                    QStringLiteral("标准差"), QStringLiteral("读数次数"), QStringLiteral("稳定"),
                    QStringLiteral("结论")});
}

QString certificateFileName(int address, const QDateTime &issued)
{
    return QStringLiteral("校准证书__%1__%2.pdf").arg(address).arg(fileNameStamp(issued));
}

QString certificateNumber(const QString &station, const QDateTime &issued, int address)
{
    return QStringLiteral("%1-%2-%3").arg(station, issued.toString(QStringLiteral("yyyyMMddhhmmss"))).arg(address);
}
