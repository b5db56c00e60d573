// Glyphane's table of {ordinal, name}, for callers that bind the plug-in's
// exports by ordinal (see win32/ordinals.h). Link glyphane_ordinals.
#pragma once

#include <span>

#include "win32/ordinals.h"

namespace glyphane {

std::span<const win32::OrdinalEntry> OrdinalTable();

}  // namespace glyphane
