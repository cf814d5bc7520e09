#pragma once

#include "registermap.h"
#include "slaveanswer.h"

namespace sim {

// The registers of a transmitter read with `map` while it measures `pascals`
// and `celsius`: the kind the map names, and only the registers it names, or
// its whole span, gaps as 0, when it reads a block. A unit register holds the
// map's lowest unit code; a decimals register the most decimals (up to 4) an
// integer value has room for. A value that is no number is the field's first
// "no value" marker, or 0 without one; integers beyond their type are clamped.
RegisterTable encodeWithMap(const RegisterMap &map, double pascals, double celsius);

} // namespace sim
