// Digit strings and the General, fixed and scientific texts of a value.
#include "number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>

#include "quarnel/value.h"
#include "quarnel/xls_format_string.h"

namespace ObraCommon {
namespace numtext {
namespace {

// printf's "%.0f" of an integral double, in the "C" locale's digits.
std::string wholeText(double integral) {
  char buffer[400];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, integral, std::chars_format::fixed, 0);
  return std::string(buffer, result.ptr);
}

std::string unsignedText(uint64_t n, int minDigits) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, n);
  std::string text(buffer, result.ptr);
  if (static_cast<int>(text.size()) < minDigits) text.insert(0, static_cast<size_t>(minDigits) - text.size(), '0');
  return text;
}

// Raises the digit at i by one, carrying left past the point; a carry out of
// the leading digit puts a "1" before it (after a minus). True when it did.
bool raiseDigit(std::string& s, ptrdiff_t i) {
  for (; i >= 0; --i) {
    const char c = s[static_cast<size_t>(i)];
    if (c == '.') continue;
    if (c == '-') break;
    if (c == '9') {
      s[static_cast<size_t>(i)] = '0';
      continue;
    }
    ++s[static_cast<size_t>(i)];
    return false;
  }
  s.insert(static_cast<size_t>(i + 1), 1, '1');
  return true;
}

// 10^k: up to 10^22 every power is a double exactly, as pow gives it.
double powerOfTen(int k) {
  static constexpr double kExact[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                      1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  return k >= 0 && k < static_cast<int>(std::size(kExact)) ? kExact[k] : std::pow(10.0, k);
}

}  // namespace

double scaleByPowerOfTen(double value, int k) {
  if (k > 300) return scaleByPowerOfTen(value / 1e300, k - 300);
  if (k < -300) return scaleByPowerOfTen(value * 1e300, k + 300);
  return value / powerOfTen(k);
}

short widthOf(const ZelValue& width) {
  const auto w = static_cast<int16_t>(static_cast<uint32_t>(width.getIntegerValue()) & 0xFFFFu);
  return w < 0 ? short{0} : w;
}

int32_t amPmLength(const icu::UnicodeString& t, int32_t i) {
  // Every form begins with its A.
  if (i >= t.length() || (t.charAt(i) != u'A' && t.charAt(i) != u'a')) return 0;
  for (const char16_t* form : {u"AM/PM", u"am/pm", u"A/P", u"a/p"}) {
    const auto n = static_cast<int32_t>(std::char_traits<char16_t>::length(form));
    if (i + n <= t.length() && t.compare(i, n, form) == 0) return n;
  }
  return 0;
}

void insertFill(icu::UnicodeString& out, int32_t at, char16_t fillChar, int width) {
  if (at < 0) return;
  const int copies = width - XlsFormatString::countKetasu(out);
  if (copies <= 0) return;
  icu::UnicodeString run;
  for (int k = 0; k < copies; ++k) run.append(fillChar);
  out.insert(at, run);
}

void DblStrDel0(std::string& s) {
  if (s.empty()) {
    s = "0.0";
    return;
  }
  const size_t start = s[0] == '-' ? 1 : 0;
  if (s.find('.', start) == std::string::npos) s += ".0";
  if (s[start] == '.') s.insert(start, 1, '0');
  size_t zeros = 0;
  while (s[start + zeros] == '0' && s[start + zeros + 1] != '.') ++zeros;
  s.erase(start, zeros);
  while (s.size() >= 2 && s.back() == '0' && s[s.size() - 2] != '.') s.pop_back();
  if (s.back() == '.') s += '0';
}

void DblStrMul10(std::string& s) {
  const size_t point = s.find('.');
  if (point == std::string::npos) {
    s += '0';
  } else if (point + 1 >= s.size()) {
    s[point] = '0';
    s += '.';
  } else {
    std::swap(s[point], s[point + 1]);
  }
  DblStrDel0(s);
}

