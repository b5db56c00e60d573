// Export marker of Dalvex's function interface. Only the extern "C" entry
// points carry it; everything else in the library stays hidden.
#pragma once

#if defined(DALVEX_BUILDING)
#define DALVEX_API __attribute__((visibility("default")))
#else
#define DALVEX_API
#endif
