// CutStr: small texts at the edges of each charset class, then long texts
// made by glibc's iconv for every charset, cut at every limit from 0 to
// their length: each kept prefix must decode through iconv without error,
// give the start of the whole text's characters, and keep a CR LF pair
// together.
#include <gtest/gtest.h>

#include <iconv.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dalvex/char_utils.h"

namespace {

using namespace std::string_literals;

int Cut(const std::string& text, int max, const char* charset) {
  return CutStr(text.data(), static_cast<int>(text.size()), max, charset);
}

TEST(CutStr, EdgesOfEachClass) {
  struct Case {
    const char* charset;
    std::string text;
    int max;
    int kept;
  } cases[] = {
      // A CR LF pair is never split; a lead byte at the limit stays out.
      {"Shift_JIS", "ab\r\n", 3, 2},
      {"Shift_JIS", "ab\r\n", 4, 4},
      {"Shift_JIS", "ab\r", 3, 3},
      {"Shift_JIS", "a\x82\xA0", 2, 1},
      {"Shift_JIS-2004", "a\xF0\x40", 2, 1},
      {"shift_jis", "a\x82\xA0", 2, 1},  // names are taken in any case, as the engine takes them
      {"WINDOWS31J", "\x82\xA0\x82\xA2", 3, 2},
      {"no such charset", "abcdefghij", 4, 4},
      {"no such charset", "a\r\n", 2, 2},
      {"ISO-8859-15", "a\r\nb", 2, 1},
      {"ISO-646IRV", "a\r\nb", 2, 1},
      // Units: rounded down, CR LF in either byte order.
      {"UTF-16", "a\0b\0c\0"s, 5, 4},
      {"UTF-16", "a\0\r\0\n\0"s, 4, 2},
      {"UTF-16", "\0a\0\r\0\n"s, 4, 2},
      {"ISO-10646-UCS-2", "a\0b\0c"s, 5, 4},
      {"EUC-JP-FIX", "\0a\0\r\0\n"s, 4, 2},
      {"ISO-10646-UCS-4", "a\0\0\0\r\0\0\0\n\0\0\0"s, 11, 4},
      {"ISO-10646-UCS-4", "\0\0\0a\0\0\0\r\0\0\0\n"s, 8, 4},
      // UTF-16 never ends between the two units of a pair, in either order
      // of the units and either byte order.
      {"UTF-16", "a\0\x3D\xD8\x00\xDE"s, 4, 2},
      {"UTF-16", "\0a\xD8\x3D\xDE\x00"s, 4, 2},
      {"UTF-16", "\x00\xDE\x3D\xD8"s, 2, 0},
      {"UTF-16", "\x3D\xD8\x00\xDE"s, 4, 4},
      {"UTF-16", "\x3D\xD8\x41\x00"s, 2, 2},  // a lone surrogate is a unit of its own
      // UTF-8 by sequence length.
      {"UTF-8", "a\xE3\x81\x82", 3, 1},
      {"UTF-8", "a\xF0\x9F\x98\x80", 5, 5},
      {"UTF-8", "a\xF0\x9F\x98\x80", 4, 1},
      // EUC: every lead 0xA1-0xFE and 0x8E takes two bytes, 0x8F three; the
      // JIS X 0213 names walk the same way.
      {"EUC-JP", "a\xE0\xA1", 2, 1},
      {"EUC-JP", "a\xFE\xFE", 2, 1},
      {"EUC-JP", "a\x8E\xB1", 2, 1},
      {"EUC-JP", "a\x8F\xB0\xA1", 3, 1},
      {"EUC-JP", "a\x8F\xB0\xA1", 4, 4},
      {"EUC-JIS-2004", "a\x8F\xA1\xA1", 3, 1},
      {"EUC-JIS-2004", "a\xF0\xA1", 2, 1},
      {"EUC-JISX0213", "a\x8E\xB1", 2, 1},
      // Double-byte charsets from 0x81, GB18030 with its four-byte form.
      {"ChineseGBK", "a\x81\x40", 2, 1},
      {"ChineseBIG5", "\xA4\x40\xA4\x41", 3, 2},
      {"KoreanKSC", "\xB0\xA1\r\n", 3, 2},
      {"GB18030", "a\x81\x30\x81\x30", 4, 1},
      {"GB18030", "a\x81\x30\x81\x30", 5, 5},
      {"GB18030", "a\xB0\xA1", 2, 1},
      // ISO-2022: escapes count their real length, characters their mode.
      {"ISO-2022-JP", "\x1B$B\x30\x21\x1B(B", 4, 3},
      {"ISO-2022-JP", "\x1B$B\x30\x21\x1B(B", 5, 5},
      {"ISO-2022-JP", "\x1B$B\x30\x21\x1B(B", 7, 5},
      {"ISO-2022-JP-2004", "\x1B$(Q\x30\x21", 3, 0},
      {"ISO-2022-JP-2004", "\x1B$(Q\x30\x21", 5, 4},
      {"ISO-2022-JP-2004", "\x1B$(Q\x30\x21", 6, 6},
      {"ISO-2022-JP-3", "\x1B$(P\x21\x21\x21", 7, 6},
      // A cut between CR and LF leaves out the CR and the ESC ( before it.
      {"ISO-2022-JP", "\x1B$B\x30\x21\x1B(B\r\n", 9, 5},
      {"ISO-2022-JP", "ab\r\n", 3, 2},
      {"ISO-2022-JP", "\x1B$B\x30\x21\r\n", 6, 5},  // CR stands alone in double-byte mode
      // Limits and lengths below 1, and a missing text.
      {"Shift_JIS", "abc", 0, 0},
      {"Shift_JIS", "abc", -4, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.charset << " max " << c.max);
    EXPECT_EQ(Cut(c.text, c.max, c.charset), c.kept);
  }
  EXPECT_EQ(CutStr("abc", -1, 3, "UTF-8"), 0);
  EXPECT_EQ(CutStr(nullptr, 3, 3, "UTF-8"), 0);
  EXPECT_EQ(CutStr("abc", 3, 2, nullptr), 2);
}

// ---- Long texts through iconv ----

std::string IconvConvert(const char* from, const char* to, const std::string& in, bool* ok) {
  *ok = false;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string();
  std::string out(in.size() * 4 + 16, '\0');
  char* inp = const_cast<char*>(in.data());
  size_t inleft = in.size();
  char* outp = out.data();
  size_t outleft = out.size();
  size_t r = iconv(cd, &inp, &inleft, &outp, &outleft);
  bool whole = r == 0 && inleft == 0;  // no error, nothing replaced
  if (whole) whole = iconv(cd, nullptr, nullptr, &outp, &outleft) == 0;
  iconv_close(cd);
  out.resize(out.size() - outleft);
  *ok = whole;
  return out;
}

std::string Utf32(const std::u32string& text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 4);
}