void DblStrDiv10(std::string& s) {
  const size_t start = !s.empty() && s[0] == '-' ? 1 : 0;
  const size_t point = s.find('.');
  if (point == std::string::npos) {
    if (s.size() > start) s.insert(s.size() - 1, 1, '.');
  } else if (point == start) {
    s.insert(point + 1, 1, '0');
  } else {
    std::swap(s[point], s[point - 1]);
  }
  DblStrDel0(s);
}

// As k calls of DblStrDiv10: the point moves k places to the left at once.
// A text other than a sign, digits and one point takes the calls.
void DblStrDivPow10(std::string& s, int k) {
  if (k <= 0) return;
  const size_t start = !s.empty() && s[0] == '-' ? 1 : 0;
  size_t point = std::string::npos;
  bool digit = false;
  for (size_t i = start; i < s.size(); ++i) {
    if (s[i] >= '0' && s[i] <= '9') {
      digit = true;
    } else if (s[i] != '.' || point != std::string::npos) {
      digit = false;
      break;
    } else {
      point = i;
    }
  }
  if (!digit) {
    for (int i = 0; i < k; ++i) DblStrDiv10(s);
    return;
  }
  const size_t intEnd = point == std::string::npos ? s.size() : point;
  const size_t intLength = intEnd - start;
  const size_t moved = static_cast<size_t>(k);
  std::string out = s.substr(0, start);
  if (intLength > moved) out.append(s, start, intLength - moved);
  out += '.';
  if (moved > intLength) out.append(moved - intLength, '0');
  out.append(s, intLength > moved ? intEnd - moved : start, std::min(intLength, moved));
  if (point != std::string::npos) out.append(s, point + 1, std::string::npos);
  s = std::move(out);
  DblStrDel0(s);
}

short Dbl15Roff(std::string& s) {
  size_t first = 0;
  while (first < s.size() && (s[first] < '1' || s[first] > '9')) ++first;
  int count = 0;
  size_t at16 = std::string::npos;
  ptrdiff_t at15 = -1;
  for (size_t i = first; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') continue;
    ++count;
    if (count == 15) at15 = static_cast<ptrdiff_t>(i);
    if (count == 16) {
      at16 = i;
      break;
    }
  }
  if (at16 == std::string::npos) return 0;
  const bool up = s[at16] >= '5';
  for (size_t i = at16; i < s.size(); ++i)
    if (s[i] >= '0' && s[i] <= '9') s[i] = '0';
  if (up) raiseDigit(s, at15);
  return 0;
}

short DblStrRoff(std::string& s, int decimals) {
  const size_t point = s.find('.');
  if (point == std::string::npos) return 0;
  const size_t q = std::min(s.size(), point + static_cast<size_t>(decimals < 0 ? 0 : decimals) + 1);
  // Digits far beyond the precision first, each carrying into the one before.
  for (size_t i = s.size(); i-- > std::max<size_t>(q + 1, 15);) {
    if (s[i] == '.' || s[i] < '5') continue;
    s[i] = '0';
    raiseDigit(s, static_cast<ptrdiff_t>(i) - 1);
  }
  short added = 0;
  size_t cut = q;
  if (q < s.size() && s[q] >= '5') {
    if (raiseDigit(s, static_cast<ptrdiff_t>(q) - 1)) {
      added = 1;
      ++cut;
    }
  }
  for (size_t i = cut; i < s.size(); ++i)
    if (s[i] != '.') s[i] = '0';
  return added;
}

double MYfrexp(double value, int* exponent) {
  int e = 0;
  const double m = value == 0.0 || !std::isfinite(value) ? value : std::frexp(value, &e);
  if (exponent != nullptr) *exponent = e;
  return m;
}

int intKeta(double value) {
  double a = std::fabs(value);
  if (!std::isfinite(a)) return 0;
  int digits = 1;
  while (a >= 10.0) {
    a *= 0.1;
    ++digits;
  }
  return digits;
}

