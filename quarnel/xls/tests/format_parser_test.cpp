#include <string>

#include <gtest/gtest.h>

#include "format_test_util.h"
#include "quarnel/xls_format_string.h"

namespace {

using ObraCommon::FMT2;
using ObraCommon::XlsFormatString;
using xlstest::Describe;
using xlstest::U;

// 0x0500 stands for every book version without the Japanese codes.
XlsFormatString Book(uint16_t version) { return XlsFormatString(version); }

struct ParseRow {
  const char* format;
  uint16_t version;
  int sections;
  int shown;  // the section described
  const char* expected;
};

const ParseRow kParsed[] = {
    {"", 0x0800, 1, 0, "tokens="},
    {"#,##0.00;[Red]\\-#,##0.00", 0x0800, 2, 1,
     "color=122 kind=1 grouping=1 point=1 intZeros=1 intDigits=4 decDigits=2 decForced=2 tokens=\"-\"###0.00"},
    {"0,.00", 0x0800, 1, 0, "kind=1 point=1 scale=1 intZeros=1 intDigits=1 decDigits=2 decForced=2 tokens=0,.00"},
    {"0,,", 0x0800, 1, 0, "kind=1 scale=1 intZeros=1 intDigits=1 tokens=0,\",\""},
    {"0.0%%", 0x0800, 1, 0, "kind=1 point=1 percent=2 intZeros=1 intDigits=1 decDigits=1 decForced=1 tokens=0.0%%"},
    {"0.0?#E+00", 0x0800, 1, 0,
     "kind=1 point=1 exp=1 intZeros=1 intDigits=1 decDigits=3 decForced=2 expDigits=2 expZeros=2 tokens=0.0?#E+00"},
    {"[Color10]0", 0x0800, 1, 0, "color=17 kind=1 intZeros=1 intDigits=1 tokens=0"},
    {"[Color0056]0", 0x0800, 1, 0, "color=63 kind=1 intZeros=1 intDigits=1 tokens=0"},
    {"[Cyan]@", 0x0800, 1, 0, "color=127 kind=3 tokens=@"},
    {"[>=100]0;0", 0x0800, 2, 0, "op=1 limit=100 kind=1 intZeros=1 intDigits=1 tokens=0"},
    {"[<+5]0", 0x0800, 1, 0, "op=4 limit=5 kind=1 intZeros=1 intDigits=1 tokens=0"},
    {"[<-.5]0", 0x0800, 1, 0, "op=4 limit=-0.5 kind=1 intZeros=1 intDigits=1 tokens=0"},
    {"[<5.]0", 0x0800, 1, 0, "op=4 limit=5 kind=1 intZeros=1 intDigits=1 tokens=0"},
    {"[<16777217]0", 0x0800, 1, 0, "op=4 limit=16777216 kind=1 intZeros=1 intDigits=1 tokens=0"},
    {"[=0.1]0", 0x0800, 1, 0, "op=6 limit=0.100000001 kind=1 intZeros=1 intDigits=1 tokens=0"},
    {"0;[<>3]0", 0x0800, 2, 1, "op=3 limit=3 kind=1 intZeros=1 intDigits=1 tokens=0"},
    {"h:mm", 0x0800, 1, 0, "kind=2 hour=1 tokens=h1\":\"m2"},
    {"mm:ss", 0x0800, 1, 0, "kind=2 tokens=m2\":\"s2"},
    {"mm/dd", 0x0800, 1, 0, "kind=2 frac=1 tokens=M2/D2"},
    {"MMMMM dddddd", 0x0800, 0, 0, nullptr},
    {"MMMMM\\ ddddd", 0x0800, 1, 0, "kind=2 tokens=M5\" \"D4D1"},
    {"yyyy\\-m", 0x0800, 1, 0, "kind=2 tokens=Y4\"-\"M1"},
    {"hhh [hh]:[m]:[ss].00", 0x0800, 0, 0, nullptr},
    {"hhh\\ [hh]:[m]:[ss].00", 0x0800, 1, 0,
     "kind=2 point=1 decDigits=2 decForced=2 hour=1 tokens=h2h1\" \"h4\":\"m3\":\"s4.00"},
    {"h AM/PM", 0x0800, 0, 0, nullptr},
    {"h\"x\"AM/PM a/p A/P am/pm", 0x0800, 0, 0, nullptr},
    {"h\"x\"AM/PM\"x\"a/p", 0x0800, 1, 0, "kind=2 hour=1 ampm=1 tokens=h1\"x\"AM/PM\"x\"a/p"},
    {"0\\k\\g", 0x0800, 1, 0, "kind=1 intZeros=1 intDigits=1 tokens=0\"kg\""},
    {"#\\ ?\?/8", 0x0800, 1, 0, "kind=1 frac=1 intDigits=1 numer=2 denom=1 fixedDenom=8 tokens=#\" \"?\?/8"},
    {"#/70000", 0x0800, 1, 0, "kind=1 frac=1 numer=1 denom=5 fixedDenom=70000 tokens=#/70000"},
    {"[$-411]ggge", 0x0800, 1, 0, "kind=2 tokens=R5R6"},
    {"[$-411]ggg\\e", 0x0500, 1, 0, "tokens=\"ggge\""},
    {"ddd aaa", 0x0800, 0, 0, nullptr},
    {"aaaa\"x\"aaa", 0x0800, 1, 0, "kind=2 tokens=D6\"x\"D5"},
    {"a0g", 0x0500, 1, 0, "kind=1 intZeros=1 intDigits=1 tokens=\"a\"0\"g\""},
    {"[$\xE2\x82\xAC-407]\"x\"#", 0x0800, 1, 0, "kind=1 intDigits=1 tokens=\"\xE2\x82\xACx\"#"},
    {"\"a\"[$USD]\"b\"", 0x0800, 1, 0, "tokens=\"a\"\"USDb\""},
    {"*-0_)", 0x0800, 1, 0, "kind=1 intZeros=1 intDigits=1 tokens=*-0\" \""},
    {"\\\"0", 0x0800, 1, 0, "kind=1 intZeros=1 intDigits=1 tokens=\\\"0"},
    {"[DBNum2]General", 0x0800, 1, 0, "kind=1 dbNum=2 tokens=G"},
    {"GENERAL;general;0;0", 0x0800, 4, 3, "kind=3 intZeros=1 intDigits=1 tokens=0"},
    {"0.00e-0", 0x0800, 1, 0,
     "kind=1 point=1 exp=1 intZeros=1 intDigits=1 decDigits=2 decForced=2 expDigits=1 expZeros=1 tokens=0.00e-0"},
    {"eee+0", 0x0800, 1, 0, "kind=1 exp=1 expDigits=1 expZeros=1 tokens=R7e+0"},
    {"rr\\ r", 0x0800, 1, 0, "kind=2 tokens=R2\" \"R1"},
    {"ss.000", 0x0800, 1, 0, "kind=2 point=1 decDigits=3 decForced=3 tokens=s2.000"},
};

TEST(FormatParser, FieldsAndTokens) {
  for (const ParseRow& row : kParsed) {
    SCOPED_TRACE(std::string(row.format) + " in version " + std::to_string(row.version));
    FMT2 parsed;
    const short ok = Book(row.version).fmtget(U(row.format), &parsed);
    if (row.expected == nullptr) {
      EXPECT_EQ(0, ok);
      continue;
    }
    ASSERT_EQ(1, ok);
    EXPECT_EQ(row.sections, parsed.sectionCount);
    EXPECT_EQ(row.expected, Describe(parsed.sections[row.shown]));
    EXPECT_EQ(1, parsed.sections[parsed.sectionCount - 1].lastToken);
    for (int i = 0; i < parsed.sectionCount; ++i) {
      EXPECT_EQ(i, parsed.sections[i].sectionIndex);
      EXPECT_EQ(static_cast<uint32_t>(parsed.sections[i].tokens.length()), parsed.sections[i].tokenCount);
    }
  }
}

TEST(FormatParser, Refusals) {
  const struct {
    const char* format;
    uint16_t version;
  } rows[] = {
      {"[Red]-0.00", 0x0800}, {"# ?/8", 0x0800},   {"[Color57]0", 0x0800}, {"[Color0]0", 0x0800},
      {"[Color]0", 0x0800},   {"[Color99999999999999999999]0", 0x0800},  {"[RED]0", 0x0800},
      {"[H]", 0x0800},        {"[Redx]0", 0x0800}, {"[Red", 0x0800},       {"[$abc", 0x0800},
      {"[$a\"b]0", 0x0800},   {"0;0;[<5]0", 0x0800}, {"0;0;0;[<5]0", 0x0800}, {"@[<5]", 0x0800},
      {"[<1.2.3]0", 0x0800},  {"[<5-]0", 0x0800},  {"[<]0", 0x0800},       {"[< 5]0", 0x0800},
      {"[>=]0", 0x0800},      {"[<-]0", 0x0800},   {"[<+-5]0", 0x0800},    {"[<.5.]0", 0x0800},
      {"0;0;0;0;0", 0x0800},  {"\"abc", 0x0800},   {"y", 0x0800},          {"yyy", 0x0800},
      {"yyyyy", 0x0800},      {"a", 0x0800},       {"aa", 0x0800},         {"aaaaa", 0x0800},
      {"e", 0x0500},          {"ggge", 0x0500},    {"5", 0x0800},          {"0.5", 0x0800},
      {"#/8#", 0x0800},       {"#/8?", 0x0800},    {"0$", 0x0800},         {"(0)", 0x0800},
      {"0!", 0x0800},         {"b", 0x0800},       {"\xE2\x82\xAC", 0x0800}, {"#/1234567890123456789", 0x0800},
      {"#/100000000000000000000", 0x0800},
      // A unit that takes the next one, at the end or before U+0000.
      {"0\\", 0x0800},        {"0_", 0x0800},      {"0*", 0x0800},
      // refused right after a grouping comma was taken back
      {"?/10,#", 0x0800},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.format);
    FMT2 parsed;
    EXPECT_EQ(0, Book(row.version).fmtget(U(row.format), &parsed));
    for (const auto& section : parsed.sections)
      EXPECT_EQ(static_cast<uint32_t>(section.tokens.length()), section.tokenCount);
  }
  for (const char16_t taker : {u'\\', u'_', u'*'}) {
    icu::UnicodeString text(u"0");
    text.append(taker).append(char16_t{0}).append(u"x");
    FMT2 parsed;
    EXPECT_EQ(0, XlsFormatString().fmtget(text, &parsed)) << static_cast<char>(taker);
  }
  // The text ends at its first U+0000: what follows is never read.
  icu::UnicodeString cut(u"0.0");
  cut.append(char16_t{0}).append(u"!!!");
  FMT2 parsed;
  EXPECT_EQ(1, XlsFormatString().fmtget(cut, &parsed));
  EXPECT_EQ(u"0.0", parsed.sections[0].tokens);
}

