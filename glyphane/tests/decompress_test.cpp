// The decompressor of compressed parts: token layout, window positions
// counted 18 bytes ahead, sources before the output's start, overlapping
// copies, the end of the input, and the flag-byte limit.
#include "decompress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dalvex/extract_records.h"

namespace {

// A token: a literal byte, or a reference (window offset, length 3-18).
struct Token {
  bool literal;
  uint8_t byte;
  uint16_t offset;
  uint8_t length;
};
Token Lit(uint8_t b) { return {true, b, 0, 0}; }
Token Ref(uint16_t offset, uint8_t length) { return {false, 0, offset, length}; }

std::string Encode(const std::vector<Token>& tokens) {
  std::string out;
  for (size_t i = 0; i < tokens.size(); i += 8) {
    uint8_t flags = 0;
    std::string body;
    for (size_t k = 0; k < 8 && i + k < tokens.size(); ++k) {
      const Token& t = tokens[i + k];
      if (t.literal) {
        flags |= static_cast<uint8_t>(1u << k);
        body.push_back(static_cast<char>(t.byte));
      } else {
        body.push_back(static_cast<char>(t.offset & 0xFF));
        body.push_back(static_cast<char>(((t.offset >> 8) << 4) | (t.length - 3)));
      }
    }
    out.push_back(static_cast<char>(flags));
    out += body;
  }
  return out;
}

std::string Inflate(const std::string& in, int32_t* rc = nullptr, bool limit = false) {
  std::vector<uint8_t> out;
  int32_t code = glyphane::VsdDecompress(reinterpret_cast<const uint8_t*>(in.data()), in.size(), limit, &out);
  if (rc) *rc = code;
  return std::string(out.begin(), out.end());
}

TEST(VsdDecompress, SmallInputs) {
  struct Case {
    const char* what;
    std::string in;
    std::string out;
  } cases[] = {
      {"a first reference reads zeros", Encode({Ref(0, 5)}), std::string(5, '\0')},
      {"one flag byte alone", std::string(1, '\x00'), ""},
      {"literals", Encode({Lit('a'), Lit('b'), Lit('c')}), "abc"},
      // At output position 2, window position 0 is the source 0; the copy
      // overlaps the bytes it writes and repeats them.
      {"overlapping copy", Encode({Lit('a'), Lit('b'), Ref(4078, 7)}), "ababababa"},
      {"reference cut at the end", std::string("\x01" "a" "\x05", 3), "a"},
  };
  for (const Case& c : cases) {
    int32_t rc;
    EXPECT_EQ(Inflate(c.in, &rc), c.out) << c.what;
    EXPECT_EQ(rc, 0) << c.what;
  }
}

// The reader keeps one output buffer from part to part: what an earlier
// part left in it must never show through, not even where a reference
// reads before the start of the output.
TEST(VsdDecompress, ReusedBufferShowsNothingOld) {
  const std::string inputs[] = {
      Encode({Ref(0, 5)}),
      Encode({Lit('a'), Lit('b'), Ref(4078, 7)}),
      std::string(1, '\x00'),
      Encode({Lit('x'), Ref(0, 18), Ref(0, 18)}),
  };
  std::vector<uint8_t> out(100000, 0xFF);
  for (const std::string& in : inputs) {
    int32_t rc = glyphane::VsdDecompress(reinterpret_cast<const uint8_t*>(in.data()), in.size(), false, &out);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(std::string(out.begin(), out.end()), Inflate(in));
    out.assign(out.capacity(), 0xEE);  // stale bytes everywhere for the next input
  }
}

TEST(VsdDecompress, WindowPositionFollowsTheOutput) {
  std::vector<Token> tokens;
  size_t p = 0;
  auto literals_until = [&](size_t end) {
    for (; p < end; ++p) tokens.push_back(Lit(static_cast<uint8_t>(p % 251)));
  };
  literals_until(4100);
  tokens.push_back(Ref(4090, 3));  // window position 12
  p += 3;
  literals_until(5000);
  tokens.push_back(Ref(4090, 3));
  std::string out = Inflate(Encode(tokens));
  ASSERT_EQ(out.size(), 5003u);
  EXPECT_EQ(out.substr(4100, 3), out.substr(12, 3));    // at 4,100 the source is 12
  EXPECT_EQ(out.substr(5000, 3), out.substr(4108, 3));  // at 5,000 it is 4,108
}

// A reference copies from its source byte by byte, so a source closer than
// the copy's length repeats the bytes being written; bytes after the copy
// come out as the tokens after it say. Every distance and length, with the
// reference inside the input and as its last token, into a fresh vector
// and into one part buffer kept from copy to copy.
TEST(VsdDecompress, ReferencesAtEveryDistance) {
  glyphane::PartBuffer kept;
  for (uint32_t distance : {1u, 2u, 3u, 5u, 7u, 8u, 9u, 12u, 16u, 17u, 18u, 19u, 40u}) {
    for (uint8_t length = 3; length <= 18; ++length) {
      for (bool last : {false, true}) {
        SCOPED_TRACE(testing::Message() << "distance " << distance << ", length " << int{length}
                                        << (last ? ", last token" : ""));
        std::vector<Token> tokens;
        std::string expected;
        for (int k = 0; k < 45; ++k) {
          tokens.push_back(Lit(static_cast<uint8_t>('A' + k)));
          expected.push_back(static_cast<char>('A' + k));
        }
        const size_t p = expected.size();
        // The window position of source p - distance, counted 18 ahead.
        tokens.push_back(Ref(static_cast<uint16_t>((p - distance - 18) & 4095), length));
        for (uint8_t k = 0; k < length; ++k) expected.push_back(expected[p - distance + k]);
        if (!last)
          for (char c : std::string("xyz")) {
            tokens.push_back(Lit(static_cast<uint8_t>(c)));
            expected.push_back(c);
          }
        const std::string in = Encode(tokens);
        EXPECT_EQ(Inflate(in), expected);
        ASSERT_EQ(glyphane::VsdDecompress(reinterpret_cast<const uint8_t*>(in.data()), in.size(), false, &kept), 0);
        EXPECT_EQ(std::string(kept.begin(), kept.end()), expected);
      }
    }
  }
}

TEST(VsdDecompress, FlagByteLimit) {
  std::string allowed;
  for (int i = 0; i < 0x1FFFF; ++i) allowed += std::string("\xFF" "abcdefgh", 9);
  int32_t rc;
  EXPECT_EQ(Inflate(allowed, &rc, true).size(), 0x1FFFFu * 8);
  EXPECT_EQ(rc, 0);
  std::string over = allowed + std::string("\xFF" "a", 2);
  Inflate(over, &rc, true);
  EXPECT_EQ(rc, MaxLoopCounts);
  EXPECT_EQ(Inflate(over, &rc, false).size(), 0x1FFFFu * 8 + 1);
  EXPECT_EQ(rc, 0);
}

}  // namespace