std::string yeFraction(double value, double integerPart, double fraction, int decimals, bool* carry) {
  // The magnitude after a minus of our own: the integer part of a value
  // between -1 and 0 is -0.0, which would print a second minus.
  std::string s = (value < 0 && !(integerPart < 0)) ? "-" + wholeText(std::fabs(integerPart)) + "."
                                                    : wholeText(integerPart) + ".";
  double rest = std::fabs(fraction);
  for (int left = decimals; left > 0;) {
    const int k = std::min(9, left);
    const double product = rest * powerOfTen(k);
    const double whole = std::floor(product);
    s += unsignedText(static_cast<uint64_t>(std::min(whole, 999999999.0)), k);
    rest = product - whole;
    left -= k;
  }
  if (rest >= 0.5) {
    s += '5';
    if (DblStrRoff(s, decimals) == 1 && carry != nullptr) {
      DblStrDiv10(s);
      *carry = true;
    }
    // The rounding digit has done its work; keep the wanted decimals only.
    const size_t point = s.find('.');
    if (point != std::string::npos && s.size() > point + 1 + static_cast<size_t>(decimals))
      s.resize(point + 1 + static_cast<size_t>(decimals));
  }
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s;
}

std::string ConvertFltToStr(double value, int decimals) {
  double integral = 0.0;
  const double fraction = std::modf(value, &integral);
  std::string s = yeFraction(value, integral, fraction, decimals < 0 ? 0 : decimals, nullptr);
  const size_t point = s.find('.');
  if (point != std::string::npos) {
    size_t end = s.size();
    while (end > point + 1 && s[end - 1] == '0') --end;
    s.resize(end == point + 1 ? point : end);
  }
  return s;
}

std::string convDblStr(double value) {
  std::string s = ConvertFltToStr(value, 32);
  Dbl15Roff(s);
  DblStrDel0(s);
  return s;
}

std::string ConvertExponent(double value, int width) {
  if (width < 5 || !std::isfinite(value)) return std::string(static_cast<size_t>(std::max(width, 0)), '#');
  const double a = std::fabs(value);
  int e = 0;
  MYfrexp(value, &e);
  int k = -1 - static_cast<int>(std::trunc(e * -0.301029995));
  double m = scaleByPowerOfTen(a, k);
  while (m != 0.0 && std::trunc(m) == 0.0) {
    m *= 10.0;
    --k;
  }
  if (std::trunc(m) >= 10.0) {
    k = static_cast<int>(std::trunc(e * 0.301029995));
    m = scaleByPowerOfTen(a, k);
  }
  const double lead = std::trunc(m);
  const int room = 2 + static_cast<int>(wholeText(lead).size() + unsignedText(static_cast<uint64_t>(std::abs(k)), 2).size());
  if (room > width) return std::string(static_cast<size_t>(width), '#');
  const int decimals = (room == width || room + 1 == width) ? 0 : std::min(width - room - 1, 15);
  bool carried = false;
  std::string s = yeFraction(value, lead, m - lead, decimals, &carried);
  if (carried) ++k;
  const size_t point = s.find('.');
  if (point != std::string::npos) {
    size_t end = s.size();
    while (end > point + 1 && s[end - 1] == '0') --end;
    s.resize(end == point + 1 ? point : end);
  }
  s += 'E';
  s += k < 0 ? '-' : '+';
  s += unsignedText(static_cast<uint64_t>(std::abs(k)), 2);
  return s;
}

