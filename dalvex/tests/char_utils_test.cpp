// Character classes, UCS-2 string functions, KVB_stricmp,
// KVB_GetGroupCharWidth and the strip filters, through Dalvex's exports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dalvex/char_utils.h"

namespace {

TEST(CharClasses, UnitsThroughTheFixedTables) {
  struct Case {
    char16_t unit;
    bool jis, ank, hira, kata;
  } cases[] = {
      {u'A', false, true, false, false},      {u' ', false, true, false, false},
      {u'\t', false, false, false, false},    {0x7F, false, true, false, false},
      {0xFF71, false, true, false, false},    // half-width katakana A
      {0x203E, false, true, false, false},    // overline, written as 0x7E
      {0x00A5, false, false, false, false},   // yen sign: no code of its own
      {0x3041, true, false, true, false},     // small a: 0x829F, first hiragana
      {0x3093, true, false, true, false},     // n: 0x82F1, last hiragana
      {0x309B, true, false, false, false},    // voiced mark 0x814A
      {0x30A1, true, false, false, true},     // small A: 0x8340, first katakana
      {0x30F6, true, false, false, true},     // small KE: 0x8396, last katakana
      {0xFF3C, true, false, false, false},    // full-width reverse solidus 0x815F
      {0x2252, true, false, false, false},    // approximately equal 0x81E0, not the NEC copy
      {0x2160, false, false, false, false},   // roman numeral one: NEC row only
      {0x2170, false, false, false, false},   // small roman numeral one: IBM rows only
      {0xE000, false, false, false, false},   // user area
      {0x4E9C, true, false, false, false},    // first kanji 0x889F
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "U+" << std::hex << static_cast<int>(c.unit));
    EXPECT_EQ(KVB_isucs2jis(c.unit) != 0, c.jis);
    EXPECT_EQ(KVB_isucs2ank(c.unit) != 0, c.ank);
    EXPECT_EQ(KVB_isucs2zenhira(c.unit), c.hira ? c.unit : 0);
    EXPECT_EQ(KVB_isucs2zenkata(c.unit), c.kata ? c.unit : 0);
  }
  EXPECT_TRUE(KVB_isucs2alnum(u'z') && KVB_isucs2alnum(u'0') && KVB_isucs2digit(u'9') && KVB_isucs2ascii(0x7F));
  EXPECT_TRUE(KVB_isucs2cntrl(0x1F) && KVB_isucs2cntrl(0x7F) && !KVB_isucs2cntrl(u' '));
  EXPECT_FALSE(KVB_isucs2alnum(u'_') || KVB_isucs2digit(0xFF10) || KVB_isucs2ascii(0x80));
}

TEST(CharClasses, ShiftJisCodes) {
  struct Case {
    uint16_t code;
    bool jis;
  } cases[] = {{0x8140, true},  {0x81AC, true},  {0x81AD, false}, {0x81FC, true},  {0x889F, true},
               {0x8940, true},  {0x897F, false}, {0x8930, false}, {0x88FD, false}, {0x9872, true},
               {0x9873, false}, {0xEAA4, true},  {0xEAA5, false}, {0xFC4B, true},  {0xFC4C, false},
               {0x0041, false}, {0x00FF, false}};
  for (const Case& c : cases) EXPECT_EQ(KVB_isjis(c.code), c.jis ? c.code : 0) << std::hex << c.code;
  for (int code : {0x20, 0x7E, 0xA0, 0xDF}) EXPECT_EQ(KVB_isank(code), code);
  for (int code : {0x1F, 0x7F, 0x80, 0x9F, 0xE0, 0x100, -1}) EXPECT_EQ(KVB_isank(code), 0) << code;
}

TEST(Ucs2Strings, BehaveAsTheirByteCounterparts) {
  char16_t buffer[32] = u"Ab";
  EXPECT_EQ(KVB_ucs2strcat(buffer, u"C\u3042d"), buffer);
  EXPECT_EQ(std::u16string(buffer), u"AbC\u3042d");
  EXPECT_EQ(KVB_ucs2strlen(buffer), 5);
  EXPECT_EQ(KVB_ucs2strchr(buffer, u'\u3042'), buffer + 3);
  EXPECT_EQ(KVB_ucs2strchr(buffer, u'x'), nullptr);
  EXPECT_EQ(KVB_ucs2strchr(buffer, 0), buffer + 5);
  EXPECT_EQ(std::u16string(KVB_ucs2strupr(buffer)), u"ABC\u3042D");
  EXPECT_EQ(std::u16string(KVB_ucs2strlwr(buffer)), u"abc\u3042d");

  EXPECT_EQ(KVB_ucs2strcmp(u"abc", u"abc"), 0);
  EXPECT_LT(KVB_ucs2strcmp(u"ab", u"abc"), 0);
  EXPECT_GT(KVB_ucs2strcmp(u"\uFF21", u"A"), 0);  // units compare unsigned
  EXPECT_EQ(KVB_ucs2strncmp(u"abcX", u"abcY", 3), 0);
  EXPECT_LT(KVB_ucs2strncmp(u"abcX", u"abcY", 4), 0);
  EXPECT_EQ(KVB_ucs2strncmp(u"ab", u"ab", 10), 0);

  char16_t padded[6] = {9, 9, 9, 9, 9, 9};
  KVB_ucs2strncpy(padded, u"ab", 5);
  EXPECT_EQ(std::u16string(padded, 6), std::u16string(u"ab\0\0\0", 5) + u'\x9');
  KVB_ucs2strncpy(padded, u"wxyz", 2);  // no terminator when src is as long as n
  EXPECT_EQ(std::u16string(padded, 3), std::u16string(u"wx\0", 3));
  EXPECT_EQ(std::u16string(KVB_ucs2strcpy(padded, u"q")), u"q");

  // Null pointers are empty strings, never a crash.
  EXPECT_EQ(KVB_ucs2strlen(nullptr), 0);
  EXPECT_EQ(KVB_ucs2strchr(nullptr, u'a'), nullptr);
  EXPECT_LT(KVB_ucs2strcmp(nullptr, u""), 0);
}