std::u32string FromUtf32(const std::string& bytes) {
  std::u32string out(bytes.size() / 4, U'\0');
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char32_t>(static_cast<uint8_t>(bytes[4 * i]) | static_cast<uint8_t>(bytes[4 * i + 1]) << 8 |
                                   static_cast<uint8_t>(bytes[4 * i + 2]) << 16 |
                                   static_cast<uint8_t>(bytes[4 * i + 3]) << 24);
  return out;
}

// EUC-JP-FIX: every character in two bytes (ASCII and kana after a 0 byte,
// JIS X 0212 with the second byte's top bit clear).
std::string EucToFixed(const std::string& euc) {
  std::string out;
  for (size_t i = 0; i < euc.size();) {
    uint8_t b = static_cast<uint8_t>(euc[i]);
    if (b < 0x80) {
      out += '\0', out += euc[i], i += 1;
    } else if (b == 0x8E) {
      out += '\0', out += euc[i + 1], i += 2;
    } else if (b == 0x8F) {
      out += euc[i + 1], out += static_cast<char>(euc[i + 2] & 0x7F), i += 3;
    } else {
      out += euc.substr(i, 2), i += 2;
    }
  }
  return out;
}

std::string FixedToEuc(const std::string& fixed) {
  std::string out;
  for (size_t i = 0; i + 1 < fixed.size(); i += 2) {
    uint8_t first = static_cast<uint8_t>(fixed[i]), second = static_cast<uint8_t>(fixed[i + 1]);
    if (first == 0) {
      if (second >= 0x80) out += '\x8E';
      out += static_cast<char>(second);
    } else if (second < 0x80) {
      out += '\x8F', out += static_cast<char>(first), out += static_cast<char>(second | 0x80);
    } else {
      out += fixed.substr(i, 2);
    }
  }
  return out + std::string(fixed.size() % 2, '\x80');  // an odd byte stays invalid
}

// The code points the long texts are drawn from: every script the
// charsets hold, characters beyond the BMP, and line ends.
std::u32string Pool() {
  std::u32string pool;
  auto add = [&](char32_t first, char32_t last, char32_t step) {
    for (char32_t c = first; c <= last; c += step) pool += c;
  };
  add(0x20, 0x7E, 1);
  add(0xA0, 0x17F, 1);
  add(0x391, 0x3C9, 3);
  add(0x410, 0x44F, 3);
  add(0x2010, 0x2312, 5);
  add(0x2460, 0x24FF, 7);
  add(0x3000, 0x30FF, 1);
  add(0x3400, 0x4DB5, 61);
  add(0x4E00, 0x9FA5, 17);
  add(0xAC00, 0xD7A3, 97);
  add(0xF900, 0xFA2D, 13);
  add(0xFF01, 0xFF9F, 1);
  add(0xFFE0, 0xFFE6, 1);
  add(0x1F600, 0x1F64F, 9);
  add(0x20000, 0x2A6D6, 37);
  return pool;
}

