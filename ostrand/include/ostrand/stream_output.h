// Ostrand: the stream output helpers through which the extractors write to,
// and ask the position of, a caller's standard output stream. The stream
// belongs to the caller: Ostrand neither flushes nor closes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>

#include "win32/ordinals.h"

#if defined(OSTRAND_BUILDING)
#define OSTRAND_API __attribute__((visibility("default")))
#else
#define OSTRAND_API
#endif

extern "C" {

// Writes `count` bytes of `data`; 0 when the stream is good afterwards, 1
// when it is failed or bad (also for a null stream or a negative count,
// which write nothing). Never a byte count.
OSTRAND_API int KVB_WriteStream(std::ostream* os, int count, const char* data);

// The stream's put position; when that is not above 0, the number of
// characters waiting in the put area of the stream's own buffer (0 when it
// has none).
OSTRAND_API int64_t KVB_StreamTell(std::ostream* os);

// Ostrand's table of {ordinal, name} for callers that bind by ordinal.
OSTRAND_API const win32::OrdinalEntry* ostrand_OrdinalTable(size_t* count);

}  // extern "C"
