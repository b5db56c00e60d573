// The fraction search numerator by numerator, as the rule reads: the
// reference the bounded search is compared with.
#pragma once

#include <cmath>
#include <cstdint>

#include "number_text.h"

namespace xlstest {

inline ObraCommon::numtext::NearestFraction StepByStep(double f, int digits) {
  ObraCommon::numtext::NearestFraction r;
  int64_t limit = 1;
  for (int i = 0; i < digits; ++i) limit *= 10;
  double best = 1.0;
  for (int64_t k = 1;; ++k) {
    const double y = static_cast<double>(k) / f;
    const double dd = std::ceil(y - 0.5);
    const double err = std::fabs(y - dd) / dd;
    if (err + 1e-8 < best) {
      best = err;
      r.numerator = k;
      r.denominator = static_cast<int64_t>(dd);
    }
    if (dd >= static_cast<double>(limit) || k + 1 >= limit) break;
  }
  return r;
}

}  // namespace xlstest
