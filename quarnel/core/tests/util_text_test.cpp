// ZelUtil's parsers and quoting: numbers as strtod reads them, hexadecimal
// numbers, quoted strings with their escapes, and quoting that reads back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <string>

#include "quarnel/util.h"
#include "support.h"

namespace {

using ObraCommon::UnicodeString;
using ObraCommon::ZelUtil;
using quarnel_test::Utf8;
using Mode = ZelUtil::QuoteMode;

constexpr Mode kDouble = ZelUtil::QUOTE_DOUBLE;
constexpr Mode kSingle = ZelUtil::QUOTE_SINGLE;
constexpr Mode kDoubled = ZelUtil::QUOTE_DOUBLED;
constexpr Mode kCss = ZelUtil::QUOTE_CSS_ESCAPE;

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

TEST(ParseNumber, ReadsWhatItShould) {
  struct Case {
    const char16_t* text;
    double value;
    long consumed;
    bool point;
  };
  const Case cases[] = {
      {u"  -12.5e3", -12.5, 7, true}, {u".5", 0.5, 2, true},    {u"abc", 0, 0, false},
      {u"+", 0, 0, false},            {u"  +", 0, 0, false},    {u"- 5", 0, 0, false},
      {u"\t\n\r+7px", 7, 5, false},   {u"12.", 12, 3, true},    {u"-.25;", -0.25, 4, true},
      {u".", 0, 0, false},            {u"\f1", 0, 0, false},    {u"007", 7, 3, false},
  };
  for (const Case& c : cases) {
    const char16_t* end = nullptr;
    bool point = !c.point;
    double value = ZelUtil::parseNumber(c.text, &end, &point);
    EXPECT_EQ(value, c.value) << Utf8(UnicodeString(c.text));
    EXPECT_EQ(end - c.text, c.consumed) << Utf8(UnicodeString(c.text));
    EXPECT_EQ(point, c.point) << Utf8(UnicodeString(c.text));
  }
  EXPECT_EQ(ZelUtil::parseNumber(u"3.25"), 3.25);
  EXPECT_TRUE(std::signbit(ZelUtil::parseNumber(u"-0")));
}

// An integer part of any length is read whole, and the end pointer is
// always set after it (run under AddressSanitizer for the long ones).
TEST(ParseNumber, LongIntegerPartsAreReadWhole) {
  for (size_t digits : {97u, 98u, 200u, 308u, 309u, 310u, 100000u}) {
    for (const char* sign : {"", "-"}) {
      std::string text = std::string(sign) + "9" + std::string(digits - 1, '1') + ".5x";
      std::u16string wide = Ascii(text);
      const char16_t* end = nullptr;
      double value = ZelUtil::parseNumber(wide.c_str(), &end);
      EXPECT_EQ(value, std::strtod(text.c_str(), nullptr)) << sign << digits << " digits";
      EXPECT_EQ(static_cast<size_t>(end - wide.c_str()), text.size() - 1) << sign << digits << " digits";
    }
  }
}

TEST(ParseNumber, AgreesWithStrtodOnRandomTexts) {
  // No exponent letters, "x", "i" or "n": those strtod reads and the
  // library's numbers do not have.
  const std::string alphabet = " \t\n\r+-0123456789..abcz";
  std::mt19937 random(20260117);
  for (int round = 0; round < 100000; ++round) {
    std::string text;
    size_t length = random() % 91;
    for (size_t i = 0; i < length; ++i) text.push_back(alphabet[random() % alphabet.size()]);
    std::u16string wide = Ascii(text);
    char* narrowEnd = nullptr;
    double expected = std::strtod(text.c_str(), &narrowEnd);
    const char16_t* end = nullptr;
    double value = ZelUtil::parseNumber(wide.c_str(), &end);
    ASSERT_EQ(value, expected) << "\"" << text << "\"";
    ASSERT_EQ(end - wide.c_str(), narrowEnd - text.c_str()) << "\"" << text << "\"";
  }
}

TEST(ParseHexNum, ReadsDigitsUpToTheLimit) {
  struct Case {
    const char16_t* text;
    int limit;
    unsigned int value;
    long consumed;
  };
  const Case cases[] = {
      {u"  1A2B3C4D", 6, 0x1A2B3Cu, 8},   {u"  1A2B3C4D", 0, 0x1A2B3C4Du, 10}, {u"ff", 0, 0xFFu, 2},
      {u"123456789", 0, 0xFFFFFFFFu, 9},  {u"0000000000ab", 0, 0xABu, 12},    {u"\r\n  g", 0, 0u, 4},
      {u"", 3, 0u, 0},                    {u"FFFFFFFF", -1, 0xFFFFFFFFu, 8},   {u"fFfFfFfFfFfFfFfFfFfF", 0, 0xFFFFFFFFu, 20},
  };
  for (const Case& c : cases) {
    const char16_t* end = nullptr;
    EXPECT_EQ(ZelUtil::parseHexNum(c.text, &end, c.limit), c.value) << Utf8(UnicodeString(c.text));
    EXPECT_EQ(end - c.text, c.consumed) << Utf8(UnicodeString(c.text));
  }
}

TEST(ParseString, ReadsQuotedAndEscapedStrings) {
  struct Case {
    const char16_t* text;
    Mode mode;
    const char16_t* result;  // null: the bogus string
    long consumed;
  };
  const Case cases[] = {
      {u"\"a\\41 b\"", kDouble | kCss, u"aAb", 8},
      {u"\"open", kDouble, nullptr, 0},
      {u"\"a\"\"b\" c", kDouble | kDoubled, u"a\"b", 6},
      {u" \f'x' rest", kDouble | kSingle, u"x", 5},
      {u"'x'", kDouble, nullptr, 0},
      {u"\"x\"", kSingle, nullptr, 0},
      {u"  plain \"text", Mode(0), u"  plain \"text", 13},
      {u"\"a\\\nb\\\r\nc\"", kDouble | kCss, u"abc", 10},
      {u"\"\\1F600x\"", kDouble | kCss, u"\U0001F600x", 9},
      {u"\"\\110000\"", kDouble | kCss, u"", 9},
      {u"\"\\\"q\"", kDouble | kCss, u"\"q", 5},
      {u"\"\\", kDouble | kCss, nullptr, 0},
      {u"a\\", kCss, u"a", 2},
      {u"\"a\\\"b\"", kDouble, u"a\\", 4},
  };
  for (const Case& c : cases) {
    const char16_t* end = nullptr;
    UnicodeString result = ZelUtil::parseString(c.text, &end, c.mode);
    if (c.result == nullptr) {
      EXPECT_TRUE(result.isBogus()) << Utf8(UnicodeString(c.text));
    } else {
      EXPECT_EQ(result, UnicodeString(c.result)) << Utf8(UnicodeString(c.text));
    }
    EXPECT_EQ(end - c.text, c.consumed) << Utf8(UnicodeString(c.text));
  }
}

TEST(QuoteString, WritesAndReadsBack) {
  struct Case {
    const char16_t* text;
    Mode mode;
    const char16_t* quoted;
  };
  const Case cases[] = {
      {u"say \"hi\"", kDouble | kSingle, u"'say \"hi\"'"},
      {u"it's \"x\"", kDouble | kSingle, u"\"it's \"x\"\""},
      {u"a\n1", kDouble | kCss, u"\"a\\A 1\""},
      {u"a\nz", kDouble | kCss, u"\"a\\Az\""},
      {u"\"\\\f\r", kDouble | kCss, u"\"\\22\\5C \\C \\D\""},
      {u"it's", kSingle | kDoubled, u"'it''s'"},
      {u"plain", Mode(0), u"plain"},
  };
  for (const Case& c : cases) {
    UnicodeString quoted = ZelUtil::quoteString(UnicodeString(c.text), c.mode);
    EXPECT_EQ(quoted, UnicodeString(c.quoted)) << Utf8(UnicodeString(c.text));
    EXPECT_EQ(ZelUtil::unquoteString(quoted, c.mode), UnicodeString(c.text)) << Utf8(quoted);
  }
  // A quote of the enclosing kind inside survives without escapes.
  EXPECT_EQ(Utf8(ZelUtil::unquoteString(u"  'it's'  ", kSingle)), "it's");
  EXPECT_TRUE(ZelUtil::unquoteString(u"'it's'", kSingle | kDoubled).isBogus());
  EXPECT_TRUE(ZelUtil::unquoteString(u"'a' b", kSingle).isBogus());
  EXPECT_TRUE(ZelUtil::unquoteString(UnicodeString(u"'"), kSingle).isBogus());
}

TEST(QuoteString, RandomTextsReadBackInEveryMode) {
  const std::u16string alphabet = u"\"'\\\n\r\f\t 09afAFgz\u00e9\u65e5\U0001F600";
  const Mode modes[] = {kDouble, kSingle, kDouble | kSingle, kDouble | kDoubled,
                        kSingle | kDoubled, kDouble | kCss, kSingle | kCss};
  std::mt19937 random(4648);
  for (int round = 0; round < 10000; ++round) {
    UnicodeString text;
    size_t length = random() % 24;
    for (size_t i = 0; i < length; ++i) text.append(alphabet[random() % alphabet.size()]);
    for (Mode mode : modes) {
      UnicodeString back = ZelUtil::unquoteString(ZelUtil::quoteString(text, mode), mode);
      ASSERT_EQ(back, text) << "mode " << mode << ": " << Utf8(ZelUtil::quoteString(text, mode));
    }
  }
}

TEST(QuoteUri, WrapsAndUnwraps) {
  EXPECT_EQ(Utf8(ZelUtil::quoteUri(u"a\"b.png")), "url(\"a%22b.png\")");
  EXPECT_EQ(Utf8(ZelUtil::unquoteUri(ZelUtil::quoteUri(u"dir/x.png"))), "dir/x.png");
  EXPECT_EQ(Utf8(ZelUtil::unquoteUri(u"url( 'a b.png' )")), "a%20b.png");
}

}  // namespace
