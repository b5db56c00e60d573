// Dalvex's table of {ordinal, name} for callers that bind its exports by
// ordinal (see win32/ordinals.h).
#pragma once

#include <cstddef>

#include "dalvex/export.h"
#include "win32/ordinals.h"

extern "C" DALVEX_API const win32::OrdinalEntry* dalvex_OrdinalTable(size_t* count);
