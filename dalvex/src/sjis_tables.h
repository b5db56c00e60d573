// The two fixed code tables of the character utilities, written at build
// time by the generator tools/charsetgen/src/sjistables.cpp from the
// WINDOWS-31J charmap: JIS X 0201 and JIS X 0208 with their Windows values,
// every other index 0 (indexes below 0x20 included).
#pragma once

#include <cstdint>

namespace dalvex {

// Shift_JIS code (a single byte, or lead byte * 256 + trail byte) to UCS-2.
extern const uint16_t kSjisToUcs2[65536];
// UCS-2 unit to Shift_JIS code.
extern const uint16_t kUcs2ToSjis[65536];

}  // namespace dalvex
