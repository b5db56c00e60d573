// The block the converting streams hand the engine at a time (the reading
// stream's output block, the writing stream's input block), and the input
// buffer the reading stream's blocks follow one another in. The reading
// stream converts 16 KB at a time: each conversion call pays its set-up
// (planning the runs), a few per cent of converting 4 KB; the writing
// stream keeps 4 KB, the unit its length counts past a limit in. Fuzzing
// builds use 256-byte blocks in a 1 KB buffer, so that inputs of a few
// hundred bytes reach the refills, the put-backs across them and the moves
// to the buffer's front.
#pragma once

#include <cstddef>

namespace ObraCommon::kvb {

#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
inline constexpr size_t kBlockBytes = 256;
inline constexpr size_t kReadBlockBytes = 256;
inline constexpr size_t kInputBuffer = 1024;
#else
inline constexpr size_t kBlockBytes = 4096;
inline constexpr size_t kReadBlockBytes = 16384;
inline constexpr size_t kInputBuffer = 64 * 1024;
#endif

}  // namespace ObraCommon::kvb
