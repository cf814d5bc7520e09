#pragma once

#include <QString>

#include <modbus.h>

// The device string libmodbus opens for the text of the port list: the port's
// path under /dev, or its device-namespace name on Windows. A text that is
// already such a path is used as it stands.
QString serialDeviceString(const QString &portText);

// The device string as libmodbus's open() takes it: in the file system's
// encoding, so that any path reaches the device; Windows names as Latin-1.
QByteArray serialDeviceBytes(const QString &deviceString);

// 'N' for "N", 'O' for "O", 'E' for anything else.
char parityCharacter(const QString &parityText);

// Closes and frees the context and leaves nullptr behind; a null context is
// left as it is.
void releaseContext(modbus_t *&context);