std::string GeneralText(double value, int width) {
  const int w = std::max(width, 0);
  if (!std::isfinite(value)) return std::string(static_cast<size_t>(w), '#');
  if (value == 0.0) return "0";
  const bool negative = value < 0;
  if (std::trunc(value) > 99999999999.0) return ConvertExponent(value, std::min(w, 11));
  const double a = std::fabs(value);
  if (a < 1.0) {
    const int signWidth = negative ? w - 1 : w;
    std::string s;
    if (a < 1e-9) {
      s = ConvertExponent(value, signWidth);
    } else if (a < 0.001) {
      s = ConvertFltToStr(value, negative ? 8 : 9);
      // A text that rounded to zero would show "0" or "-0": the exponent
      // form keeps the value visible.
      if (static_cast<int>(s.size()) > w || s.find_first_of("123456789") == std::string::npos)
        s = ConvertExponent(value, signWidth);
    } else {
      const int decimals = w < 12 ? (negative ? w - 3 : w - 2) : (negative ? 8 : 9);
      s = ConvertFltToStr(value, std::max(decimals, 0));
      if (static_cast<int>(s.size()) > w) s.assign(static_cast<size_t>(w), '#');
    }
    if (!s.empty() && s[0] == '#') s = "0";
    return s;
  }
  const std::string whole = ConvertFltToStr(value, 0);
  const int length = static_cast<int>(whole.size());
  if (length == w) return whole;
  if (length > w) return length > 5 ? ConvertExponent(value, w) : std::string(static_cast<size_t>(w), '#');
  int decimals;
  if (w <= 6) decimals = w - length - 1 + (negative ? 1 : 0);
  else if (length <= 8) decimals = 8 - length;
  else decimals = length - 8 - (negative ? 1 : 0);
  return ConvertFltToStr(value, std::max(decimals, 0));
}

namespace {

double relativeError(double f, int64_t k, double* dd) {
  const double y = static_cast<double>(k) / f;
  *dd = std::ceil(y - 0.5);  // the nearest integer, a half rounding down
  return std::fabs(y - *dd) / *dd;
}

}  // namespace

