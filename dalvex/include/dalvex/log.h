// Log files of the extractors. A log is written only when bit 0x10000 of the
// request's flag word A is set; every call takes that word and does nothing
// without the bit, so callers pass the handle on without testing it. A log
// lies beside the output: its folder, its base name followed by the
// extractor's suffix, and ".log".
#pragma once

#include "dalvex/export.h"
#include "dalvex/portability.h"

extern "C" {

DALVEX_API KVB_FileHandle kvb_logfopen(int flags, const char* path);
DALVEX_API int kvb_logfclose(int flags, KVB_FileHandle file);
DALVEX_API int kvb_logfprintf(int flags, KVB_FileHandle file, const char* format, int value);
// 0 with the log path in out (260 bytes); -1 when out is null, or with out
// set to "" when the name or the path would be too long.
DALVEX_API int GetLogFileName(const char* path, const char* suffix, char* out);

}  // extern "C"
