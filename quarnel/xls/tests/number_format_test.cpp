#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "format_escape.h"
#include "format_test_util.h"
#include "fraction_reference.h"
#include "number_text.h"
#include "quarnel/value.h"
#include "quarnel/xls_format_string.h"

namespace {

using ObraCommon::CELLV;
using ObraCommon::XlsFormatString;
using ObraCommon::ZelLength;
using ObraCommon::ZelValue;
using xlstest::U;
using xlstest::Utf8;
namespace nt = ObraCommon::numtext;

struct Settings {
  int width = 20;
  bool fill = false;
  bool date1904 = false;
};

std::string Format(const std::string& format, double value, Settings settings = {}, short* status = nullptr) {
  return xlstest::Render(format, value, settings.width, settings.fill, settings.date1904, status);
}

TEST(DigitStrings, Operations) {
  const struct {
    const char* in;
    const char* op;
    int n;
    const char* out;
    short result;
  } rows[] = {
      {"", "del0", 0, "0.0", 0},
      {"007.500", "del0", 0, "7.5", 0},
      {"-.15", "del0", 0, "-0.15", 0},
      {"100", "del0", 0, "100.0", 0},
      {"12.34", "mul", 0, "123.4", 0},
      {"12.", "mul", 0, "120.0", 0},
      {"123.4", "div", 0, "12.34", 0},
      {".5", "div", 0, "0.05", 0},
      {"-1.5", "div", 0, "-0.15", 0},
      // the 16th significant digit rounds, carrying over the point
      {"9999999.999999999", "15", 0, "10000000.000000000", 0},
      {"0.1234567890123456", "15", 0, "0.1234567890123460", 0},
      {"1.005", "roff", 2, "1.010", 0},
      {"9.996", "roff", 2, "10.000", 1},
      {"-9.5", "roff", 0, "-10.0", 1},
      {"1.2", "roff", 5, "1.2", 0},
      // digits from index 15 on carry one by one before the kept digit rounds
      {"0.1249999999999995", "roff", 2, "0.1300000000000000", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.op) + " " + row.in);
    std::string s = row.in;
    short result = 0;
    const std::string op = row.op;
    if (op == "del0") nt::DblStrDel0(s);
    else if (op == "mul") nt::DblStrMul10(s);
    else if (op == "div") nt::DblStrDiv10(s);
    else if (op == "15") result = nt::Dbl15Roff(s);
    else result = nt::DblStrRoff(s, row.n);
    EXPECT_EQ(row.out, s);
    EXPECT_EQ(row.result, result);
  }
  // Moving the point k places at once leaves what k single moves leave.
  for (const char* in : {"", "-", ".", "0", "-0.0", "5", "-5", "100", "12.", ".5", "-.15", "007.500", "123.4",
                         "1e5", "1.2.3", "-98765432109876543210.0123", "0.000"}) {
    for (int k : {0, 1, 2, 3, 7, 20, 765}) {
      SCOPED_TRACE(std::string(in) + " / 10^" + std::to_string(k));
      std::string once = in, steps = in;
      nt::DblStrDivPow10(once, k);
      for (int i = 0; i < k; ++i) nt::DblStrDiv10(steps);
      EXPECT_EQ(steps, once);
    }
  }
  EXPECT_EQ("1.005", nt::convDblStr(1.005));
  EXPECT_EQ("0.1", nt::convDblStr(0.1));
  EXPECT_EQ(2, nt::intKeta(12.5));
  EXPECT_EQ(1, nt::intKeta(-0.5));
}

TEST(GeneralText, WidthsAndSigns) {
  const struct {
    double value;
    int width;
    const char* text;
  } rows[] = {
      {0, 11, "0"},
      {1234.5678, 11, "1234.5678"},
      {0.000012345, 11, "0.000012345"},
      {123456789012, 11, "1.23457E+11"},
      {0.0000012345, 8, "1.23E-06"},
      {12345, 3, "###"},
      {1e-10, 5, "1E-10"},
      {-1234.5678, 11, "-1234.568"},
      {-0.5, 3, "-1"},
      {0.5, 3, "0.5"},
      {2.5, 5, "2.5"},
      {-2.5, 5, "-2.5"},
      {123456, 5, "1E+05"},
      {1.0 / 3, 8, "0.333333"},
      {-1.0 / 3, 8, "-0.33333"},
      {1.0 / 3, 12, "0.333333333"},
      {-1.0 / 3, 12, "-0.33333333"},
      {99999999999, 12, "99999999999"},
      // values that round to zero at eight or nine decimals
      {-1e-9, 11, "-1E-09"},
      {-4e-9, 11, "-4E-09"},
      {4e-9, 11, "0.000000004"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.value) + " w" + std::to_string(row.width));
    EXPECT_EQ(row.text, nt::GeneralText(row.value, row.width));
  }
  std::vector<char> buffer(4, 'x');
  XlsFormatString::ConvGeneral(12345.0, buffer.data(), 3, nullptr, ZelLength(0.0f), 0, 0, nullptr);
  EXPECT_STREQ("###", buffer.data());
}

