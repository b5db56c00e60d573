#include <cmath>
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <unicode/calendar.h>
#include <unicode/timezone.h>

#include "format_test_util.h"
#include "quarnel/xls_format_string.h"

namespace {

using ObraCommon::XlsFormatString;

std::string FormatDate(const std::string& format, double value, bool date1904 = false, int width = 40,
                       short* status = nullptr) {
  return xlstest::Render(format, value, width, false, date1904, status);
}

TEST(DateSections, Calendar) {
  for (short year : {1900, 2000, 2004, 2076}) EXPECT_EQ(366, XlsFormatString::DateOfYear(year)) << year;
  for (short year : {1901, 2079, 2100}) EXPECT_EQ(365, XlsFormatString::DateOfYear(year)) << year;
  EXPECT_EQ(366, XlsFormatString::DateOfYear(2080));
  EXPECT_EQ(29, XlsFormatString::DateOfMonth(1900, 2));
  EXPECT_EQ(28, XlsFormatString::DateOfMonth(2100, 2));
  EXPECT_EQ(30, XlsFormatString::DateOfMonth(2001, 4));

  const struct {
    const char* format;
    double value;
    bool date1904;
    const char* text;
  } rows[] = {
      {"yyyy/mm/dd", 60, false, "1900/02/29"},
      {"yyyy/mm/dd", 61, false, "1900/03/01"},
      {"yyyy/mm/dd", 0, false, "1900/01/00"},
      {"yyyy/mm/dd", 0, true, "1904/01/01"},
      {"yyyy/mm/dd", 2958465, false, "9999/12/31"},
      {"yyyy/mm/dd", 2957003, true, "9999/12/31"},
      {"ddd", 1, false, "Sun"},
      {"ddd", 61, false, "Thu"},
      {"dddd", 0, true, "Friday"},
      {"mmmm\\ mmm\\ mmmmm", 45000, false, "March Mar M"},
      {"d", -3.5, true, "-4"},
      {"aaa\\ aaaa", 1, false, "日 日曜日"},
      // the era changes on 1 May 2019 in both date systems
      {"ggge\\ g\\ r", 43585, false, "平成31 H 31"},
      {"ggge\\ g\\ r", 43586, false, "令和1 R 1"},
      {"ggge", 42123, true, "平成31"},
      {"ggge", 42124, true, "令和1"},
      {"yyyy/mm/dd", 43586, false, "2019/05/01"},
      {"yyyy/mm/dd", 42124, true, "2019/05/01"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.format) + " " + std::to_string(row.value));
    EXPECT_EQ(row.text, FormatDate(row.format, row.value, row.date1904));
  }
  short status = 0;
  EXPECT_EQ("#####", FormatDate("yyyy", 2958466, false, 5, &status));
  EXPECT_EQ(-3, status);
  EXPECT_EQ("#####", FormatDate("yyyy", -1, false, 5, &status));
  EXPECT_EQ(-3, status);
  EXPECT_EQ(0, XlsFormatString::RekiOfNum(4594, 1900));
  EXPECT_EQ(4, XlsFormatString::RekiOfNum(43586, 1900));
  EXPECT_EQ(3, XlsFormatString::RekiOfNum(42123, 1904));
}

TEST(DateSections, Clock) {
  const double second = 1.0 / 86400;
  const struct {
    const char* format;
    double value;
    const char* text;
  } rows[] = {
      {"h:mm\\ AM/PM", 0.75, "6:00 PM"},
      {"hh:mm", 0.75, "18:00"},
      {"h\\ AM/PM", 0.5, "12 PM"},
      {"h\\ AM/PM", 0, "12 AM"},
      {"h\\ a/p", 0.25, "6 a"},
      {"[h]:mm", 1.5, "36:00"},
      {"[mm]", 1.5, "2160"},
      {"[ss]", 1.5, "129600"},
      {"[s]", 1.5, "129600"},
      {"ss.00", second, "01.00"},
      {"ss.0", 12.345 * second, "12.3"},
      {"ss.000", 12.345 * second, "12.345"},
      {"ss.0000", 12.6 * second, "12.6000"},
      {"[s]", 20000, "1728000000"},
      // a time that rounds to midnight belongs to the next day
      {"yyyy/mm/dd\\ hh:mm", 1.9999999, "1900/01/02 00:00"},
      {"ddd\\ hh:mm", 1.9999999, "Mon 00:00"},
      {"ggge\\ hh:mm", 43585.9999999, "令和1 00:00"},
      {"[h]:mm", 1.9999999, "48:00"},
      {"[h]", 1e15, "24000000000000000"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.format) + " " + std::to_string(row.value));
    EXPECT_EQ(row.text, FormatDate(row.format, row.value));
  }
  short status = 0;
  EXPECT_EQ(std::string(20, '#'), FormatDate("[h]", 1e300, false, 20, &status));
  EXPECT_EQ(-3, status);
  EXPECT_EQ("00:00", FormatDate("mm:ss", 1e135, false, 20, &status));
  EXPECT_EQ(0, status);
}

}  // namespace

namespace {

// ICU's Japanese calendar names the era and its year of every day from
// 1 March 1900 (1 January 1904 in the other system) to the end of 2100.
TEST(DateSections, ErasAgreeWithTheJapaneseCalendar) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::Calendar> calendar(
      icu::Calendar::createInstance(icu::TimeZone::createTimeZone("GMT"), icu::Locale("ja_JP@calendar=japanese"),
                                    status));
  ASSERT_TRUE(U_SUCCESS(status));
  const std::map<int32_t, std::string> names = {
      {232, "明治"}, {233, "大正"}, {234, "昭和"}, {235, "平成"}, {236, "令和"}};
  for (const bool date1904 : {false, true}) {
    const int first = date1904 ? 0 : 61;
    const int offset = date1904 ? 24107 : 25569;  // the serial of 1 January 1970
    const int last = 73415 - (date1904 ? 1462 : 0);
    int disagreements = 0;
    for (int serial = first; serial <= last; ++serial) {
      calendar->setTime(static_cast<UDate>(serial - offset) * 86400000.0, status);
      const int32_t era = calendar->get(UCAL_ERA, status);
      const int32_t year = calendar->get(UCAL_YEAR, status);
      ASSERT_TRUE(U_SUCCESS(status));
      ASSERT_TRUE(names.count(era)) << serial;
      const std::string yy = (year < 10 ? "0" : "") + std::to_string(year);
      const std::string expected = names.at(era) + std::to_string(year) + " " + names.at(era) + yy;
      const std::string produced = FormatDate("ggge\\ rr", serial, date1904);
      if (expected != produced && ++disagreements < 5)
        ADD_FAILURE() << serial << (date1904 ? " (1904)" : "") << ": " << produced << ", ICU " << expected;
    }
    EXPECT_EQ(0, disagreements);
  }
}

}  // namespace