// Counters of a section stop at 255: a longer run refuses the format rather
// than wrap, while the token string keeps every unit.
TEST(FormatParser, CountersNeverWrap) {
  const auto repeat = [](const std::string& unit, int count, const std::string& head = "") {
    std::string text = head;
    for (int i = 0; i < count; ++i) text += unit;
    return U(text);
  };
  XlsFormatString object;
  FMT2 parsed;
  ASSERT_EQ(1, object.fmtget(repeat("0", 255), &parsed));
  EXPECT_EQ(255, parsed.sections[0].intZeros);
  EXPECT_EQ(0, object.fmtget(repeat("0", 256), &parsed));
  EXPECT_EQ(0, object.fmtget(repeat("#", 256), &parsed));
  EXPECT_EQ(0, object.fmtget(repeat("0", 256, "0."), &parsed));
  EXPECT_EQ(0, object.fmtget(repeat("0", 256, "0E+"), &parsed));
  EXPECT_EQ(0, object.fmtget(repeat("%", 256), &parsed));
  ASSERT_EQ(1, object.fmtget(repeat("0,:", 255), &parsed));
  EXPECT_EQ(255, parsed.sections[0].scaleCommas);
  EXPECT_EQ(0, object.fmtget(repeat("0,:", 256), &parsed));
  EXPECT_EQ(0, object.fmtget(repeat("?", 256, "#/"), &parsed));
  ASSERT_EQ(1, object.fmtget(repeat("\\x", 300), &parsed));
  EXPECT_EQ(302u, parsed.sections[0].tokenCount);
  EXPECT_EQ(302, parsed.sections[0].tokens.length());
  ASSERT_EQ(1, object.fmtget(repeat("d", 300), &parsed));
  EXPECT_EQ(150u, parsed.sections[0].tokenCount);
  ASSERT_EQ(1, object.fmtget(U("#/123456789012345678"), &parsed));
  EXPECT_EQ(123456789012345678ULL, parsed.sections[0].fixedDenom);
}

}  // namespace
