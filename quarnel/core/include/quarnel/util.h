// ZelUtil: the library's small conversions between numbers and their texts,
// and rounding. All members are static. Number texts never depend on the
// process locale: the decimal point is always ".".
#pragma once

#include <unicode/unistr.h>

#include "quarnel/export.h"

namespace ObraCommon {

using icu::UnicodeString;

class QUARNEL_API ZelUtil {
 public:
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
};

}  // namespace ObraCommon
