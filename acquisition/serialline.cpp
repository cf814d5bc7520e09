#include "acquisition/serialline.h"

#include <QFile>

#include <cerrno>

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

bool isLostDeviceError(int error)
{
    switch (error) {
    case EIO:        // the line hung up, or the adapter is failing
    case ENXIO:      // the device is gone
    case ENODEV:
    case EBADF:
    case EPIPE:
    case ECONNRESET: // libmodbus's name for end of file on the line
    case ECONNABORTED:
    case ENOTCONN:
    case ECONNREFUSED:
        return true;
    default:
        return false;
    }
}

bool isSlaveException(int error)
{
    // libmodbus sets these only after the reply's checksum and slave address
    // were accepted: a listed exception code, or a malformed exception. A
    // gateway's 0x0A and 0x0B say that nothing answered behind it.
    return (error >= EMBXILFUN && error < EMBXGPATH) || error == EMBBADEXC;
}

void releaseContext(modbus_t *&context)
{
    modbus_close(context);
    modbus_free(context);
    context = nullptr;
}
