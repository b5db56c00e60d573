// ZelUtil: the library's small conversions between numbers, quoted strings,
// URIs and base64 and their texts, and rounding. All members are static.
// Number texts never depend on the process locale: the decimal point is
// always ".".
//
// The parsers read a text up to its terminating U+0000 and, where end is
// given, set *end to the position after what they consumed (never before
// the start nor past the terminator). The string functions report failure
// by returning the bogus string (ZelBogusString::BOGUS_VALUE).
#pragma once

#include <iosfwd>

#include <unicode/unistr.h>

#include "quarnel/export.h"

namespace ObraCommon {

using icu::UnicodeString;

class QUARNEL_API ZelUtil {
 public:
  // How a string is enclosed and escaped; values combine with |. A mode
  // without QUOTE_DOUBLE and QUOTE_SINGLE is an unquoted string.
  enum QuoteMode : int {
    QUOTE_DOUBLE = 1,      // enclosed in double quotes
    QUOTE_SINGLE = 2,      // in single quotes; with QUOTE_DOUBLE, either
    QUOTE_DOUBLED = 4,     // a quote inside is written twice
    QUOTE_CSS_ESCAPE = 8,  // backslash escapes as CSS writes them
  };

  // Decimal digits, "-" in front of a negative value.
  static UnicodeString toString(int value);
  static UnicodeString toString(long value);
  static UnicodeString toString(long long value);
  // At most six significant digits, as "%g" prints in the C locale; NaN is
  // "nan", the infinities "inf" and "-inf".
  static UnicodeString toString(double value);

  // Halves round away from zero (2.5 gives 3, -2.5 gives -3); NaN gives 0,
  // values beyond the int range give INT_MIN or INT_MAX.
  static int roundToInteger(double value);
  static int roundToInteger(float value);

  static double getNaN();
  static float getNaNf();
  static bool isNaN(double value);
  static bool isNaN(float value);

  // Does nothing; a client calls it to make sure the library is linked.
  static void checkLink();

  // A decimal number after optional blanks and sign: digits with an
  // optional fraction, or a point and digits; no exponent. *point tells
  // whether a decimal point was read. No number gives 0 with *end at text.
  static double parseNumber(const char16_t* text, const char16_t** end = nullptr, bool* point = nullptr);
  // Hexadecimal digits after optional blanks, at most limit of them when
  // limit > 0; a value beyond 32 bits gives 0xFFFFFFFF.
  static unsigned int parseHexNum(const char16_t* text, const char16_t** end = nullptr, int limit = 0);
  // A string quoted and escaped as mode says; the bogus string when the
  // opening quote is missing or the closing one never comes.
  static UnicodeString parseString(const char16_t* text, const char16_t** end, QuoteMode mode);

  static UnicodeString quoteString(const UnicodeString& text, QuoteMode mode);
  static UnicodeString unquoteString(const UnicodeString& text, QuoteMode mode);
  // url("...") with every double quote of the text as %22, and back.
  static UnicodeString quoteUri(const UnicodeString& text);
  static UnicodeString unquoteUri(const UnicodeString& text);

  // Base64 (RFC 4648, "=" fill, no line breaks) of every byte still in the
  // stream; size only hints at how much room to reserve.
  static UnicodeString encodeBase64(std::istream& in, int size);
  // The same as a data URI: "data:" mediaType [";" parameter] ";base64,".
  static UnicodeString encodeBase64(std::istream& in, int size, const UnicodeString& mediaType,
                                    const UnicodeString& parameter);
  // Writes the bytes of length base64 characters to out; other characters
  // are skipped and the first "=" ends the decoding.
  static void decodeBase64(const char16_t* text, int length, std::ostream& out);
};

inline ZelUtil::QuoteMode operator|(ZelUtil::QuoteMode a, ZelUtil::QuoteMode b) {
  return static_cast<ZelUtil::QuoteMode>(static_cast<int>(a) | static_cast<int>(b));
}

}  // namespace ObraCommon