TEST(CharClasses, CaseInsensitiveNamesAndUnitWidths) {
  EXPECT_EQ(KVB_stricmp("Shift_JIS", "SHIFT_jis"), 0);
  EXPECT_LT(KVB_stricmp("abc", "ABD"), 0);
  EXPECT_GT(KVB_stricmp("abc", "AB"), 0);
  EXPECT_NE(KVB_stricmp("\xC3\xA4", "\xC3\x84"), 0);  // ASCII letters only
  EXPECT_LT(KVB_stricmp(nullptr, "a"), 0);

  struct Case {
    const char* name;
    int width;
  } cases[] = {{"ISO-10646-UCS-4", 4}, {"iso-10646-ucs-4", 4}, {"ISO-10646-UCS-2", 2}, {"utf-16", 2},
               {"UTF-16", 2},          {"UTF-16LE", 1},        {"UTF-8", 1},           {"Shift_JIS", 1},
               {"", 1},                {nullptr, 1}};
  for (const Case& c : cases) EXPECT_EQ(KVB_GetGroupCharWidth(c.name), c.width) << (c.name ? c.name : "null");
}

// A filter's output as bytes, or the marker "none" when it answered 0.
std::string Strip(bool control, const std::string& src, int len, int width, int big_endian = 0) {
  std::vector<char> dst(src.size() + 8, '#');
  int n = control ? KVB_CopyStripControlCode(dst.data(), reinterpret_cast<const uint8_t*>(src.data()), len,
                                             width, big_endian)
                  : KVB_CopyStripNULL(dst.data(), reinterpret_cast<const uint8_t*>(src.data()), len, width);
  if (n == 0) return "none";
  return std::string(dst.data(), static_cast<size_t>(n));
}

TEST(StripFilters, DropUnitsAndStopAtTheLastWholeUnit) {
  using namespace std::string_literals;
  struct Case {
    bool control;
    std::string src;
    int len, width, big_endian;
    std::string expected;
  } cases[] = {
      {false, "a\0b\0"s, 4, 1, 0, "ab"},
      {false, "a\0\0\0b\0"s, 6, 2, 0, "a\0b\0"s},
      {false, "\0\0\0\0x\0\0\0"s, 8, 4, 0, "x\0\0\0"s},
      {true, "a\tb\x1A\x1B\r\n\x7F\x1C\x0B"s, 10, 1, 0, "a\tb\x1B\r\n"s},
      {true, "\x1A\0a\0\x1B\0"s, 6, 2, 0, "a\0\x1B\0"s},
      {true, "\0\x1A\0a\x1A\0"s, 6, 2, 1, "\0a\x1A\0"s},  // big-endian: 0x1A00 is no control code
      {true, "\x09\0\0\0\x01\0\0\0"s, 8, 4, 0, "\x09\0\0\0"s},
      // A length that is not a multiple of the width: the part unit stays.
      {false, "a\0b"s, 3, 2, 0, "a\0"s},
      {true, "ab\x41"s, 3, 2, 0, "ab"},
      {false, "abcde"s, 5, 4, 0, "abcd"},
      // Widths other than 1, 2 and 4, and lengths below 1: nothing.
      {false, "ab"s, 2, 0, 0, "none"},
      {false, "ab"s, 2, -2, 0, "none"},
      {true, "abc"s, 3, 3, 0, "none"},
      {true, "ab"s, 2, 8, 0, "none"},
      {false, "ab"s, 0, 1, 0, "none"},
      {true, "ab"s, -5, 1, 0, "none"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.control ? "control " : "null ") << c.len << " " << c.width);
    EXPECT_EQ(Strip(c.control, c.src, c.len, c.width, c.big_endian), c.expected);
  }
  // In place, and null pointers.
  std::string text = "a\x01\x02z";
  EXPECT_EQ(KVB_CopyStripControlCode(text.data(), reinterpret_cast<const uint8_t*>(text.data()), 4, 1, 0), 2);
  EXPECT_EQ(text.substr(0, 2), "az");
  char dst[4];
  EXPECT_EQ(KVB_CopyStripNULL(nullptr, reinterpret_cast<const uint8_t*>("a"), 1, 1), 0);
  EXPECT_EQ(KVB_CopyStripControlCode(dst, nullptr, 1, 1, 0), 0);
}

}  // namespace
