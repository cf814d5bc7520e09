#pragma once

#include <QStringList>

// The short names of the serial ports that can be opened right now, in the
// platform's enumeration order. Ports held by another program are left out.
QStringList openablePortNames();
