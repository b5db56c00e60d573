// The number section formatter: the value becomes a digit string, scaled and
// rounded on the text, and the section's tokens pick its digits one by one.
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kanji_numerals.h"
#include "number_text.h"
#include "quarnel/value.h"
#include "quarnel/xls_format_string.h"

namespace ObraCommon {
namespace {

using namespace numtext;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Digits before the point (or the end, or a "/").
int digitsBeforePoint(const std::string& s, size_t from) {
  int n = 0;
  for (size_t i = from; i < s.size() && isDigit(s[i]); ++i) ++n;
  return n;
}

bool integerIsZero(const std::string& s) {
  for (char c : s) {
    if (c == '.' || c == '/') break;
    if (c >= '1' && c <= '9') return false;
  }
  return true;
}

bool numberIsZero(const std::string& s) {
  for (char c : s) {
    if (c == '/') break;
    if (c >= '1' && c <= '9') return false;
  }
  return true;
}

bool restIsZero(const std::string& s, size_t from) {
  for (size_t i = from; i < s.size() && s[i] != '/'; ++i)
    if (s[i] >= '1' && s[i] <= '9') return false;
  return true;
}

// The digits of |value| in scientific position for `intDigits` integer
// placeholders; `carry` asks for one decade more, after a rounding that
// added a digit.
void exponentDigits(double a, int intDigits, int carry, std::string& digits, std::string& expText,
                    uint8_t& expSign) {
  int e = 0;
  if ((a != 0.0 && a < 1.0) || carry != 0) {
    int be = 0;
    MYfrexp(a, &be);
    int k = -1 - static_cast<int>(std::trunc(be * -0.301029995));
    if (std::trunc(scaleByPowerOfTen(a, k)) < 1.0) --k;
    k += carry;
    char buffer[400];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, scaleByPowerOfTen(a, k), std::chars_format::fixed, 6);
    digits.assign(buffer, r.ptr);
    e = k;
  }
  const int n = digitsBeforePoint(digits, 0);
  int exponent = e;
  if (n > intDigits) {
    exponent = e + (n - intDigits);
    DblStrDivPow10(digits, n - intDigits);
  } else if (n < intDigits) {
    exponent = e - (intDigits - n);
    for (int i = 0; i < intDigits - n; ++i) DblStrMul10(digits);
  }
  expText = convDblStr(std::fabs(static_cast<double>(exponent)));
  expSign = exponent == 0 ? 0 : exponent > 0 ? 1 : 2;
}

}  // namespace

