// The fixed Shift_JIS/UCS-2 tables against glibc's WINDOWS-31J charmap:
// every JIS X 0201 and JIS X 0208 entry is present in both directions and
// every other index gives 0. JIS X 0208 is told here by its row (1-8 and
// 16-84), the way the charmap's own rows run, not by lead-byte lists.
#include <gtest/gtest.h>

#include <map>

#include "charset_sources.h"
#include "dalvex/char_utils.h"

namespace {

// The JIS row of a double-byte Shift_JIS code.
int JisRow(uint8_t lead, uint8_t trail) {
  int pair = lead <= 0x9F ? lead - 0x81 : lead - 0xC1;
  return pair * 2 + (trail >= 0x9F ? 2 : 1);
}

TEST(SjisTables, AgreeWithTheWindows31jCharmap) {
  std::vector<charsetgen::CharmapLine> lines;
  ASSERT_TRUE(charsetgen::ReadCharmap("/usr/share/i18n/charmaps/WINDOWS-31J.gz", &lines));
  std::map<uint16_t, uint16_t> to_unicode, to_sjis;
  for (const charsetgen::CharmapLine& line : lines) {
    if (line.code_points.size() != 1 || line.code_points[0] < 0x20 || line.code_points[0] > 0xFFFF) continue;
    uint16_t code;
    if (line.bytes.size() == 1) {
      code = line.bytes[0];
      if (code >= 0x80 && !(code >= 0xA1 && code <= 0xDF)) continue;
    } else if (line.bytes.size() == 2) {
      int row = JisRow(line.bytes[0], line.bytes[1]);
      if (!((row >= 1 && row <= 8) || (row >= 16 && row <= 84))) continue;
      code = static_cast<uint16_t>(line.bytes[0] << 8 | line.bytes[1]);
    } else {
      continue;
    }
    ASSERT_FALSE(line.irreversible) << std::hex << code;
    to_unicode[code] = static_cast<uint16_t>(line.code_points[0]);
    to_sjis[static_cast<uint16_t>(line.code_points[0])] = code;
  }
  EXPECT_EQ(to_unicode.size(), 96u + 63u + 6879u);
  to_sjis[0x203E] = 0x7E;

  int wrong = 0;
  for (uint32_t i = 0; i < 0x10000 && wrong < 10; ++i) {
    auto u = to_unicode.find(static_cast<uint16_t>(i));
    uint16_t expected = u == to_unicode.end() ? 0 : u->second;
    if (KVB_sjistounicode(static_cast<uint16_t>(i)) != expected) {
      ++wrong;
      ADD_FAILURE() << "Shift_JIS " << std::hex << i << " gives " << KVB_sjistounicode(static_cast<uint16_t>(i))
                    << ", charmap " << expected;
    }
    auto s = to_sjis.find(static_cast<uint16_t>(i));
    expected = s == to_sjis.end() ? 0 : s->second;
    if (KVB_unicodetosjis(static_cast<char16_t>(i)) != expected) {
      ++wrong;
      ADD_FAILURE() << "U+" << std::hex << i << " gives " << KVB_unicodetosjis(static_cast<char16_t>(i))
                    << ", charmap " << expected;
    }
  }
}

}  // namespace
