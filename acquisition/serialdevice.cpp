#include "serialdevice.h"

#include <QFile>

QString serialDeviceString(const QString &portText)
{
#ifdef Q_OS_WIN
    if (portText.startsWith(QLatin1String("\\\\")))
        return portText;
    return QStringLiteral("\\\\.\\") + portText;
#else
    if (portText.startsWith(QLatin1Char('/')))
        return portText;
    return QStringLiteral("/dev/") + portText;
#endif
}

QByteArray serialDeviceBytes(const QString &deviceString)
{
#ifdef Q_OS_WIN
    return deviceString.toLatin1();
#else
    return QFile::encodeName(deviceString);
#endif
}

char parityCharacter(const QString &parityText)
{
    if (parityText == QLatin1String("N"))
        return 'N';
    if (parityText == QLatin1String("O"))
        return 'O';
    return 'E';
}

void releaseContext(modbus_t *&context)
{
    modbus_close(context);
    modbus_free(context);
    context = nullptr;
}
