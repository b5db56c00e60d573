// ZelChar: the XML name ranges at their ends, the layout classes at their
// edges, and the ICU-backed tests against the Unicode data files of the
// system (unicode-data), which catches a build against an ICU of another
// Unicode version.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <unicode/uchar.h>

#include "quarnel/zel_char.h"
#include "unicode_files.h"

namespace {

using ObraCommon::UnicodeString;
using ObraCommon::ZelChar;

struct NameCase {
  int32_t c;
  bool start, name, ncStart, ncName;
};

// Each row end of the name tables, its neighbours outside, and the
// deliberate departures from XML 1.0 Fifth Edition: U+00D7 and U+00F7 are
// name-start characters, U+FDD0-U+FDEF and U+FFFE-U+FFFF too, surrogates not.
TEST(ZelChar, NameRangesAtTheirEnds) {
  const NameCase cases[] = {
      {':', true, true, false, false},    {'A', true, true, true, true},
      {'Z', true, true, true, true},      {'_', true, true, true, true},
      {'a', true, true, true, true},      {'z', true, true, true, true},
      {'@', false, false, false, false},  {'[', false, false, false, false},
      {'`', false, false, false, false},  {'{', false, false, false, false},
      {'-', false, true, false, true},    {'.', false, true, false, true},
      {'0', false, true, false, true},    {'9', false, true, false, true},
      {'/', false, false, false, false},  {0xBF, false, false, false, false},
      {0xB7, false, true, false, true},   {0xC0, true, true, true, true},
      {0xD7, true, true, true, true},     {0xF7, true, true, true, true},
      {0x2FF, true, true, true, true},    {0x300, false, true, false, true},
      {0x36F, false, true, false, true},  {0x370, true, true, true, true},
      {0x37D, true, true, true, true},    {0x37E, false, false, false, false},
      {0x37F, true, true, true, true},    {0x1FFF, true, true, true, true},
      {0x2000, false, false, false, false}, {0x200B, false, false, false, false},
      {0x200C, true, true, true, true},   {0x200D, true, true, true, true},
      {0x200E, false, false, false, false}, {0x203E, false, false, false, false},
      {0x203F, false, true, false, true}, {0x2040, false, true, false, true},
      {0x2041, false, false, false, false}, {0x206F, false, false, false, false},
      {0x2070, true, true, true, true},   {0x218F, true, true, true, true},
      {0x2190, false, false, false, false}, {0x2BFF, false, false, false, false},
      {0x2C00, true, true, true, true},   {0x2FEF, true, true, true, true},
      {0x2FF0, false, false, false, false}, {0x3000, false, false, false, false},
      {0x3001, true, true, true, true},   {0xD7FF, true, true, true, true},
      {0xD800, false, false, false, false}, {0xDFFF, false, false, false, false},
      {0xF8FF, false, false, false, false}, {0xF900, true, true, true, true},
      {0xFDD0, true, true, true, true},   {0xFDEF, true, true, true, true},
      {0xFFFE, true, true, true, true},   {0xFFFF, true, true, true, true},
      {0xEFFFF, true, true, true, true},  {0xF0000, false, false, false, false},
      {-1, false, false, false, false},
  };
  for (const NameCase& k : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << k.c);
    EXPECT_EQ(ZelChar::isNameStartChar(k.c), k.start);
    EXPECT_EQ(ZelChar::isNameChar(k.c), k.name);
    EXPECT_EQ(ZelChar::isNCNameStartChar(k.c), k.ncStart);
    EXPECT_EQ(ZelChar::isNCNameChar(k.c), k.ncName);
  }
}

