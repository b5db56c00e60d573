#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "format_test_util.h"
#include "quarnel/value.h"
#include "quarnel/xls_format_string.h"

namespace {

using ObraCommon::CELLV;
using ObraCommon::FMT2;
using ObraCommon::XlsFormatString;
using ObraCommon::ZelLength;
using ObraCommon::ZelValue;
using xlstest::U;
using xlstest::Utf8;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(XlsFormatString, Settings) {
  XlsFormatString object;
  EXPECT_EQ(1900, object.GetYearBase());
  EXPECT_EQ(0x0800, object.GetBookVersion());
  EXPECT_TRUE(object.isFill());
  object.setDate1904(1);
  EXPECT_TRUE(object.isDate1904());
  EXPECT_EQ(1904, object.GetYearBase());
  object.setDate1904(2);  // any other value is the 1900 system
  EXPECT_FALSE(object.isDate1904());
  EXPECT_EQ(1900, object.GetYearBase());
  object.setFill(false);
  XlsFormatString other(0x0512);
  EXPECT_EQ(0x0500, other.GetBookVersion());
  other = object;
  EXPECT_EQ(0x0800, other.GetBookVersion());
  EXPECT_FALSE(other.isFill());
  EXPECT_FALSE(other.isDate1904());
}

// Section choice for -5, 0, 5 and NaN, for one to four sections with and
// without conditions.
TEST(XlsFormatString, SectionChoice) {
  const struct {
    const char* format;
    short minus5, zero, plus5, nan;
  } rows[] = {
      {"0", 0, 0, 0, 0},
      {"[>0]0", -2, -2, 0, -2},
      {"0;0", 1, 0, 0, -1},
      {"[<0]0;0", 0, 1, 1, 1},
      {"[>0]0;[=0]0", -2, 1, 0, -2},
      {"0;[=0]0", -1, 0, 0, -1},
      {"0;[<-1]0", 1, 0, 0, -1},
      {"0;0;0", 1, 2, 0, 2},
      {"0;0;0;@", 1, 2, 0, 2},
      {"[>4]0;[<-4]0;0", 1, 2, 0, 2},
      {"[>9]0;0;0", 1, 2, 2, 2},
      {"0;[<-9]0;0", 2, 2, 0, 2},
      {"@", -1, -1, -1, -1},
      {"0;@", 0, 0, 0, 0},
      {"0;0;0;0", 1, 2, 0, 2},
  };
  XlsFormatString object;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.format);
    FMT2 parsed;
    ASSERT_EQ(1, object.fmtget(U(row.format), &parsed));
    EXPECT_EQ(row.minus5, XlsFormatString::fmtsel(1, -5, &parsed));
    EXPECT_EQ(row.zero, XlsFormatString::fmtsel(1, 0, &parsed));
    EXPECT_EQ(row.plus5, XlsFormatString::fmtsel(1, 5, &parsed));
    EXPECT_EQ(row.nan, XlsFormatString::fmtsel(1, kNaN, &parsed));
  }
  FMT2 parsed;
  ASSERT_EQ(1, object.fmtget(U("0;0;0;@"), &parsed));
  EXPECT_EQ(3, XlsFormatString::fmtsel(3, 0, &parsed));
  ASSERT_EQ(1, object.fmtget(U("0;0"), &parsed));
  EXPECT_EQ(-1, XlsFormatString::fmtsel(3, 0, &parsed));
}

TEST(XlsFormatString, Conditions) {
  const struct {
    unsigned char op;
    bool below, equal, above;
  } rows[] = {{0, false, false, false}, {1, false, true, true}, {2, true, true, false}, {3, true, false, true},
              {4, true, false, false},  {5, false, false, true}, {6, false, true, false}, {7, false, false, false}};
  for (const auto& row : rows) {
    EXPECT_EQ(row.below, XlsFormatString::iscond(1, row.op, 2)) << int(row.op);
    EXPECT_EQ(row.equal, XlsFormatString::iscond(2, row.op, 2)) << int(row.op);
    EXPECT_EQ(row.above, XlsFormatString::iscond(3, row.op, 2)) << int(row.op);
  }
  // The limit is held in single precision: 0.1 written never equals 0.1.
  XlsFormatString object;
  FMT2 parsed;
  ASSERT_EQ(1, object.fmtget(U("[=0.1]0"), &parsed));
  EXPECT_EQ(-2, XlsFormatString::fmtsel(1, 0.1, &parsed));
}