TEST(NumberSections, RenderAsPrescribed) {
  const struct {
    const char* format;
    double value;
    const char* text;
  } rows[] = {
      {"0.00", 1.005, "1.01"},
      {"0.0", 0.05, "0.1"},
      {"0.0", -0.04, "0.0"},
      {"#,##0", 1234567, "1,234,567"},
      {"#,##0", 0, "0"},
      {"#,###", 0, ""},
      {"0.0,", 12345, "12.3"},
      {"0%", 0.256, "26%"},
      {"0.00E+00", 12345, "1.23E+04"},
      {"0.00E+00", 999.999, "1.00E+03"},
      {"0.00E+00", 0.00012, "1.20E-04"},
      {"00.0E+00", 0.00012, "12.0E-05"},
      {"#\\ ?/?", 3.5, "3 1/2"},
      {"#\\ ?/?", 3, "3    "},
      {"?/?", 0.75, "3/4"},
      {"#\\ ?\?/100", 0.5, " 50/100"},
      {".00", -0.5, "-.50"},
      {"??0.0", 1.5, "  1.5"},
      {"0.00;[Red]\\-0.00", -2.5, "-2.50"},
      {"\"$\"#,##0.00", -1234.567, "-$1,234.57"},
      {"[DBNum1]#,##0", 1234567, "一，二三四，五六七"},
      {"[DBNum3]0.0", 12.5, "１２.５"},
      {"[DBNum1]??0.0?", 5.5, "\u3000\u3000五.五\u3000"},
      {"[DBNum1]General", 1e-10, "一E-一〇"},
      {"[DBNum1]General", 0.5, "〇.五"},
      {"0\\k\\g", 12, "12kg"},
      // the exponent redo keeps its digits however many integer placeholders
      {"00.0E+00", 9.999, "10.0E+00"},
      {"00.0E+00", 99.99, "10.0E+01"},
      {"00.0E+00", 0.09999, "10.0E-02"},
      // numerators and denominators beyond 32 bits
      {"?/?", 1e20, "100000000000000000000/1"},
      {"?/?????", 0.123457, "7241/58652"},
      // the smallest double keeps its digits in a scientific section
      {"0.00E+00", 5e-324, "4.94E-324"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.format) + " " + std::to_string(row.value));
    EXPECT_EQ(row.text, Format(row.format, row.value, {40}));
  }
}

// Fractions whose numerator needs more digits than it has placeholders, or
// stands apart from the slash. The formats are written as a spreadsheet
// takes them and escaped as the corpus is; each text was checked against
// GOffice, except where a row says otherwise.
TEST(NumberSections, FractionPlaceholders) {
  const struct {
    const char* format;
    double value;
    const char* text;
  } rows[] = {
      {"#?/?", 12.5, "25/2"},
      {"##/#", 12.5, "25/2"},
      {"#0/#", 12.5, "25/2"},
      {"?/?", 12.5, "25/2"},
      {"00/0", 12.5, "25/2"},
      {"#?\?/??", 12.3456789, "1000/81"},
      {"#?\?/???", 3.14159265, "355/113"},
      {"#/##", 1.0 / 12, "1/12"},
      {"?\?/??", 0.3, " 3/10"},
      {"# ?? / ?", 1.5, "1  1 / 2"},
      {"# ## / ##", 2.75, "2 3 / 4"},
      {"#\\ ??\\ /\\ ?", 1.5, "1  1 / 2"},
      // GOffice reads no numerator through quotes, nor writes the literal
      // after an empty integer part; these keep the spreadsheet's reading.
      {"#\" \"??\" \"/\" \"?", 1.5, "1  1 / 2"},
      {"# ?? / ?", 0.5, "  1 / 2"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.format) + " " + std::to_string(row.value));
    EXPECT_EQ(row.text, Format(Utf8(xlstest::EscapeForeign(U(row.format))), row.value, {40}));
  }
}

TEST(NumberSections, FillWidthAndStatus) {
  EXPECT_EQ("-----5", Format("*-0", 5, {6, true}));
  EXPECT_EQ("-5", Format("*-0", 5, {6, false}));
  short status = 0;
  EXPECT_EQ("###", Format("0.000", 5, {3}, &status));
  EXPECT_EQ(-3, status);
  const double inf = std::numeric_limits<double>::infinity();
  for (double v : {std::nan(""), inf, -inf}) {
    EXPECT_EQ("####", Format("0.0", v, {4}, &status));
    EXPECT_EQ(-3, status);
    EXPECT_EQ("####", Format("yyyy", v, {4}, &status));
    EXPECT_EQ(-3, status);
  }
  EXPECT_EQ("####", nt::GeneralText(std::nan(""), 4));
  // a fraction in a scientific section of the smallest double: digits, not a NaN
  Format("?/9E+00", 5e-324, {40}, &status);
  EXPECT_EQ(0, status);
}

