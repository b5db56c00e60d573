// ZelUtil's number texts and rounding. The texts are made with
// std::to_chars, which ignores the process locale, so a program that set
// a locale with a decimal comma still gets "1.5".
#include <charconv>
#include <cmath>
#include <limits>

#include "quarnel/util.h"
#include "rounding.h"

namespace ObraCommon {

namespace {

template <class... Format>
UnicodeString Chars(auto value, Format... format) {
  char buffer[64];
  std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value, format...);
  return UnicodeString(buffer, static_cast<int32_t>(result.ptr - buffer), US_INV);
}

}  // namespace

UnicodeString ZelUtil::toString(int value) { return Chars(value); }
UnicodeString ZelUtil::toString(long value) { return Chars(value); }
UnicodeString ZelUtil::toString(long long value) { return Chars(value); }

UnicodeString ZelUtil::toString(double value) {
  // to_chars would print a negative NaN as "-nan".
  if (std::isnan(value)) return UnicodeString(u"nan");
  return Chars(value, std::chars_format::general, 6);
}

int ZelUtil::roundToInteger(double value) { return roundHalfAwayFromZero(value); }
int ZelUtil::roundToInteger(float value) { return roundHalfAwayFromZero(value); }

double ZelUtil::getNaN() { return std::numeric_limits<double>::quiet_NaN(); }
float ZelUtil::getNaNf() { return std::numeric_limits<float>::quiet_NaN(); }
bool ZelUtil::isNaN(double value) { return std::isnan(value); }
bool ZelUtil::isNaN(float value) { return std::isnan(value); }

void ZelUtil::checkLink() {}

}  // namespace ObraCommon
