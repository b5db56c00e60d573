// Spreadsheet number formats: a format text such as "#,##0.00;[Red]\-#,##0.00"
// is parsed into up to four sections, a cell value chooses its section, and
// the section renders the value (numbers, dates, texts) into the cell's text.
#pragma once

#include <cstdint>

#include <unicode/unistr.h>

#include "quarnel/export.h"
#include "quarnel/length.h"

namespace ObraCommon {

class ZelValue;

// One section of a parsed format. The counters are working variables of the
// formatters, which change them while they render; every call renders with a
// copy of its own of the record its format text parses to.
struct FMT {
  uint8_t sectionIndex = 0;
  uint8_t lastToken = 0;     // class of the last token; 1 once the text ended
  uint8_t colorCode = 0;     // 0 none, 120..127 named, 8..63 numbered (N + 7)
  uint8_t condOp = 0;        // 0 none, 1 >=, 2 <=, 3 <>, 4 <, 5 >, 6 =
  double condValue = 0.0;    // single precision widened
  uint8_t kind = 0;          // 0 literals only, 1 number, 2 date/time, 3 text
  uint8_t grouping = 0;
  uint8_t hasPoint = 0;
  uint8_t hasExponent = 0;
  uint8_t hasFraction = 0;
  uint8_t scaleCommas = 0;
  uint8_t percentCount = 0;
  uint8_t intZeros = 0;
  uint8_t intDigits = 0;
  uint8_t decDigits = 0;
  uint8_t decForced = 0;
  uint8_t expDigits = 0;
  uint8_t expZeros = 0;
  uint8_t signAtSelect = 0;  // 0 zero, 1 positive, 2 negative
  uint8_t signHere = 0;
  uint8_t expSign = 0;
  uint8_t numerDigits = 0;
  uint8_t denomDigits = 0;
  uint8_t dbNum = 0;         // 0, or 1..3: kanji, formal kanji, full-width
  uint64_t fixedDenom = 0;   // a denominator written in digits, 0 for none
  uint8_t hasHour = 0;
  uint8_t hasAmPm = 0;
  uint32_t tokenCount = 0;   // UTF-16 units in tokens
  icu::UnicodeString tokens;
};

struct FMT2 {
  uint8_t sectionCount = 0;
  FMT sections[4];
};

// The cell value handed to the formatters; the caller owns it.
struct CELLV {
  int32_t type = 0;  // 1 = number
  double value = 0.0;
  icu::UnicodeString text;
};

// Answers true when the finished text does not fit the cell. The context and
// the two integers are the caller's, passed through unchanged.
using XlsWidthCallback = bool (*)(void* context, const icu::UnicodeString& text, const ZelLength& cellWidth,
                                  int arg1, int arg2);

class QUARNEL_API XlsFormatString {
 public:
  XlsFormatString();
  // For the books of another version: only its bits 0x0F00 are consulted.
  explicit XlsFormatString(uint16_t bookVersion);
  XlsFormatString(const XlsFormatString&) = default;
  XlsFormatString& operator=(const XlsFormatString& other);

  void setDate1904(int value) { dateSystem = static_cast<uint16_t>(value); }
  bool isDate1904() const { return dateSystem == 1; }
  uint16_t GetYearBase() const { return dateSystem == 1 ? 1904 : 1900; }
  uint16_t GetBookVersion() const { return bookVersion & 0x0F00; }
  void setFill(bool on) { fill = on ? 1 : 0; }
  bool isFill() const { return fill != 0; }

  // 1 when the text is a valid format, 0 when not; the record holds what was
  // read either way. The text ends at its length or at its first U+0000.
  short fmtget(const icu::UnicodeString& format, FMT2* parsed) const;

  short fmtnum(CELLV* cell, const ZelValue& widthInChars, const icu::UnicodeString& format,
               icu::UnicodeString& out, unsigned char* color, XlsWidthCallback callback, ZelLength cellWidth,
               int arg1, int arg2, void* context);
  short fmtstr(CELLV* cell, const ZelValue& widthInChars, const icu::UnicodeString& format,
               icu::UnicodeString& out, unsigned char* color);
  icu::UnicodeString FormatString(const icu::UnicodeString& format, double value);

  static short fmtsel(unsigned char what, double value, FMT2* parsed);
  static bool iscond(double value, unsigned char op, double limit);
  static int countKetasu(const icu::UnicodeString& text);

  // Section formatters for numbers and for dates and times: 0, or -3 when
  // the text does not fit.
  short fmtnumN(FMT* section, double value, const ZelValue& widthInChars, icu::UnicodeString& out,
                XlsWidthCallback callback, ZelLength cellWidth, int arg1, int arg2, void* context);
  short fmtnumD(FMT* section, double value, const ZelValue& widthInChars, icu::UnicodeString& out,
                XlsWidthCallback callback, ZelLength cellWidth, int arg1, int arg2, void* context);
  // Dates and times of a serial value. fmtdate takes the year base (1900 or
  // 1904) in *year and answers the year, or 0 when the date cannot be shown;
  // the era is 0 Meiji .. 4 Reiwa, the weekday 0 Sunday.
  static short fmtdate(double value, short* year, short* month, short* day, short* weekday, short* era);
  static int64_t fmttime(double value, short what, unsigned char decimals);
  static unsigned short DateOfYear(short year);
  static unsigned short DateOfMonth(short year, short month);
  static short WeekOfNum(unsigned long serial, short yearBase);
  static short RekiOfNum(unsigned long serial, short yearBase);

  // The General text of a value in a buffer of at least width + 1 bytes.
  static void ConvGeneral(double value, char* buffer, short width, XlsWidthCallback callback,
                          ZelLength cellWidth, int arg1, int arg2, void* context);

  // Kanji and full-width numerals of the DBNum sections.
  static unsigned short sethanzenNumS(icu::UnicodeString& out, unsigned char dbNum, unsigned char ch);
  static void setzenNum(icu::UnicodeString& out, unsigned char dbNum, long n);
  static void setzenTani(icu::UnicodeString& out, unsigned char dbNum, long unit);

 private:
  uint16_t dateSystem;
  uint16_t bookVersion;
  uint8_t fill;
};

}  // namespace ObraCommon