TEST(ZelChar, EdgeCases) {
  struct Case {
    const char* what;
    bool got, want;
  };
  const UnicodeString loneLead = UnicodeString(u"ab") + char16_t(0xD83D);
  const UnicodeString pair = UnicodeString(u"a\U0001F600");
  const Case cases[] = {
      {"empty is not white space", ZelChar::isWhitespace(UnicodeString()), false},
      {"empty is empty or white space", ZelChar::isEmptyOrWhitespace(UnicodeString()), true},
      {"tabs and newlines are white space", ZelChar::isWhitespace(UnicodeString(u" \t\r\n")), true},
      {"form feed is not XML white space", ZelChar::isWhitespace(UnicodeString(u" \f")), false},
      {"U+007F is not ASCII without break", ZelChar::isAsciiNoHardBreak(0x7F), false},
      {"U+00A0 is ASCII without break", ZelChar::isAsciiNoHardBreak(0xA0), true},
      {"line feed is a hard break", ZelChar::isAsciiNoHardBreak(0x0A), false},
      {"U+FFFF is break or invalid", ZelChar::isHardBreakOrInvalid(0xFFFF), true},
      {"U+2010 is half", ZelChar::isHalf(0x2010), true},
      {"U+0100 is not half", ZelChar::isHalf(0x0100), false},
      {"U+2014 U+2015 separate", ZelChar::isNonSeparateChars(0x2014, 0x2015), false},
      {"U+2014 U+2014 do not", ZelChar::isNonSeparateChars(0x2014, 0x2014), true},
      {"U+2016 U+2016 separate", ZelChar::isNonSeparateChars(0x2016, 0x2016), false},
      {"U+3033 U+3035 do not", ZelChar::isNonSeparateChars(0x3033, 0x3035), true},
      {"left paren opens", ZelChar::isOpenParenEtc('('), true},
      {"left single quote opens", ZelChar::isOpenParenEtc(0x2018), true},
      {"right double quote closes", ZelChar::isCloseParenEtc(0x201D), true},
      {"ideographic full stop closes", ZelChar::isCloseParenEtc(0x3002), true},
      {"letter does not open", ZelChar::isOpenParenEtc('A'), false},
      {"middle dot is half punctuation", ZelChar::isHalfPunct(0x30FB), true},
      {"soft hyphen is no zero-width control", ZelChar::isZeroWidthControlCode(0xAD), false},
      {"NUL is a zero-width control", ZelChar::isZeroWidthControlCode(0), true},
      {"ZWJ is a zero-width control", ZelChar::isZeroWidthControlCode(0x200D), true},
      {"space is no zero-width control", ZelChar::isZeroWidthControlCode(' '), false},
      {"last variation selector", ZelChar::isVariationSelectorCharacter(0xE01EF), true},
      {"BMP variation selector is not", ZelChar::isVariationSelectorCharacter(0xFE00), false},
      {"mathematical alphanumerics", ZelChar::isMathOperator(0x1D7FF), true},
      {"Pd is punctuation", ZelChar::isPunct(U_DASH_PUNCTUATION), true},
      {"Sm is not punctuation", ZelChar::isPunct(U_MATH_SYMBOL), false},
      {"yen sign is a symbol", ZelChar::isSymbol(0xA5), true},
      {"last of empty", ZelChar::last(UnicodeString()) == 0xFFFF, true},
      {"last32 of empty", ZelChar::last32(UnicodeString()) == 0xFFFF, true},
      {"last32 of a lone lead", ZelChar::last32(loneLead) == 0xD83D, true},
      {"last32 of a pair", ZelChar::last32(pair) == 0x1F600, true},
      {"last of a pair", ZelChar::last(pair) == 0xDE00, true},
      {"last32 of a lone trail", ZelChar::last32(UnicodeString(u"a") + char16_t(0xDE00)) == 0xDE00, true},
      {"toZenkaku of space", ZelChar::toZenkaku(u' ') == u' ', true},
      {"toZenkaku of U+007F", ZelChar::toZenkaku(0x7F) == 0x7F, true},
      {"toZenkaku of !", ZelChar::toZenkaku(u'!') == 0xFF01, true},
      {"toZenkaku of ~", ZelChar::toZenkaku(u'~') == 0xFF5E, true},
      {"hex2dig of a", ZelChar::hex2dig('a') == 10, true},
      {"hex2dig of A", ZelChar::hex2dig('A') == 10, true},
      {"hex2dig of f", ZelChar::hex2dig('f') == 15, true},
      {"hex2dig of F", ZelChar::hex2dig('F') == 15, true},
      {"hex2dig of 9", ZelChar::hex2dig('9') == 9, true},
  };
  for (const Case& k : cases) EXPECT_EQ(k.got, k.want) << k.what;
}

