// The decompressor of compressed document parts. A token is a literal byte
// or a back reference of two bytes (12-bit window position, 4-bit length
// less 3). The window position of a reference is counted 18 bytes ahead, and
// the source is the last output position below the current one that falls
// on it; a source before the start of the output reads as 0, and the copy
// comes out as a byte-by-byte copy would, so that a source overlapping the
// bytes being written repeats them (it moves several bytes at once only
// where each move reads bytes already written).
#include "decompress.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "dalvex/extract_records.h"

namespace glyphane {

namespace {
constexpr uint64_t kWindowMask = 4095;  // a window of 4,096 bytes
constexpr uint32_t kMaxFlagBytes = 0x1FFFF;
constexpr uint64_t kGroupBytes = 8 * 18;  // what a flag byte's tokens write at most
// What a flag byte's tokens read at most, with an eight-byte literal move
// begun at the last of them.
constexpr uint64_t kGroupInput = 8 * 2 + 8;
constexpr uint64_t kSlack = 24;           // what one token may write past its end

// Copies a reference of `length` bytes from output position s (below p)
// to p. Bytes written past the copy's end are overwritten or cut off later:
// nothing reads at or beyond p before it is written.
inline void CopyReference(uint8_t* data, int64_t s, uint64_t p, uint32_t length) {
  if (s < 0) {  // before the start of the output: zeros, then the output
    if (s + length <= 0) {
      std::memset(data + p, 0, length);
      return;
    }
    for (uint32_t k = 0; k < length; ++k) {
      int64_t from = s + static_cast<int64_t>(k);
      data[p + k] = from < 0 ? 0 : data[static_cast<uint64_t>(from)];
    }
    return;
  }
  const uint64_t distance = p - static_cast<uint64_t>(s);
  uint8_t* to = data + p;
  const uint8_t* from = data + s;
  if (distance >= 18) {
    std::memcpy(to, from, 18);  // wholly behind, even for the longest copy
  } else if (distance >= 8) {
    // Eight bytes at a time: each move reads only bytes written before it,
    // so a source overlapping the copy repeats as a byte-wise copy would.
    for (uint32_t k = 0; k < length; k += 8) std::memcpy(to + k, from + k, 8);
  } else if (distance == 1) {
    std::memset(to, *from, length);
  } else {
    for (uint32_t k = 0; k < length; ++k) to[k] = from[k];
  }
}

// The reference of bytes b0 b1 at output position p; answers its length.
inline uint32_t Reference(uint8_t* data, uint64_t p, uint32_t b0, uint32_t b1) {
  uint64_t r = (b0 + ((b1 >> 4) << 8) + 18) & kWindowMask;
  uint32_t length = (b1 & 0x0F) + 3;
  // The greatest s below p with s = r modulo the window size: p - 1 less
  // the distance from r, taken modulo the window (in two's complement, also
  // when p - 1 lies below r).
  int64_t s = static_cast<int64_t>(p) - 1 - static_cast<int64_t>((p - 1 - r) & kWindowMask);
  CopyReference(data, s, p, length);
  return length;
}

// The tokens of one flag byte, from input position *i to output position
// *p, where the input holds all they can read (kGroupInput bytes).
inline void Group(const uint8_t* in, uint8_t flags, uint8_t* data, uint64_t* i_io, uint64_t* p_io) {
  uint64_t i = *i_io;
  uint64_t p = *p_io;
  unsigned rest = flags;  // the flags of the tokens left, lowest first
  int left = 8;
  for (;;) {
    // The literals up to the next reference: one move of eight bytes (the
    // input holds them, and room was made), kept as far as they go.
    const int run = std::countr_one(rest);
    std::memcpy(data + p, in + i, 8);
    p += run;
    i += run;
    left -= run;
    if (left <= 0) break;
    rest >>= run + 1;
    --left;
    p += Reference(data, p, in[i], in[i + 1]);
    i += 2;
    if (left == 0) break;
  }
  *i_io = i;
  *p_io = p;
}

// The same where the input may end among the tokens: a token that would
// read past it ends the input.
inline void LastGroup(const uint8_t* in, uint64_t size, uint8_t flags, uint8_t* data, uint64_t* i_io,
                      uint64_t* p_io) {
  uint64_t i = *i_io;
  uint64_t p = *p_io;
  for (int bit = 0; bit < 8 && i < size; ++bit) {
    if (flags & (1u << bit)) {
      data[p++] = in[i++];
      continue;
    }
    if (i + 1 >= size) {  // the reference's second byte lies past the end
      i = size;
      break;
    }
    p += Reference(data, p, in[i], in[i + 1]);
    i += 2;
  }
  *i_io = i;
  *p_io = p;
}

template <typename Buffer>
int32_t Decompress(const uint8_t* in, uint64_t size, bool loop_limit, Buffer* out) {
  Buffer& buffer = *out;
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
    // Room for the flag byte's eight tokens, checked once for them all.
    if (buffer.size() - p < kGroupBytes + kSlack) {
      while (buffer.size() - p < kGroupBytes + kSlack) buffer.resize(buffer.size() * 2);
      data = buffer.data();
    }
    uint8_t flags = in[i++];
    if (flags == 0xFF && size - i >= 8) {  // eight literals: one move
      std::memcpy(data + p, in + i, 8);
      p += 8;
      i += 8;
    } else if (size - i >= kGroupInput) {
      Group(in, flags, data, &i, &p);
    } else {
      LastGroup(in, size, flags, data, &i, &p);
    }
  }
  buffer.resize(p);
  return 0;
}

}  // namespace

int32_t VsdDecompress(const uint8_t* in, uint64_t size, bool loop_limit, std::vector<uint8_t>* out) {
  return Decompress(in, size, loop_limit, out);
}

int32_t VsdDecompress(const uint8_t* in, uint64_t size, bool loop_limit, PartBuffer* out) {
  return Decompress(in, size, loop_limit, out);
}

}  // namespace glyphane
