// Decompression of a compressed part of a Visio document: an LZ77 scheme
// with a 4,096-byte window whose positions are counted 18 bytes ahead of
// the output.
#pragma once

#include <cstdint>
#include <vector>

#include "part_bytes.h"

namespace glyphane {

// Decompresses `size` stored bytes into `out` (its size becomes the output
// length). With `loop_limit`, a part that needs more than 131,071 flag bytes
// ends with 3006. Answers 0 or an engine result code.
int32_t VsdDecompress(const uint8_t* in, uint64_t size, bool loop_limit, std::vector<uint8_t>* out);

// The same, into a part's own buffer.
int32_t VsdDecompress(const uint8_t* in, uint64_t size, bool loop_limit, PartBuffer* out);

}  // namespace glyphane
