// Decimal digit strings and the texts built from them: the General text,
// scientific texts, fixed decimals and the fraction search. A value is turned
// once into a digit string rounded to 15 significant digits; scaling and
// rounding then work on the text, never on the double.
#pragma once

#include <cstdint>
#include <string>

#include <unicode/unistr.h>

#include "quarnel/xls_format_string.h"

namespace ObraCommon {

class ZelValue;

namespace numtext {

// fmtnum after the parse: chooses the section of a parsed record and renders
// the cell's number with it. The record's counters change.
short renderNumber(XlsFormatString& object, FMT2* parsed, CELLV* cell, const ZelValue& widthInChars,
                   icu::UnicodeString& out, unsigned char* color, XlsWidthCallback callback, ZelLength cellWidth,
                   int arg1, int arg2, void* context);

// The width in characters: the low 16 bits of the integer value, signed; a
// negative width counts as none.
short widthOf(const ZelValue& width);

// The length of the AM/PM form ("AM/PM", "am/pm", "A/P", "a/p") at i, or 0.
int32_t amPmLength(const icu::UnicodeString& tokens, int32_t i);
// Puts the fill character at `at` as many times as the text is narrower
// than `width` columns.
void insertFill(icu::UnicodeString& out, int32_t at, char16_t fillChar, int width);

// value / 10^k for any k a double's exponent can need, without the power
// itself overflowing or vanishing on the way.
double scaleByPowerOfTen(double value, int k);

void DblStrDel0(std::string& s);
void DblStrMul10(std::string& s);
void DblStrDiv10(std::string& s);
// k calls of DblStrDiv10 in one.
void DblStrDivPow10(std::string& s, int k);
short Dbl15Roff(std::string& s);
// 1 when rounding to `decimals` added a leading digit.
short DblStrRoff(std::string& s, int decimals);
double MYfrexp(double value, int* exponent);
int intKeta(double value);

// The integer part, then `decimals` fractional digits of |fraction|, rounded
// half up on the text. With `carry` given, a rounding that adds a leading
// digit divides the text by ten and sets *carry.
std::string yeFraction(double value, double integerPart, double fraction, int decimals, bool* carry);
std::string ConvertFltToStr(double value, int decimals);
std::string convDblStr(double value);
std::string ConvertExponent(double value, int width);
// The General text for `width` characters; it may be longer in the cases
// that carry no width check.
std::string GeneralText(double value, int width);

// Numerator and denominator of the fraction nearest x: with `fixedDenom`
// not 0 that denominator, else a search over denominators up to
// 10^digits. The numerator holds the integer part of x as well.
struct Fraction {
  std::string numerator;  // digits; beyond 64 bits the double without decimals
  int64_t denominator = 1;
  bool zero = true;       // the numerator is 0
};
Fraction convFrac(double x, int digits, uint64_t fixedDenom);

// The search of convFrac for a fraction part f (1e-6 <= f < 1): numerator 0
// when no candidate was taken. `visits` counts the numerators looked at.
struct NearestFraction {
  int64_t numerator = 0;
  int64_t denominator = 1;
};
NearestFraction searchFraction(double f, int digits, uint64_t* visits);

}  // namespace numtext
}  // namespace ObraCommon
