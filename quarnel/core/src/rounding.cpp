#include "rounding.h"

#include <climits>
#include <cmath>

namespace ObraCommon {

int roundHalfAwayFromZero(double value) {
  if (std::isnan(value)) return 0;
  // Limits of what truncates into an int: above -2^31 - 1 and below 2^31.
  constexpr double kAbove = 2147483648.0;
  constexpr double kBelow = -2147483649.0;
  double shifted = value >= 0 ? value + 0.5 : value - 0.5;
  if (shifted >= kAbove) return INT_MAX;
  if (shifted <= kBelow) return INT_MIN;
  return static_cast<int>(shifted);
}

}  // namespace ObraCommon
