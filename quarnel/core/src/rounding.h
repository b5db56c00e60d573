// The library's one conversion of a floating-point value to int. C++ leaves
// the conversion of NaN or of a value beyond the int range undefined, so
// every rounding in the library goes through here: NaN gives 0, values
// beyond the range give INT_MIN or INT_MAX, and the others round half away
// from zero (0.5 added to a value of 0 or more, -0.5 to a negative one, then
// truncated toward zero).
#pragma once

namespace ObraCommon {

int roundHalfAwayFromZero(double value);

}  // namespace ObraCommon
