// The decompressor of compressed document parts. A token is a literal byte
// or a back reference of two bytes (12-bit window position, 4-bit length
// less 3). The window position of a reference is counted 18 bytes ahead, and
// the source is the last output position below the current one that falls
// on it; a source before the start of the output reads as 0, and the copy
// runs byte by byte so that a source overlapping the bytes being written
// repeats them.
#include "decompress.h"

#include <algorithm>
#include <cstring>

#include "dalvex/extract_records.h"

namespace glyphane {

namespace {
constexpr uint64_t kWindowMask = 4095;  // a window of 4,096 bytes
constexpr uint32_t kMaxFlagBytes = 0x1FFFF;
constexpr uint64_t kGroupBytes = 8 * 18;  // what a flag byte's tokens write at most
}  // namespace

int32_t VsdDecompress(const uint8_t* in, uint64_t size, bool loop_limit, std::vector<uint8_t>* out) {
  std::vector<uint8_t>& buffer = *out;
  // A buffer used before is taken with all the room it has: no byte is
  // read before it is written, so nothing needs clearing, and a caller that
  // keeps the buffer from part to part grows it only for the largest part.
  // Parts grow about fourfold.
  buffer.resize(std::max<size_t>(buffer.capacity(), size < 64 ? 64 : size * 4));
  uint8_t* data = buffer.data();
  uint64_t p = 0;
  uint64_t i = 0;
  uint32_t flag_bytes = 0;
  while (i < size) {
    if (loop_limit && ++flag_bytes > kMaxFlagBytes) return MaxLoopCounts;
    // Room for the flag byte's eight tokens, checked once for them all;
    // bytes written past a token's end are overwritten or cut off later.
    if (buffer.size() - p < kGroupBytes + 18) {
      while (buffer.size() - p < kGroupBytes + 18) buffer.resize(buffer.size() * 2);
      data = buffer.data();
    }
    uint8_t flags = in[i++];
    for (int bit = 0; bit < 8 && i < size; ++bit) {
      if (flags & (1u << bit)) {
        data[p++] = in[i++];
        continue;
      }
      if (i + 1 >= size) {  // the reference's second byte lies past the end
        i = size;
        break;
      }
      uint32_t b0 = in[i], b1 = in[i + 1];
      i += 2;
      uint64_t r = (b0 + ((b1 >> 4) << 8) + 18) & kWindowMask;
      uint32_t length = (b1 & 0x0F) + 3;
      // The greatest s below p with s = r modulo the window size: p - 1
      // less the distance from r, taken modulo the window (in two's
      // complement, also when p - 1 lies below r).
      int64_t s = static_cast<int64_t>(p) - 1 - static_cast<int64_t>((p - 1 - r) & kWindowMask);
      if (s >= 0 && p - static_cast<uint64_t>(s) >= 18) {
        // The source lies wholly behind, even for the longest copy: 18
        // bytes at once (room was made for them).
        std::memcpy(data + p, data + s, 18);
        p += length;
        continue;
      }
      for (uint32_t k = 0; k < length; ++k) {
        int64_t from = s + k;
        data[p++] = from < 0 ? 0 : data[static_cast<uint64_t>(from)];
      }
    }
  }
  buffer.resize(p);
  return 0;
}

}  // namespace glyphane