short XlsFormatString::fmtnumN(FMT* section, double value, const ZelValue& widthInChars, icu::UnicodeString& out,
                               XlsWidthCallback callback, ZelLength cellWidth, int arg1, int arg2, void* context) {
  out.remove();
  const short w = widthOf(widthInChars);
  if (section == nullptr) return 0;
  if (!std::isfinite(value)) {
    for (short i = 0; i < w; ++i) out.append(u'#');
    return -3;
  }
  FMT& f = *section;
  f.signHere = value > 0 ? 1 : value < 0 ? 2 : 0;
  const double a = std::fabs(value);
  std::string digits = convDblStr(a);
  for (int i = 0; i < f.percentCount; ++i) {
    DblStrMul10(digits);
    DblStrMul10(digits);
  }
  DblStrDivPow10(digits, 3 * f.scaleCommas);

  std::string expText;
  if (f.hasExponent != 0) exponentDigits(a, f.intDigits, 0, digits, expText, f.expSign);
  if (f.hasFraction == 0) {
    if (DblStrRoff(digits, f.decDigits) == 1 && f.hasExponent != 0) {
      // Once only: with several integer placeholders the redo rounds the
      // same way again, and its digits are the ones to show.
      digits = convDblStr(a);
      exponentDigits(a, f.intDigits, 1, digits, expText, f.expSign);
      DblStrRoff(digits, f.decDigits);
    }
  } else {
    size_t point = digits.find('.');
    if (point == std::string::npos) point = digits.size();
    double x;
    if (f.intDigits == 0 || point == 0) {
      x = std::strtod(digits.c_str(), nullptr);  // ".5" reads as "0.5"
    } else {
      // The fraction part as "0.ddd": the last integer digit stands in for
      // the zero for the read.
      const char last = digits[point - 1];
      digits[point - 1] = '0';
      x = std::strtod(digits.c_str() + point - 1, nullptr);
      digits[point - 1] = last;
    }
    const Fraction fraction = convFrac(x, f.denomDigits, f.fixedDenom);
    // A numerator alone where the format shows no integer, or a zero one.
    const bool noInteger = !fraction.zero && ((integerIsZero(digits) && f.intZeros == 0) || f.intDigits == 0);
    digits.resize(noInteger ? 0 : point);
    digits += '.';
    if (!fraction.zero) {
      char denominator[24];
      const auto end = std::to_chars(denominator, denominator + sizeof denominator, fraction.denominator).ptr;
      digits += fraction.numerator;
      digits += '/';
      digits.append(denominator, end);
    }
  }

  const std::string* src = &digits;
  size_t idx = 0;
  int R = digitsBeforePoint(digits, 0);
  int P = f.intDigits;
  int part = 0;
  int sepMode = 0;
  int columns = 0;
  int32_t fillAt = -1;
  char16_t fillChar = 0;
  short status = 0;
  const bool wide = f.dbNum != 0;

  const auto writeMinus = [&] {
    if (f.signHere != 2) return;
    if (!numberIsZero(digits)) {
      out.append(u'-');
      ++columns;
    }
    f.signHere = 0;
  };
  const auto writeDigit = [&](char c) { columns += sethanzenNumS(out, f.dbNum, static_cast<unsigned char>(c)); };
  const auto writeNext = [&] {
    if (idx < src->size() && isDigit((*src)[idx])) writeDigit((*src)[idx]);
    ++idx;
  };
  const auto writeSpace = [&] {
    out.append(wide ? char16_t{0x3000} : u' ');
    columns += wide ? 2 : 1;
  };
  const auto writeSeparator = [&] {
    if (sepMode == 1) out.append(wide ? char16_t{0xFF0C} : u',');
    else out.append(wide ? char16_t{0x3000} : u' ');
    columns += wide ? 2 : 1;
  };
  const auto writeText = [&](const icu::UnicodeString& text) {
    out.append(text);
    columns += text.length();
  };

  const icu::UnicodeString& t = f.tokens;
  const int32_t n = t.length();
  for (int32_t i = 0; i < n && status == 0;) {
    const char16_t c = t.charAt(i);
    const int32_t formLength = amPmLength(t, i);
    if (c == u'"') {
      writeMinus();
      int32_t j = i + 1;
      while (j < n && t.charAt(j) != u'"') ++j;
      writeText(icu::UnicodeString(t, i + 1, j - i - 1));
      i = j + 1;
    } else if (c == u'\\' && i + 1 < n) {
      writeMinus();
      writeText(icu::UnicodeString(t.charAt(i + 1)));
      i += 2;
    } else if (c == u'*' && i + 1 < n) {
      if (fill == 0) {
        writeText(icu::UnicodeString(t.charAt(i + 1)));
      } else {
        fillAt = out.length();
        fillChar = t.charAt(i + 1);
      }
      i += 2;
    } else if (c == u'%') {
      writeText(u"%");
      ++i;
    } else if (c == u'.') {
      writeMinus();
      writeText(u".");
      if (part == 0) {
        while (idx < src->size() && isDigit((*src)[idx])) ++idx;
        if (idx < src->size() && (*src)[idx] == '.') ++idx;
      }
      part = 1;
      R = 0;
      P = 0;
      ++i;
    } else if ((c == u'E' || c == u'e') && i + 1 < n && (t.charAt(i + 1) == u'+' || t.charAt(i + 1) == u'-')) {
      out.append(c);
      ++columns;
      if (f.expSign == 2 || t.charAt(i + 1) == u'+') writeText(f.expSign == 2 ? u"-" : u"+");
      part = 2;
      src = &expText;
      idx = 0;
      R = digitsBeforePoint(expText, 0);
      P = f.expDigits;
      f.intZeros = f.expZeros;
      f.grouping = 0;
      sepMode = 0;
      i += 2;
    } else if (c == u'/') {
      writeText(u"/");
      if (f.hasFraction != 0) {
        part = 4;
        const size_t slash = src->find('/', idx);
        if (slash == std::string::npos) {
          out.setCharAt(out.length() - 1, u' ');
          idx = src->size();
        } else {
          idx = slash + 1;
        }
        P = f.denomDigits;
        R = digitsBeforePoint(*src, idx);
        f.grouping = 0;
        f.intZeros = 0;
        sepMode = 0;
      }
      ++i;
    } else if (c == u'G') {
      double v = a;
      if (f.signAtSelect == 2 || f.signHere == 2) {
        v = -a;
        f.signHere = 0;
      }
      if (f.dbNum == 0) {
        writeText(icu::UnicodeString(GeneralText(v, w).c_str(), -1, US_INV));
      } else {
        columns += appendKanjiGeneral(out, f.dbNum, v, w);
      }
      ++i;
    } else if (formLength > 0) {
      i += formLength;  // a clock form has nothing to show in a number
    } else if (c == u'0' || c == u'#' || c == u'?' || (c >= u'1' && c <= u'9')) {
      writeMinus();
      const char ph = static_cast<char>(c);
      if (part == 1) {
        const bool left = idx < src->size() && isDigit((*src)[idx]);
        const bool nonZero = left && !restIsZero(*src, idx);
        if (ph == '#') {
          if (nonZero) writeNext();
        } else if (nonZero) {
          if (f.decForced > 0) --f.decForced;
          writeNext();
        } else if (f.decForced > 0) {
          --f.decForced;
          if (ph == '0') writeDigit('0');
          else writeSpace();
          if (left) ++idx;
        }
      } else {
        if (f.hasFraction != 0 && part == 0 && R == 0 && P == 0) {
          part = 3;
          if (idx < src->size() && (*src)[idx] == '.') ++idx;
          R = digitsBeforePoint(*src, idx);
          P = f.numerDigits;
          f.grouping = 0;
          f.intZeros = 0;
          sepMode = 0;
        }
        while (R > P) {
          writeNext();
          --R;
          if (f.grouping != 0) sepMode = 1;
          if (sepMode != 0 && R != 0 && R % 3 == 0) writeSeparator();
        }
        if (R == P && R > 0) {
          bool write = true;
          if (ph == '#') {
            // A numerator or denominator has no leading zeros: its digits
            // are all written.
            write = part >= 3 || !integerIsZero(*src) || f.intZeros != 0 ||
                    (f.hasFraction != 0 && R == 1 && f.decDigits == 0);
          }
          if (ph == '?' && part == 0 && R == 1 && digitsBeforePoint(*src, 0) == 1 && (*src)[0] == '0') {
            writeSpace();
            ++idx;
          } else if (write) {
            writeNext();
          } else {
            ++idx;
          }
          --R;
          if (f.grouping != 0) sepMode = 1;
        } else if (R < P) {
          bool spaced = false;
          if (ph == '0') {
            if (part == 4) {
              writeSpace();
              spaced = true;
            } else if (f.intZeros > 0) {
              --f.intZeros;
              writeDigit('0');
            }
          } else if (ph != '#') {
            writeSpace();
            spaced = true;
          }
          if (spaced && f.grouping != 0) sepMode = 2;
        }
        if (R != P && sepMode != 0 && R != 0 && R % 3 == 0) writeSeparator();
        if (P > 0) --P;
      }
      ++i;
    } else if (i + 1 < n && std::strchr("DMYRhms", static_cast<char>(c < 0x80 ? c : 0)) != nullptr &&
               t.charAt(i + 1) >= u'1' && t.charAt(i + 1) <= u'9') {
      i += 2;  // a date code has nothing to show in a number
    } else {
      ++i;  // scaling commas and the rest write nothing
    }
    if (callback == nullptr && columns > w) status = -3;
  }
  if (status == 0 && callback != nullptr && callback(context, out, cellWidth, arg1, arg2)) status = -3;
  if (status == 0) numtext::insertFill(out, fillAt, fillChar, w);
  return status;
}

}  // namespace ObraCommon
