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

// Whether a failed transaction's error number says the device itself is gone
// (pulled, hung up, failing with an I/O error, a connection closed or reset by
// the far end) rather than a slave that did not answer or answered badly.
bool isLostDeviceError(int error);

// Whether a failed transaction's error number is an exception reply from the
// slave asked, so a device is at that address; a gateway's exceptions are not.
bool isSlaveException(int error);

// Closes and frees the context and leaves nullptr behind; a null context is
// left as it is.
void releaseContext(modbus_t *&context);
