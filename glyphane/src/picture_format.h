// Dates of field values: the date serial calendar (day 1 is 1 January
// 1900, which counts as a leap year), the date/time picture language, the
// pictures that version-5 field codes name by a format byte, and the fixed
// pictures of the short and long dates.
//
// A picture is a text in a code page (its double-byte characters are copied
// whole); the texts it inserts (month names, era names, weekday names,
// morning and afternoon markers) are ASCII or the fixed CJK texts in code
// page 932, or in GBK where the output is code page 936.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace glyphane {

// The calendar parts of a date serial; negative serials count as their
// absolute value.
struct SerialDate {
  int64_t year = 1900;
  int month = 1;    // 1-12
  int64_t day = 0;  // 0 for the serial 0
  int weekday = 0;  // 0 Sunday
  int hour = 0, minute = 0, second = 0;
};
SerialDate DateOfSerial(double serial);

// A picture with the code page its bytes are in.
struct Picture {
  std::string text;
  uint32_t code_page = 1252;
};

// The fixed pictures, by the code page whose form they take.
Picture ShortDatePicture(uint32_t output_code_page);  // "yyyy'-'M'-'D" (936), else "yyyy'/'MM'/'D"
Picture LongDatePicture(uint32_t output_code_page);   // the 932 or 936 "yyyy'年'M'月'D'日'", else short
Picture DefaultDatePicture(uint32_t output_code_page);

// The picture of a version-5 date field's format byte; an empty text writes
// nothing. '4' and '5' follow the output code page, 'n' and 'o' the text
// code page.
Picture PictureOfFormatByte(uint8_t format, uint32_t output_code_page, uint32_t text_code_page);

// Formats `serial` with `picture`; markers and CJK texts take the form of
// `output_code_page`.
std::string FormatPicture(double serial, const Picture& picture, uint32_t output_code_page);

// printf's "%d", "%02d" and "%.Nf", whatever the process locale. "%d" of a
// value outside 32 bits saturates.
std::string DecimalText(int64_t value, int min_digits = 1);
std::string FixedText(double value, int decimals);
int32_t TruncatedInt(double value);

}  // namespace glyphane
