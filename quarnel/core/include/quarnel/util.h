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
#include "quarnel/name_enum.h"

namespace ObraCommon {

using icu::UnicodeString;

class ZelLang;
class ZelName;

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

  // A list or page number as an XSL numbering format writes it: the first
  // run of letters and digits is the token that chooses the style ("1",
  // "001", "a", "I", "i", a first letter of another alphabet, kana, kanji),
  // the text around it is kept. A separator and a non-zero size group the
  // digits from the right; the language chooses the alphabet of the letter
  // styles. letterValue is accepted and changes nothing.
  static UnicodeString formatNumber(int number, const UnicodeString& format,
                                    const UnicodeString& groupingSeparator, int groupingSize,
                                    ZelLang language, ZelNameEnum letterValue);
  static UnicodeString formatNumber(int number, const UnicodeString& format, ZelLang language);
  // Every run of ASCII digits in the text as Japanese numerals: style
  // "grouping" (digit by digit with 万, 億 ... between groups of four),
  // "readable" (二万三百五) or any other name (digit by digit). digits is
  // "kanji", "latin" (full width) or a name whose text gives the digits 0
  // upward; units replaces 十 百 千 and then the group markers, in order.
  // fifth is accepted and changes nothing.
  static UnicodeString convertKansuji(const UnicodeString& text, const ZelName& style, const ZelName& digits,
                                      const UnicodeString& units, const UnicodeString& fifth);
  // The same on the number's decimal text.
  static UnicodeString convertKansuji(int number, const ZelName& style, const ZelName& digits,
                                      const UnicodeString& units, const UnicodeString& fifth);

  // Frees the alphabet tables of formatNumber; the next call builds them
  // again.
  static void cleanup();
};

inline ZelUtil::QuoteMode operator|(ZelUtil::QuoteMode a, ZelUtil::QuoteMode b) {
  return static_cast<ZelUtil::QuoteMode>(static_cast<int>(a) | static_cast<int>(b));
}

}  // namespace ObraCommon