// fmtnum's contracts while the section formatters answer that nothing fits.
TEST(XlsFormatString, NumberStatus) {
  const struct {
    const char* format;
    double value;
    int width;
    short status;
    const char* out;    // nullptr: untouched
    int color;          // -1: untouched
  } rows[] = {
      {"0;0\"x", 1, 5, 0, nullptr, -1},
      {"[>100]0", 5, 5, -2, "", -1},
      {"@", 5, 3, -1, "5", -1},
      {"0;0", -5, 4, 1, "5", 0},
      {"[Blue]0;[Red]0", -5, 2, 1, "5", 122},
      {"[Green]hh:mm", 0.5, 3, -3, "###", 123},
      {"[Green]hh:mm", 0.5, 5, 0, "12:00", 123},
      {"[Color3]0", 1, -7, -3, "", 10},
      {"[Color3]0", 1, 0x10001, 0, "1", 10},
      {"[Color3]0.00", 1, 0x10003, -3, "###", 10},
  };
  XlsFormatString object;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.format);
    CELLV cell;
    cell.type = 1;
    cell.value = row.value;
    icu::UnicodeString out(u"before");
    unsigned char color = 200;
    EXPECT_EQ(row.status, object.fmtnum(&cell, ZelValue(row.width), U(row.format), out, &color, nullptr,
                                        ZelLength(0.0f), 0, 0, nullptr));
    EXPECT_EQ(row.out ? row.out : "before", Utf8(out));
    EXPECT_EQ(row.color < 0 ? 200 : row.color, color);
    EXPECT_EQ(row.value, cell.value);  // restored after a negation
  }
  EXPECT_EQ("1", Utf8(object.FormatString(U("0"), 1)));
  EXPECT_FALSE(object.isFill());
  EXPECT_EQ("", Utf8(object.FormatString(U("0 0"), 1)));
}

TEST(XlsFormatString, TextSections) {
  const struct {
    const char* format;
    bool fill;
    int width;
    short status;
    const char* out;
    int color;
  } rows[] = {
      {"0.00", true, 10, 0, "abc", 0},
      {"[Red]0.00", true, 10, 0, "abc", 122},
      {"0;0;0;[Blue]\\x", true, 10, 1, "x", 124},
      {"0;0;0;[Blue]\\x@", true, 10, 1, "xabc", 124},
      {"\"<\"@\">\";;;", true, 10, 1, "<abc>", 0},
      {";;;", true, 10, 1, "", 0},
      {"@*-", true, 8, 1, "abc-----", 0},
      {"*.@", true, 8, 1, ".....abc", 0},
      {"@*-", false, 8, 1, "abc-", 0},
      {"\"\xE6\xBC\xA2\"@*-", true, 8, 1, "\xE6\xBC\xA2" "abc---", 0},
      {"@*-", true, 2, 1, "abc", 0},
      {"@_)General", true, 10, 1, "abc abc", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.format);
    XlsFormatString object;
    object.setFill(row.fill);
    CELLV cell;
    cell.text = U("abc");
    icu::UnicodeString out(u"before");
    unsigned char color = 200;
    EXPECT_EQ(row.status, object.fmtstr(&cell, ZelValue(row.width), U(row.format), out, &color));
    EXPECT_EQ(row.out, Utf8(out));
    EXPECT_EQ(row.color, color);
  }
  XlsFormatString object;
  CELLV cell;
  icu::UnicodeString out(u"before");
  unsigned char color = 200;
  EXPECT_EQ(0, object.fmtstr(&cell, ZelValue(5), U("[Red"), out, &color));
  EXPECT_EQ("before", Utf8(out));
  EXPECT_EQ(200, color);
}

TEST(XlsFormatString, DisplayWidth) {
  const struct {
    std::u16string text;
    int columns;
  } rows[] = {{u"", 0},          {u"abc ~", 5},      {u"\uFF71\uFF9F\uFF61", 3}, {u"\uFF60\uFFA0", 4},
              {u"\u6F22\u5B57", 4}, {u"\t\u007F", 4}, {u"a\u3000", 3}};
  for (const auto& row : rows)
    EXPECT_EQ(row.columns, XlsFormatString::countKetasu(icu::UnicodeString(row.text.data(),
                                                                           static_cast<int32_t>(row.text.size()))));
}

}  // namespace
