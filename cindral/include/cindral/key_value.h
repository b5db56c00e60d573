// Cindral: the configuration lookup of the engine. One export answers
// configuration keys; the conversion engine asks it for "Charsetpath", the
// folder of its charset rule files and tables.
#pragma once

#include <cstddef>

#include "win32/ordinals.h"

#if defined(CINDRAL_BUILDING)
#define CINDRAL_API __attribute__((visibility("default")))
#else
#define CINDRAL_API
#endif

extern "C" {

// Copies the value of `key` into `out` (out_size bytes, the rest zero-filled)
// and answers its length; 0 for an unknown key or a value that does not fit
// with its terminating zero (out untouched).
CINDRAL_API int kvb_GetKeyValue(const char* key, char* out, int out_size);

// Cindral's table of {ordinal, name} for callers that bind by ordinal.
CINDRAL_API const win32::OrdinalEntry* cindral_OrdinalTable(size_t* count);

}  // extern "C"
