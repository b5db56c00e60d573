// The library as a whole: its version and its clean-up. The library needs
// no start call: its shared objects are built when it is loaded and its
// tables on first use.
#pragma once

#include "quarnel/export.h"

namespace ObraCommon {

// Always 309 (a plain number, not packed major and minor parts).
QUARNEL_API int getLibVersion();

// Frees the library's lazily built tables and then ICU's caches. It is the
// last call a process makes into the library and into ICU, and no other
// thread may use either while it runs.
QUARNEL_API void cleanup();

}  // namespace ObraCommon