// Numerators k = 1, 2, ... each with the denominator nearest k / f; a
// numerator is taken when its relative error beats the best by 1e-8, and the
// walk ends at the first denominator of 10^digits or at k = 10^digits - 1.
// Only numerators that can set a new best need a visit: those of the
// convergents and semiconvergents of f's continued fraction (f is a double,
// so the fraction is exact and finite), in order, then the last numerator.
// Along a run of semiconvergents the error falls steadily, so the next one
// that beats the best by the margin is found by bisection.
NearestFraction searchFraction(double f, int digits, uint64_t* visits) {
  NearestFraction result;
  uint64_t count = 0;
  const int capped = std::clamp(digits, 0, 18);  // denominators fit 64 bits
  int64_t limit = 1;
  for (int i = 0; i < capped; ++i) limit *= 10;
  const double limitD = static_cast<double>(limit);
  double best = 1.0;
  const auto visit = [&](int64_t k) {
    ++count;
    double dd = 0;
    const double err = relativeError(f, k, &dd);
    if (err + 1e-8 < best && dd < 9.2e18) {
      best = err;
      result.numerator = k;
      result.denominator = static_cast<int64_t>(dd);
      return true;
    }
    return false;
  };
  const auto denominatorOf = [&](int64_t k) {
    double dd = 0;
    relativeError(f, k, &dd);
    return dd;
  };
  // The last numerator the walk reaches.
  int64_t last = std::max<int64_t>(1, limit - 1);
  {
    double guess = std::floor((limitD - 0.5) * f);
    if (!(guess >= 1)) guess = 1;
    if (guess < static_cast<double>(last)) {
      auto k = static_cast<int64_t>(guess);
      while (k > 1 && denominatorOf(k - 1) >= limitD) --k;
      while (k < last && denominatorOf(k) < limitD) ++k;
      last = std::min(last, k);
    }
  }

  // f = num / den exactly.
  int exponent = 0;
  const double mantissa = std::frexp(f, &exponent);
  unsigned __int128 num = static_cast<unsigned __int128>(std::ldexp(mantissa, 53));
  unsigned __int128 den = static_cast<unsigned __int128>(1) << (53 - exponent);
  unsigned __int128 pPrev = 1, p = 0;  // numerators of the convergents before
  int64_t visited = 0;
  // a0 is 0 for f < 1: the first term comes from den / num.
  std::swap(num, den);
  while (den != 0 && best >= 1e-8 && visited < last) {
    // Most terms fit 64 bits, whose division is the cheaper by far.
    const bool narrow = (num >> 64) == 0 && (den >> 64) == 0;
    const unsigned __int128 a = narrow ? static_cast<uint64_t>(num) / static_cast<uint64_t>(den) : num / den;
    const unsigned __int128 rest = narrow ? static_cast<uint64_t>(num) % static_cast<uint64_t>(den) : num % den;
    num = den;
    den = rest;
    // Semiconvergent numerators pPrev + j p, j = 1 .. a.
    unsigned __int128 j = 1;
    const auto numeratorAt = [&](unsigned __int128 jj) { return pPrev + jj * p; };
    while (j <= a && best >= 1e-8) {
      const unsigned __int128 k128 = numeratorAt(j);
      if (k128 >= static_cast<unsigned __int128>(last)) break;
      const auto k = static_cast<int64_t>(k128);
      if (k > visited) {
        visit(k);
        visited = k;
      }
      if (p == 0 || j + 1 > a) {
        ++j;
        continue;
      }
      // Bisect for the first later j whose numerator beats the best.
      const auto lastK = static_cast<unsigned __int128>(last);
      unsigned __int128 lo = j + 1;
      unsigned __int128 hi = lastK > pPrev ? std::min(a, (lastK - 1 - pPrev) / p) : 0;
      if (hi < lo) break;
      double dd = 0;
      if (!(relativeError(f, static_cast<int64_t>(numeratorAt(hi)), &dd) + 1e-8 < best)) {
        j = a + 1;  // none in this run
        break;
      }
      while (lo < hi) {
        const unsigned __int128 mid = lo + (hi - lo) / 2;
        ++count;
        if (relativeError(f, static_cast<int64_t>(numeratorAt(mid)), &dd) + 1e-8 < best) hi = mid;
        else lo = mid + 1;
      }
      j = lo;
    }
    const unsigned __int128 next = a * p + pPrev;
    pPrev = p;
    p = next;
    if (p >= static_cast<unsigned __int128>(last)) break;
  }
  if (last > visited) visit(last);
  if (visits != nullptr) *visits = count;
  return result;
}

Fraction convFrac(double x, int digits, uint64_t fixedDenom) {
  Fraction result;
  if (!std::isfinite(x)) x = 0.0;  // digits that read as no number
  const double ip = std::fabs(std::trunc(x));
  const double f = std::fabs(x) - ip;
  double numerator = ip;
  int64_t k = 0;
  int64_t denominator = 1;
  if (fixedDenom != 0) {
    const double d = static_cast<double>(fixedDenom);
    const double scaled = f * d;
    double n = std::trunc(scaled);
    if (scaled - n >= n + 1 - scaled) n += 1;
    k = static_cast<int64_t>(n);
    denominator = static_cast<int64_t>(fixedDenom);
  } else if (f >= 1e-6) {
    const NearestFraction found = searchFraction(f, digits, nullptr);
    k = found.numerator;
    denominator = found.denominator;
  }
  if (k == 0 && numerator == 0.0) {
    result.numerator = "0";
    result.denominator = fixedDenom != 0 ? denominator : 1;
    return result;
  }
  // dd × ip + k, exactly while it fits 64 bits.
  const double d = static_cast<double>(denominator);
  if (ip * d + static_cast<double>(k) < 9.0e18) {
    result.numerator = unsignedText(static_cast<uint64_t>(ip) * static_cast<uint64_t>(denominator) +
                                        static_cast<uint64_t>(k), 1);
  } else {
    result.numerator = wholeText(ip * d + static_cast<double>(k));
  }
  result.denominator = denominator;
  result.zero = result.numerator == "0";
  return result;
}

}  // namespace numtext
}  // namespace ObraCommon