// The JIS symbols are 118 code points; the bullets 13.
TEST(ZelChar, FixedSetSizes) {
  int symbols = 0, bullets = 0, half = 0;
  for (int32_t c = 0; c <= 0xFFFF; ++c) {
    symbols += ZelChar::isSymbolJIS(c);
    bullets += ZelChar::isBullet(c);
    half += ZelChar::isHalf(c) && c > 0xFF;
  }
  EXPECT_EQ(symbols, 118);
  EXPECT_EQ(bullets, 13);
  EXPECT_EQ(half, 28);
}

// The non-starters are the BMP code points of Line_Break CJ (in the file and
// in ICU), plus the five iteration marks.
TEST(ZelChar, NonStartersAreLineBreakCJ) {
  const auto lines = quarnel_test::ReadUnicodeFile("LineBreak.txt");
  if (lines.empty()) GTEST_SKIP() << "no LineBreak.txt: install unicode-data";
  std::vector<bool> cj(0x10000, false);
  for (const auto& [first, last, value] : lines) {
    if (value != "CJ") continue;
    for (int32_t c = first; c <= last && c <= 0xFFFF; ++c) cj[c] = true;
  }
  for (int32_t c : {0x3005, 0x309D, 0x309E, 0x30FD, 0x30FE}) cj[c] = true;
  for (int32_t c = 0; c <= 0xFFFF; ++c) {
    const bool icuCJ = ZelChar::getLineBreak(c) == U_LB_CONDITIONAL_JAPANESE_STARTER;
    ASSERT_EQ(cj[c], icuCJ || c == 0x3005 || c == 0x309D || c == 0x309E || c == 0x30FD || c == 0x30FE)
        << std::hex << c;
    ASSERT_EQ(ZelChar::isNonStarterJIS(c), cj[c]) << std::hex << c;
  }
}

// One sweep over every code point, each file's values filled over its
// @missing defaults.
TEST(ZelChar, PropertiesAgreeWithUnicodeData) {
  using quarnel_test::PropertyMap;
  const PropertyMap eaw = quarnel_test::ReadPropertyMap("EastAsianWidth.txt");
  const PropertyMap lb = quarnel_test::ReadPropertyMap("LineBreak.txt");
  const PropertyMap gc = quarnel_test::ReadCategoryMap();
  const PropertyMap alpha = quarnel_test::ReadPropertyMap("DerivedCoreProperties.txt", "Alphabetic");
  if (eaw.empty() || lb.empty() || gc.empty() || alpha.empty()) {
    GTEST_SKIP() << "Unicode data files missing: install unicode-data";
  }
  auto shortName = [](UProperty property, int32_t value) {
    const char* name = u_getPropertyValueName(property, value, U_SHORT_PROPERTY_NAME);
    return std::string(name ? name : "?");
  };
  int failures = 0;
  for (int32_t c = 0; c <= 0x10FFFF && failures < 20; ++c) {
    const std::string wantEaw = eaw.at(c), wantLb = lb.at(c), wantGc = gc.at(c);
    const bool wantAlpha = alpha.at(c) == "Alphabetic";
    const std::string gotEaw = shortName(UCHAR_EAST_ASIAN_WIDTH, ZelChar::getEastAsianWidth(c));
    const std::string gotLb = shortName(UCHAR_LINE_BREAK, ZelChar::getLineBreak(c));
    const std::string gotGc = shortName(UCHAR_GENERAL_CATEGORY, ZelChar::getCategory(c));
    const bool ok = gotEaw == wantEaw && gotLb == wantLb && gotGc == wantGc &&
                    ZelChar::isAlphabetic(c) == wantAlpha &&
                    ZelChar::isZenkaku(c) == (wantEaw == "F" || wantEaw == "W") &&
                    ZelChar::isHankaku(c) == (wantEaw == "H");
    if (!ok) {
      ++failures;
      ADD_FAILURE() << std::hex << c << ": ea " << gotEaw << "/" << wantEaw << " lb " << gotLb << "/"
                    << wantLb << " gc " << gotGc << "/" << wantGc;
    }
  }
}

}  // namespace
