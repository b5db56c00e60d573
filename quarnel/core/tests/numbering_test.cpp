// List numbers in every style, and Japanese numerals of digit runs, as
// texts given by the rules of each style rather than by a peer.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "quarnel/name.h"
#include "quarnel/util.h"
#include "quarnel/zel_lang.h"
#include "support.h"

namespace {

using ObraCommon::UnicodeString;
using ObraCommon::ZelLang;
using ObraCommon::ZelName;
using ObraCommon::ZelUtil;
using quarnel_test::Utf8;

UnicodeString U(const char* utf8) { return UnicodeString::fromUTF8(utf8); }

std::string Format(int number, const char* format, const char* language = nullptr, const char* separator = "",
                   int size = 0) {
  return Utf8(ZelUtil::formatNumber(number, U(format), U(separator), size,
                                    language != nullptr ? ZelLang(language) : ZelLang(), ObraCommon::NAME_AUTO));
}

struct FormatCase {
  int number;
  const char* format;
  const char* language;
  const char* expected;
};

TEST(FormatNumber, StylesOfEveryToken) {
  const FormatCase cases[] = {
      // Digits around prefix and suffix (the padded forms are compared with
      // xsltproc and ICU).
      {7, "", nullptr, "7"},
      {1234, "１", nullptr, "１２３４"},
      {5, "Page 1", nullptr, "5 1"},  // the token is "Page": decimal
      {5, "-", nullptr, "-5"},
      {5, "21", nullptr, "5"},
      // Bijective letters (the Latin alphabet itself is compared with
      // xsltproc, the roman numerals with ICU).
      {27, "ａ", nullptr, "ａａ"},
      {10, "A", "it", "L"},
      {21, "A", "it", "Z"},
      {22, "A", "it", "AA"},
      {1, "a", "ru", "а"},
      {3, "a", "ru", "в"},
      {26, "A", "de", "Z"},
      {27, "A", "de", "AA"},
      {27, "a", "de", "ß"},
      {27, "a", "de-DE", "aa"},  // only a key without country matches
      {15, "A", "es", "Ñ"},
      {2, "α", nullptr, "β"},
      {2, "Α", "ru", "Β"},
      {25, "А", "uk", "Х"},
      {5, "а", "uk", "ґ"},
      // Fixed sequences, at their length and one past it.
      {47, "い", nullptr, "す"},
      {48, "い", nullptr, "いい"},
      {46, "ア", nullptr, "ン"},
      {45, "ｲ", nullptr, "ｽ"},
      {11, "甲", nullptr, "甲甲"},
      {12, "子", nullptr, "亥"},
      {14, "가", nullptr, "하"},
      {0, "가", nullptr, "영"},
      {-3, "ㄱ", nullptr, "영"},
      {0, "أ", nullptr, "٠"},
      {28, "أ", nullptr, "ي"},
      {0, "あ", nullptr, "0"},
      // Sexagenary cycle.
      {1, "甲子", nullptr, "甲子"},
      {11, "甲子", nullptr, "甲戌"},
      {60, "甲子", nullptr, "癸亥"},
      {61, "甲子", nullptr, "61"},
      // Roman numerals.
      {0, "I", nullptr, "0"},
      {14, "Ⅰ", nullptr, "ⅩⅣ"},
      {12, "Ⅰ", nullptr, "Ⅻ"},
      {112, "ⅰ", nullptr, "ⅽⅻ"},
      // Hebrew.
      {0, "א", nullptr, "אפס"},
      {15, "א", nullptr, "טו"},
      {16, "א", nullptr, "טז"},
      {115, "א", nullptr, "קטו"},
      {999, "א", nullptr, "תתקצט"},
      {1000, "א", nullptr, "אלף"},
      {2000, "א", nullptr, "אלפיים"},
      {3000, "א", nullptr, "ג אלפים"},
      {-1, "א", nullptr, "-1"},
      // Kanji and Sino-Korean digits; 〇 begins a padded token.
      {105, "一", nullptr, "一〇五"},
      {5, "〇一", nullptr, "〇五"},
      {105, "〇一", nullptr, "一〇五"},
      {7, "영일", nullptr, "영칠"},
      // A wide token is its own alphabet, supplementary letters whole.
      {3, "乙丙", nullptr, "乙乙"},
      {3, "𠀀𠀁", nullptr, "𠀀𠀀"},
      {4, "𠀀𠀁", nullptr, "𠀀𠀁"},
      {0, "𠀀𠀁", nullptr, "0"},
  };
  for (const FormatCase& c : cases)
    EXPECT_EQ(Format(c.number, c.format, c.language), c.expected) << c.number << " " << c.format;
}

TEST(FormatNumber, MendedLettersOfFiveAlphabets) {
  const FormatCase cases[] = {
      {21, "A", "cs", "Ň"}, {29, "a", "cs", "š"}, {23, "a", "sk", "ň"}, {31, "A", "sk", "Š"},
      {20, "a", "sl", "š"}, {25, "a", "sl", "ž"}, {25, "A", "lt", "Š"}, {5, "A", "uk", "Ґ"},
      {41, "a", "cs", "ž"}, {42, "a", "sk", "ž"}, {43, "a", "sk", "aa"}, {33, "a", "uk", "аа"},
  };
  for (const FormatCase& c : cases)
    EXPECT_EQ(Format(c.number, c.format, c.language), c.expected) << c.number << " " << c.language;
}

TEST(FormatNumber, GroupingAndSigns) {
  struct Case {
    int number;
    const char* format;
    const char* separator;
    int size;
    const char* expected;
  } cases[] = {
      {1234567, "1", ",", 3, "1,234,567"},
      {123456, "1", ",", 3, "123,456"},
      {-1234567, "1", ",", 3, "-1,234,567"},
      {-123456, "001", ",", 3, "-123,456"},
      {-5, "001", ",", 2, "-0,05"},
      {INT_MIN, "", ".", 3, "-2.147.483.648"},
      {INT_MIN, "i", "", 0, "-2147483648"},
      {-105, "〇一", "", 0, "-一〇五"},
      {12345, "一", "、", 2, "一、二三、四五"},
      {1234, "1", ",", -2, "1234"},
      {1234, "a", ",", 2, "aul"},  // letters are not grouped
      {1234, "x1y", "--", 2, "12--34"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Format(c.number, c.format, nullptr, c.separator, c.size), c.expected) << c.number << " " << c.format;
  EXPECT_EQ(Utf8(ZelUtil::formatNumber(-7, U("(a)"), ZelLang())), "(-7)");
}

struct KansujiCase {
  const char* text;
  const char* style;
  const char* digits;
  const char* units;
  const char* expected;
};

TEST(ConvertKansuji, StylesDigitsAndUnits) {
  const KansujiCase cases[] = {
      {"no digits", "plain", "kanji", "", "no digits"},
      {"2006/10/05", "plain", "kanji", "", "二〇〇六/一〇/〇五"},
      {"123", "plain", "latin", "", "１２３"},
      {"12/05", "readable", "kanji", "", "十二/五"},
      {"12/05", "grouping", "kanji", "", "一二/〇五"},
      {"12345", "grouping", "kanji", "", "一万二三四五"},
      {"120000", "grouping", "kanji", "", "一二万"},
      {"100001234", "grouping", "kanji", "", "一億〇〇〇〇万一二三四"},
      {"00005", "grouping", "kanji", "", "〇万〇〇〇五"},
      // Readable numbers below 200,000 are ICU's spell-out (the peer test).
      {"100000000", "readable", "kanji", "", "一億"},
      {"100010000", "readable", "kanji", "", "一億一万"},
      {"x 0", "readable", "kanji", "", "x 〇"},
      {"0/5", "readable", "kanji", "", "〇/五"},
      {"00 items", "readable", "kanji", "", "〇 items"},
      {"0012", "readable", "kanji", "", "十二"},
      // Past 極 the top groups are written digit by digit.
      {"1000000000000000000000000000000000000000000000000000", "readable", "kanji", "", "千極"},
      {"10000000000000000000000000000000000000000000000000000", "readable", "kanji", "", "一〇〇〇〇極"},
      {"100000000000000000000000000000000000000000000000000001", "readable", "kanji", "", "一〇〇〇〇〇極一"},
      {"20000000000000000000000000000000000000000000000000000", "grouping", "kanji", "", "二〇〇〇〇極"},
      // The caller's digits and units, taken as code points.
      {"2024", "plain", "零壹貳參肆伍陸柒捌玖", "", "貳零貳肆"},
      {"759", "plain", "ab", "", "七五九"},
      {"109", "plain", "𝟘𝟙", "", "𝟙𝟘九"},
      {"1234", "readable", "kanji", "拾佰阡", "阡二佰三拾四"},
      {"12345", "readable", "kanji", "𝟏𝟐𝟑𝟒", "一𝟒二𝟑三𝟐四𝟏五"},
      {"12345", "grouping", "latin", "XYZW", "１W２３４５"},
  };
  for (const KansujiCase& c : cases)
    EXPECT_EQ(Utf8(ZelUtil::convertKansuji(U(c.text), ZelName(U(c.style)), ZelName(U(c.digits)), U(c.units),
                                           UnicodeString(u"ignored"))),
              c.expected)
        << c.text << " " << c.style;
}

TEST(ConvertKansuji, NumbersThroughTheirDecimalText) {
  const ZelName readable(ObraCommon::NAME_READABLE), kanji(ObraCommon::NAME_KANJI);
  EXPECT_EQ(Utf8(ZelUtil::convertKansuji(20305, readable, kanji, UnicodeString(), UnicodeString())), "二万三百五");
  EXPECT_EQ(Utf8(ZelUtil::convertKansuji(-12, readable, kanji, UnicodeString(), UnicodeString())), "-十二");
  EXPECT_EQ(Utf8(ZelUtil::convertKansuji(INT_MIN, ZelName(ObraCommon::NAME_GROUPING), kanji, UnicodeString(),
                                         UnicodeString())),
            "-二一億四七四八万三六四八");
}

}  // namespace