// A long text of `count` characters of the pool that `iconv_name` can
// encode on their own, with CR LF (and lone CR and LF) between runs.
std::u32string LongText(const char* iconv_name, size_t count) {
  std::u32string encodable;
  for (char32_t c : Pool()) {
    bool ok;
    IconvConvert("UTF-32LE", iconv_name, Utf32(std::u32string(1, c)), &ok);
    if (ok) encodable += c;
  }
  std::u32string text;
  if (encodable.empty()) return text;
  // First the characters of the rarer byte forms (an IBM extension, JIS X
  // 0212, JIS X 0213 plane 2, a four-byte GB18030 code), where encodable.
  for (char32_t c : {0x2170, 0x4E02, 0x20089, 0x4FE0, 0x0080, 0x00A5, 0x203E, 0x1F600})
    if (encodable.find(c) != std::u32string::npos) text += c;
  uint32_t seed = 12345;
  for (size_t i = 0; i < count; ++i) {
    seed = seed * 1103515245u + 12345u;
    uint32_t r = seed >> 8;
    if (r % 13 == 0)
      text += U"\r\n";
    else if (r % 71 == 0)
      text += r % 2 ? U"\r" : U"\n";
    else
      text += encodable[r % encodable.size()];
  }
  return text;
}

struct Peer {
  const char* charset;  // as CutStr is given it
  const char* iconv_name;
  std::string must_contain;  // a byte form the text must show, so it is tested
};

const Peer kPeers[] = {
    {"Shift_JIS", "SHIFT_JIS", "\x82"},
    {"WINDOWS31J", "WINDOWS-31J", "\xFA"},
    {"EUC-JP", "EUC-JP", "\x8F"},
    {"EUC-JP-FIX", "EUC-JP", "\x8E"},  // the fixed form is made from EUC-JP
    {"ISO-2022-JP", "ISO-2022-JP", "\x1B$B"},
    {"Shift_JIS-2004", "SHIFT_JISX0213", "\xF0"},
    {"EUC-JIS-2004", "EUC-JISX0213", "\x8F"},
    {"ISO-2022-JP-2004", "ISO-2022-JP-3", "\x1B$("},
    {"ISO-10646-UCS-2", "UCS-2LE", ""},
    {"ISO-10646-UCS-2", "UCS-2BE", ""},
    {"UTF-16", "UTF-16LE", "\x3D\xD8"},
    {"UTF-16", "UTF-16BE", "\xD8\x3D"},
    {"ISO-10646-UCS-4", "UTF-32LE", ""},
    {"ISO-10646-UCS-4", "UTF-32BE", ""},
    {"UTF-8", "UTF-8", "\xF0"},
    {"ChineseGBK", "CP936", ""},
    {"ChineseBIG5", "CP950", ""},
    {"KoreanKSC", "CP949", ""},
    {"GB18030", "GB18030", "\x81\x30"},
    {"ISO-8859-1", "ISO-8859-1", ""},
    {"ISO-646IRV", "ASCII", ""},
    {"EUC-JISX0213", "EUC-JISX0213", "\x8F"},
    {"ISO-2022-JP-3", "ISO-2022-JP-3", "\x1B$("},
    {"Shift_JISX0213", "SHIFT_JISX0213", ""},
};

TEST(CutStr, EveryPrefixOfALongTextDecodesThroughIconv) {
  for (const Peer& peer : kPeers) {
    SCOPED_TRACE(testing::Message() << peer.charset << " as " << peer.iconv_name);
    bool fixed = std::string(peer.charset) == "EUC-JP-FIX";
    std::u32string source = LongText(peer.iconv_name, 500);
    ASSERT_FALSE(source.empty());
    bool ok;
    std::string text = IconvConvert("UTF-32LE", peer.iconv_name, Utf32(source), &ok);
    ASSERT_TRUE(ok);
    if (!peer.must_contain.empty()) {
      ASSERT_NE(text.find(peer.must_contain), std::string::npos);
    }
    if (fixed) text = EucToFixed(text);
    auto decode = [&](const std::string& bytes, bool* decoded) {
      return FromUtf32(IconvConvert(peer.iconv_name, "UTF-32LE", fixed ? FixedToEuc(bytes) : bytes, decoded));
    };
    std::u32string whole = decode(text, &ok);
    ASSERT_TRUE(ok);
    int len = static_cast<int>(text.size());
    int failures = 0;
    for (int max = 0; max <= len && failures < 5; ++max) {
      int kept = CutStr(text.data(), len, max, peer.charset);
      std::u32string part = decode(text.substr(0, static_cast<size_t>(std::max(kept, 0))), &ok);
      bool good = kept >= 0 && kept <= max && kept >= max - 8 && ok && whole.compare(0, part.size(), part) == 0 &&
                  !(!part.empty() && part.back() == U'\r' && whole.size() > part.size() && whole[part.size()] == U'\n');
      for (char32_t c : part) good = good && (c < 0xD800 || c > 0xDFFF);
      if (!good) {
        ++failures;
        ADD_FAILURE() << "max " << max << " kept " << kept << " decoded " << ok;
      }
    }
  }
}

}  // namespace
