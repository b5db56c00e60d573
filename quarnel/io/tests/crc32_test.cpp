// The CRC-32 that zip entries and gzip members are checked with: equal to
// zlib's crc32 for every length around the folding steps (64-byte rounds,
// 16-byte pieces, the bytes after them), every alignment, from the start
// and continued from a running value, and over a long text taken in
// pieces of odd sizes.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <vector>

#include "crc32.h"

namespace {

using ObraCommon::Crc32Update;

TEST(ZipCrc32, EqualsZlibOverLengthsAndAlignments) {
  std::mt19937 random(7);
  std::vector<unsigned char> bytes((3u << 20) + 64);
  for (unsigned char& b : bytes) b = static_cast<unsigned char>(random());
  for (uint32_t start : {0u, 0xFFFFFFFFu, 0x2144DF1Cu}) {
    for (size_t length = 0; length <= 600; ++length) {
      for (size_t align = 0; align < 16; ++align) {
        const unsigned char* p = bytes.data() + align;
        ASSERT_EQ(Crc32Update(start, p, length), crc32(start, p, static_cast<uInt>(length)))
            << "length " << length << ", alignment " << align << ", from " << start;
      }
    }
  }
  // Long runs, and a text taken in pieces whose CRCs are chained.
  for (size_t length : {size_t{4096}, size_t{65536 + 3}, size_t{262144}, size_t{3u << 20}}) {
    const unsigned char* p = bytes.data() + 5;
    EXPECT_EQ(Crc32Update(0, p, length), crc32(0, p, static_cast<uInt>(length))) << "length " << length;
  }
  uint32_t chained = 0;
  size_t at = 0;
  for (size_t piece = 1; at + piece <= bytes.size(); piece = piece * 3 + 1) {
    chained = Crc32Update(chained, bytes.data() + at, piece);
    at += piece;
  }
  EXPECT_EQ(chained, crc32(0, bytes.data(), static_cast<uInt>(at)));
}

}  // namespace