// The digit string of 1e308 with many percent signs, or any value with 255
// scaling commas, runs far past a fixed buffer.
TEST(NumberSections, LongDigitStrings) {
  EXPECT_EQ("1" + std::string(348, '0'), Format(std::string("0") + std::string(20, '%'), 1e308, {400}).substr(0, 349));
  std::string scaled;  // 255 scaling commas: each follows a placeholder
  for (int i = 0; i < 254; ++i) scaled += "#,\"\"";
  for (double v : {1e308, 123.0, -5e-324}) EXPECT_EQ("0", Format(scaled + "0,", v, {40}));
  std::string digits = nt::convDblStr(123.0);
  for (int i = 0; i < 765; ++i) nt::DblStrDiv10(digits);
  EXPECT_EQ("0." + std::string(762, '0') + "123", digits);
}

// Recording callback: its arguments pass through, it sees the text before
// any fill, and a true answer turns the text into a row of "#".
struct Recorder {
  int calls = 0;
  std::string seen;
  int arg1 = 0, arg2 = 0;
  float width = 0;
  bool answer = false;
};

bool Record(void* context, const icu::UnicodeString& text, const ZelLength& cellWidth, int a1, int a2) {
  auto* r = static_cast<Recorder*>(context);
  ++r->calls;
  r->seen = Utf8(text);
  r->arg1 = a1;
  r->arg2 = a2;
  r->width = static_cast<float>(cellWidth);
  return r->answer;
}

TEST(NumberSections, WidthCallback) {
  for (const char* format : {"*-0.00", "*-yyyy"}) {
    for (bool answer : {false, true}) {
      SCOPED_TRACE(std::string(format) + (answer ? " true" : " false"));
      Recorder r;
      r.answer = answer;
      XlsFormatString object;
      CELLV cell;
      cell.type = 1;
      cell.value = 1.5;
      icu::UnicodeString out;
      unsigned char color = 0;
      const short s =
          object.fmtnum(&cell, ZelValue(8), U(format), out, &color, Record, ZelLength(12.5f), 7, -9, &r);
      EXPECT_EQ(1, r.calls);
      EXPECT_EQ(7, r.arg1);
      EXPECT_EQ(-9, r.arg2);
      EXPECT_FLOAT_EQ(12.5f, r.width);
      EXPECT_EQ(format[2] == '0' ? "1.50" : "1900", r.seen);
      EXPECT_EQ(answer ? -3 : 0, s);
      EXPECT_EQ(answer ? "########" : (format[2] == '0' ? "----1.50" : "----1900"), Utf8(out));
    }
  }
}

}  // namespace

namespace {

using xlstest::StepByStep;

TEST(FractionSearch, AgreesWithTheStepByStepSearch) {
  std::mt19937_64 random(36);
  std::uniform_real_distribution<double> uniform(1e-6, 1.0);
  std::vector<std::pair<double, int>> cases;
  for (int digits = 1; digits <= 4; ++digits)
    for (int i = 0; i < 3000; ++i) cases.emplace_back(uniform(random), digits);
  for (int i = 0; i < 300; ++i) cases.emplace_back(uniform(random), 5);
  // near simple fractions
  for (int d = 2; d <= 60; ++d)
    for (int n = 1; n < d; ++n)
      for (double e : {0.0, 1e-9, -1e-9, 1e-7, -1e-7, 1e-5, -1e-5})
        for (int digits = 1; digits <= 5; ++digits)
          if (static_cast<double>(n) / d + e > 1e-6 && static_cast<double>(n) / d + e < 1)
            cases.emplace_back(static_cast<double>(n) / d + e, digits);
  int disagreements = 0;
  for (const auto& [f, digits] : cases) {
    const auto expected = StepByStep(f, digits);
    const auto found = nt::searchFraction(f, digits, nullptr);
    if (expected.numerator != found.numerator || expected.denominator != found.denominator) {
      if (++disagreements < 10)
        ADD_FAILURE() << f << " with " << digits << " digits: " << expected.numerator << "/" << expected.denominator
                      << " step by step, " << found.numerator << "/" << found.denominator;
    }
  }
  EXPECT_EQ(0, disagreements) << "of " << cases.size();
}

TEST(FractionSearch, LongDenominatorsFinishQuickly) {
  for (double f : {0.5 + std::ldexp(1.0, -52), 1.0 / 3 - 1e-5, 0.123457, 0.7071067811865476}) {
    for (int digits : {9, 18, 255}) {
      uint64_t visits = 0;
      const auto found = nt::searchFraction(f, digits, &visits);
      SCOPED_TRACE(std::to_string(f) + " " + std::to_string(digits));
      EXPECT_LT(visits, 30000u);
      ASSERT_GT(found.denominator, 0);
      EXPECT_NEAR(f, static_cast<double>(found.numerator) / static_cast<double>(found.denominator), 1e-7);
    }
  }
  EXPECT_EQ("1/        3", Format("?/?????????", 1.0 / 3, {40}));  // denominators right-aligned
}

}  // namespace
