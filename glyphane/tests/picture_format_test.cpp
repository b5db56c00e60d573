// Date serials and the picture language: calendar edges (1900 as a leap
// year, day 0, bounds), and picture tokens by group (runs, markers per code
// page, era boundaries, CJK weekday names, digit and "<210" restarts).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "cjk_texts.h"
#include "picture_format.h"

namespace {

using glyphane::CjkText;
using glyphane::DateOfSerial;
using glyphane::FormatPicture;
using glyphane::Picture;

TEST(DateSerial, CountsFrom1900WithItsLeapDay) {
  struct Case {
    double serial;
    int64_t year;
    int month;
    int64_t day;
    int weekday, hour, minute, second;
  } cases[] = {
      {1, 1900, 1, 1, 0, 0, 0, 0},
      {60, 1900, 2, 29, 3, 0, 0, 0},
      {61, 1900, 3, 1, 4, 0, 0, 0},
      {0, 1900, 1, 0, 6, 0, 0, 0},
      {-61.5, 1900, 3, 1, 4, 12, 0, 0},        // the absolute value
      {43831.75, 2020, 1, 1, 3, 18, 0, 0},     // a Wednesday
      {44986.0 + 1.0 / 24 + 2.0 / 1440 + 3.5 / 86400, 2023, 3, 1, 3, 1, 2, 3},
      {1e300, 9999, 12, 31, 5, 0, 0, 0},       // bounded
      {std::numeric_limits<double>::quiet_NaN(), 1900, 1, 0, 6, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.serial);
    glyphane::SerialDate d = DateOfSerial(c.serial);
    EXPECT_EQ(d.year, c.year);
    EXPECT_EQ(d.month, c.month);
    EXPECT_EQ(d.day, c.day);
    EXPECT_EQ(d.weekday, c.weekday);
    EXPECT_EQ(d.hour, c.hour);
    EXPECT_EQ(d.minute, c.minute);
    EXPECT_EQ(d.second, c.second);
  }
}

std::string Sjis(const char* name) { return std::string(CjkText(name, 932)); }
std::string Gbk(const char* name) { return std::string(CjkText(name, 936)); }

TEST(PictureLanguage, TokensByGroup) {
  const double wednesday_evening = 43831.75;  // 2020-01-01 18:00
  const double half_past_noon = 43831 + 12.5 / 24;
  struct Case {
    const char* group;
    double serial;
    Picture picture;
    uint32_t output;
    std::string expected;
  } cases[] = {
      {"quotes and runs", wednesday_evening, {"yyyy'-'M'-'D", 1252}, 1252, "2020-1-1"},
      {"short runs", wednesday_evening, {"yy/MM/dd", 1252}, 1252, "20/01/01"},
      {"Y and E", wednesday_evening, {"YYY E", 1252}, 1252, "2020 2020"},
      {"month names", wednesday_evening, {"MMM d, yyyy|MMMM|O", 1252}, 1252, "Jan 1, 2020|January|1"},
      {"braces", wednesday_evening, {"{{yy-MM-dd}}", 1252}, 1252, "20-01-01"},
      {"time", wednesday_evening, {"HH:mm:ss h:m:s", 1252}, 1252, "18:00:00 6:0:0"},
      {"A alone", wednesday_evening, {"A", 1252}, 1252, "1"},
      {"longer d runs", wednesday_evening, {"dddd.", 1252}, 1252, "."},
      {"AMPM", wednesday_evening, {"h:mm AMPM", 1252}, 1252, "6:00 PM"},
      {"AMPM before 13", half_past_noon, {"AMPM", 1252}, 1252, "AM"},
      {"AMPM 932", wednesday_evening, {"AMPM", 1252}, 932, Sjis("pm_ja")},
      {"AMPM 936", half_past_noon, {"AMPM", 1252}, 936, Gbk("am_zh")},
      {"T_s T_j", wednesday_evening, {"T_s t_j", 1252}, 932, Sjis("pm_zh") + " " + Sjis("pm_ja")},
      {"tt at the end", half_past_noon, {"h tt", 1252}, 932, "12 " + Sjis("am_ja")},
      {"tt elsewhere", half_past_noon, {"tt h", 1252}, 932, "AM 12"},
      {"weekday initial", wednesday_evening, {"ddd|a", 1252}, 932, Sjis("weekday_wed").substr(0, 2) + "|" +
                                                                      Sjis("weekday_wed").substr(0, 2)},
      {"w_s ww_j", wednesday_evening, {"w_s ww_j", 1252}, 1252, Gbk("weekday_zh_wed") + " " + Sjis("weekday_wed")},
      {"era Meiji end", 4594, {"ggge", 1252}, 932, Sjis("era_meiji") + "45"},
      {"era Taisho start", 4595, {"gg", 1252}, 932, Sjis("era_taisho") + "1"},
      {"era Showa end", 32515, {"g_j", 1252}, 932, Sjis("era_showa") + "64"},
      {"era Heisei start", 32516, {"G", 1252}, 932, Sjis("era_heisei") + "1"},
      {"digit restarts", wednesday_evening, {"yyyy 1", 1252}, 1252, "2020-1-1"},
      {"digit restarts, 932", wednesday_evening, {"d0", 1252}, 932,
       "2020" + Sjis("long_date").substr(5, 2) + "1" + Sjis("long_date").substr(10, 2) + "1" +
           Sjis("long_date").substr(15, 2)},
      {"<210", wednesday_evening, {"x<210", 1252}, 1252,
       "2020" + Sjis("long_date").substr(5, 2) + "1" + Sjis("long_date").substr(10, 2) + "1" +
           Sjis("long_date").substr(15, 2)},
      {"other <", wednesday_evening, {"<2", 1252}, 1252, "2020-1-1"},
      {"double-byte kept whole", wednesday_evening, {"y" + Sjis("weekday_wed"), 932}, 1252,
       "20" + Sjis("weekday_wed")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.group);
    EXPECT_EQ(FormatPicture(c.serial, c.picture, c.output), c.expected);
  }
}

TEST(PictureLanguage, FormatBytesNameTheirPictures) {
  const double serial = 43831.75;
  struct Case {
    uint8_t format;
    uint32_t output, text;
    std::string expected;
  } cases[] = {
      {'4', 936, 936, "2020-1-1"},     {'4', 932, 932, "2020/01/1"},   {'4', 1252, 932, ""},
      {'6', 1252, 1252, "1-1-20"},     {'9', 1252, 1252, "January 1, 2020"},
      {'>', 1252, 1252, "18:00:00"},   {'D', 1252, 1252, "06:00 PM"},  {'L', 1252, 1252, "2020-1-1"},
      {'n', 1252, 936, Gbk("weekday_zh_wed") + " 2020 01 01"},
      {'n', 1252, 1252, ""},           {'Z', 1252, 1252, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    Picture picture = glyphane::PictureOfFormatByte(c.format, c.output, c.text);
    EXPECT_EQ(picture.text.empty() ? std::string() : FormatPicture(serial, picture, c.output), c.expected);
  }
}

}  // namespace
