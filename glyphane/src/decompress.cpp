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
constexpr int64_t kWindow = 4096;
constexpr uint32_t kMaxFlagBytes = 0x1FFFF;
}  // namespace

int32_t VsdDecompress(const uint8_t* in, uint64_t size, bool loop_limit, std::vector<uint8_t>* out) {
  std::vector<uint8_t>& buffer = *out;
  // A buffer used before is taken with all the room it has: no byte is
  // read before it is written, so nothing needs clearing, and a caller that
  // keeps the buffer from part to part grows it only for the largest part.
  // Parts grow about fourfold.
  buffer.resize(std::max<size_t>(buffer.capacity(), size < 64 ? 64 : size * 4));
  uint64_t p = 0;
  uint64_t i = 0;
  uint32_t flag_bytes = 0;
  // Room for one token: a reference writes at most 18 bytes.
  auto room = [&] {
    if (buffer.size() - p < 18) buffer.resize(buffer.size() * 2, 0);
    return buffer.data();
  };
  while (i < size) {
    if (loop_limit && ++flag_bytes > kMaxFlagBytes) return MaxLoopCounts;
    uint8_t flags = in[i++];
    for (int bit = 0; bit < 8 && i < size; ++bit) {
      uint8_t* data = room();
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
      int64_t offset = static_cast<int64_t>(b0 | ((b1 >> 4) << 8));
      uint32_t length = (b1 & 0x0F) + 3;
      int64_t r = (offset + 18) % kWindow;
      // The greatest s below p with s = r modulo the window size.
      int64_t distance = static_cast<int64_t>(p) - 1 - r;
      int64_t turns = distance >= 0 ? distance / kWindow : -((-distance + kWindow - 1) / kWindow);
      int64_t s = r + turns * kWindow;
      if (s >= 0 && static_cast<uint64_t>(s) + length <= p) {
        std::memcpy(data + p, data + s, length);  // the source lies wholly behind
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
