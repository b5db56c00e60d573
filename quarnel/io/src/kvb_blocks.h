// The block the converting streams hand the engine at a time, and the input
// buffer those blocks follow one another in. Fuzzing builds use 256-byte
// blocks in a 1 KB buffer, so that inputs of a few hundred bytes reach the
// refills, the put-backs across them and the moves to the buffer's front.
#pragma once

#include <cstddef>

namespace ObraCommon::kvb {

#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
inline constexpr size_t kBlockBytes = 256;
inline constexpr size_t kInputBuffer = 1024;
#else
inline constexpr size_t kBlockBytes = 4096;
inline constexpr size_t kInputBuffer = 64 * 1024;
#endif

}  // namespace ObraCommon::kvb
