// The CRC-32 of zip entries and gzip members, the value zlib's crc32 gives.
// Runs of 64 bytes or more are folded with carry-less multiplication where
// the processor has it; shorter runs and other processors use zlib's crc32.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ObraCommon {

// The CRC-32 of data continued from crc (0 to start), as zlib's
// crc32(crc, data, length).
uint32_t Crc32Update(uint32_t crc, const unsigned char* data, size_t length);

}  // namespace ObraCommon
