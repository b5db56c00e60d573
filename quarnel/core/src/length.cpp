// ZelLength's conversions and predicates. A NaN length is the auto length;
// each predicate answers true for it, as a comparison with NaN did where
// these rules come from.
#include "quarnel/length.h"

#include <cmath>
#include <limits>

#include "rounding.h"

namespace ObraCommon {

namespace {

// Points in one unit; 0 for a unit that is not converted.
float PointsPerUnit(ZelValueUnitType unit) {
  switch (unit) {
    case UNIT_CM: return PT_PER_CM;
    case UNIT_MM: return PT_PER_MM;
    case UNIT_IN: return PT_PER_IN;
    case UNIT_PT: return 1.0f;
    case UNIT_PC: return PT_PER_PC;
    case UNIT_Q: return PT_PER_Q;
    case UNIT_TWIP: return PT_PER_TWIP;
    default: return 0.0f;
  }
}

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

}  // namespace

ZelLength::ZelLength(float value, ZelValueUnitType unit) {
  float factor = PointsPerUnit(unit);
  m_points = factor == 0.0f ? kNaN : value * factor;
}

float ZelLength::getRealValue(ZelValueUnitType unit) const {
  float factor = PointsPerUnit(unit);
  return factor == 0.0f ? kNaN : m_points / factor;
}

int ZelLength::getPixelCount(float dpi) const {
  return roundHalfAwayFromZero(static_cast<double>(dpi) * m_points / 72.0);
}

bool ZelLength::isZero() const { return std::isnan(m_points) || m_points == 0.0f; }
bool ZelLength::isNegative() const { return std::isnan(m_points) || m_points < 0.0f; }
bool ZelLength::isAuto() const { return std::isnan(m_points); }

bool ZelLength::isAlmostZero(float tolerance) const {
  return std::isnan(m_points) || (-tolerance < m_points && m_points < tolerance);
}

bool ZelLength::isAlmostZeroOrNegative(float tolerance) const {
  return std::isnan(m_points) || m_points < tolerance;
}

bool ZelLength::isAlmostEqual(const ZelLength& other, float tolerance) const {
  float difference = m_points - other.m_points;
  return std::isnan(difference) || (-tolerance < difference && difference < tolerance);
}

bool ZelLength::isInvalid() const {
  constexpr float kLimit = 100000 * PT_PER_MM;
  return std::isnan(m_points) || m_points < -kLimit || m_points > kLimit;
}

ZelLength& ZelLength::operator+=(const ZelLength& other) {
  if (!std::isnan(m_points)) m_points += other.m_points;
  return *this;
}

ZelLength& ZelLength::operator-=(const ZelLength& other) {
  if (!std::isnan(m_points)) m_points -= other.m_points;
  return *this;
}

ZelLength& ZelLength::operator*=(float factor) {
  if (!std::isnan(m_points)) m_points *= factor;
  return *this;
}

ZelLength& ZelLength::operator/=(float divisor) {
  if (!std::isnan(m_points)) m_points /= divisor;
  return *this;
}

}  // namespace ObraCommon
