#pragma once

#include "registermap.h"

#include <QString>

#include <optional>

namespace sim {

// A file holding one register map, the same JSON as a map in a device-list
// file; on failure nothing, and why in `error`.
std::optional<RegisterMap> readMapFile(const QString &path, QString *error);

} // namespace sim
