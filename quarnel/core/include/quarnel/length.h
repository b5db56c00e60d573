// ZelLength: a length in points (1/72 inch) held as one float, NaN standing
// for the auto length (no length given); and the library-wide unit
// constants. Every part of the library converts units with these same float
// values, so conversions agree bit for bit wherever they are made.
#pragma once

#include "quarnel/export.h"
#include "quarnel/value_unit.h"

namespace ObraCommon {

// Each constant is computed in double precision from the stored float
// values it is defined by, then stored as float.
inline constexpr float JPT_PER_INCH = static_cast<float>(25.4 * 2.8457599);
inline constexpr float Q_PER_INCH = static_cast<float>(25.4 * 4);
inline constexpr float MM_PER_PT = static_cast<float>(25.4 / 72);
inline constexpr float MM_PER_PC = static_cast<float>(12 * static_cast<double>(MM_PER_PT));
inline constexpr float PT_PER_CM = static_cast<float>(72 * 10 / 25.4);
inline constexpr float PT_PER_MM = static_cast<float>(72 / 25.4);
inline constexpr float PT_PER_IN = 72.0f;
inline constexpr float PT_PER_PC = 12.0f;
inline constexpr float PT_PER_JPT = static_cast<float>(72 / static_cast<double>(JPT_PER_INCH));
inline constexpr float PT_PER_Q = static_cast<float>(72 / static_cast<double>(Q_PER_INCH));
inline constexpr float PT_PER_TWIP = 0.05f;

class ZelValue;

class QUARNEL_API ZelLength {
 public:
  ZelLength() : m_points(0.0f) {}
  ZelLength(float points) : m_points(points) {}
  // The value in the unit; NaN for a unit that is no absolute length this
  // class converts (jpt, the relative units and all others).
  ZelLength(float value, ZelValueUnitType unit);
  // The value's length in points; NaN for a value that is no length.
  explicit ZelLength(const ZelValue& value);

  operator float() const { return m_points; }
  // The length in the unit; NaN for a unit it does not convert.
  float getRealValue(ZelValueUnitType unit) const;
  // Device pixels at the resolution, rounded half away from zero. The auto
  // length counts 0 pixels; lengths beyond the int range count INT_MIN or
  // INT_MAX.
  int getPixelCount(float dpi) const;

  // In each predicate the auto length (NaN) answers true.
  bool isZero() const;
  bool isNegative() const;
  bool isAuto() const;
  bool isAlmostZero(float tolerance) const;
  bool isAlmostZeroOrNegative(float tolerance) const;
  bool isAlmostEqual(const ZelLength& other, float tolerance) const;
  // Beyond 100 m either way.
  bool isInvalid() const;

  // The auto length stays auto.
  ZelLength& operator+=(const ZelLength& other);
  ZelLength& operator-=(const ZelLength& other);
  ZelLength& operator*=(float factor);
  ZelLength& operator/=(float divisor);

  ZelLength operator+() const { return *this; }
  ZelLength operator-() const { return ZelLength(-m_points); }

  ZelLength operator+(double v) const { return ZelLength(static_cast<float>(m_points + v)); }
  ZelLength operator+(float v) const { return ZelLength(m_points + v); }
  ZelLength operator+(long v) const { return ZelLength(m_points + static_cast<float>(v)); }
  ZelLength operator-(double v) const { return ZelLength(static_cast<float>(m_points - v)); }
  ZelLength operator-(float v) const { return ZelLength(m_points - v); }
  ZelLength operator-(long v) const { return ZelLength(m_points - static_cast<float>(v)); }
  ZelLength operator*(double v) const { return ZelLength(static_cast<float>(m_points * v)); }
  ZelLength operator*(float v) const { return ZelLength(m_points * v); }
  ZelLength operator*(int v) const { return ZelLength(m_points * static_cast<float>(v)); }
  ZelLength operator*(long v) const { return ZelLength(m_points * static_cast<float>(v)); }
  ZelLength operator/(double v) const { return ZelLength(static_cast<float>(m_points / v)); }
  ZelLength operator/(float v) const { return ZelLength(m_points / v); }
  ZelLength operator/(int v) const { return ZelLength(m_points / static_cast<float>(v)); }
  ZelLength operator/(long v) const { return ZelLength(m_points / static_cast<float>(v)); }

 private:
  float m_points;
};

}  // namespace ObraCommon
