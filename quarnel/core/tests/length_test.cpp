// Lengths: unit conversions, the auto length in every predicate, pixel
// counts (including lengths no int can hold) and the rounding all the
// library's float-to-int conversions share.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "quarnel/length.h"
#include "rounding.h"

using namespace ObraCommon;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(ZelLength, UnitConversions) {
  const struct {
    float value;
    ZelValueUnitType unit;
    float points;
  } cases[] = {
      {1, UNIT_IN, 72}, {1, UNIT_CM, 28.346457f}, {1, UNIT_TWIP, 0.05f}, {4, UNIT_Q, 2.8346457f},
      {1, UNIT_MM, 2.8346457f}, {2, UNIT_PC, 24}, {3, UNIT_PT, 3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(static_cast<float>(ZelLength(c.value, c.unit)), c.points) << c.unit;
    EXPECT_FLOAT_EQ(ZelLength(c.points).getRealValue(c.unit), c.value) << c.unit;
  }
  EXPECT_FLOAT_EQ(ZelLength(72).getRealValue(UNIT_CM), 2.54f);
  for (ZelValueUnitType unit : {UNIT_JPT, UNIT_EM, UNIT_PX, UNIT_PERCENT}) {
    EXPECT_TRUE(ZelLength(1, unit).isAuto()) << unit;
    EXPECT_TRUE(std::isnan(ZelLength(72).getRealValue(unit))) << unit;
  }
}

TEST(ZelLength, PredicatesAndTheAutoLength) {
  const struct {
    float x;
    bool zero, negative, almostZero, almostZeroOrNegative, invalid;
  } cases[] = {
      {0, true, false, true, true, false},
      {0.009f, false, false, true, true, false},
      {0.01f, false, false, false, false, false},
      {-0.01f, false, true, false, true, false},
      {283464, false, false, false, false, false},
      {-283464, false, true, false, true, false},
      {300000, false, false, false, false, true},
      {kNaN, true, true, true, true, true},
  };
  for (const auto& c : cases) {
    ZelLength length(c.x);
    EXPECT_EQ(length.isZero(), c.zero) << c.x;
    EXPECT_EQ(length.isNegative(), c.negative) << c.x;
    EXPECT_EQ(length.isAlmostZero(0.01f), c.almostZero) << c.x;
    EXPECT_EQ(length.isAlmostZeroOrNegative(0.01f), c.almostZeroOrNegative) << c.x;
    EXPECT_EQ(length.isInvalid(), c.invalid) << c.x;
    EXPECT_EQ(length.isAuto(), std::isnan(c.x)) << c.x;
  }
  EXPECT_TRUE(ZelLength(1).isAlmostEqual(ZelLength(1.005f), 0.01f));
  EXPECT_FALSE(ZelLength(1).isAlmostEqual(ZelLength(1.5f), 0.01f));
  EXPECT_TRUE(ZelLength(kNaN).isAlmostEqual(ZelLength(1), 0.01f));
  EXPECT_TRUE(ZelLength(1).isAlmostEqual(ZelLength(kNaN), 0.01f));
}

TEST(ZelLength, ArithmeticKeepsTheAutoLength) {
  ZelLength length(kNaN);
  length += ZelLength(1);
  length *= 2;
  EXPECT_TRUE(length.isAuto());
  EXPECT_TRUE((ZelLength(kNaN) + 1.0).isAuto());

  ZelLength points(10);
  points += ZelLength(2);
  points -= ZelLength(1);
  points *= 3;
  points /= 2;
  EXPECT_EQ(static_cast<float>(points), 16.5f);
  EXPECT_EQ(static_cast<float>(-points), -16.5f);
  EXPECT_EQ(static_cast<float>(points * 2), 33);
  EXPECT_EQ(static_cast<float>(points / 3L), 5.5f);
  EXPECT_EQ(static_cast<float>(points - 0.5), 16);
}

TEST(ZelLength, PixelCounts) {
  const struct {
    float points;
    float dpi;
    int pixels;
  } cases[] = {
      {1, 96, 1},       {-1, 96, -1},         {0.375f, 96, 1},        {-0.375f, 96, -1},
      {72, 300, 300},   {kNaN, 96, 0},        {1e30f, 96, INT_MAX},   {-1e30f, 96, INT_MIN},
      {1, kNaN, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ZelLength(c.points).getPixelCount(c.dpi), c.pixels) << c.points;
}

// Under UndefinedBehaviorSanitizer (the asan preset) a conversion of NaN or
// of a value beyond the int range would stop the test.
TEST(Rounding, NaNAndValuesBeyondTheIntRange) {
  const struct {
    double value;
    int rounded;
  } cases[] = {
      {std::nan(""), 0},       {1e30, INT_MAX},          {-1e30, INT_MIN},     {2.5, 3},
      {-2.5, -3},              {-0.5, -1},               {0.49, 0},            {2147483647.0, INT_MAX},
      {2147483647.5, INT_MAX}, {-2147483648.0, INT_MIN}, {-2147483648.6, INT_MIN},
      {std::numeric_limits<double>::infinity(), INT_MAX},
  };
  for (const auto& c : cases) EXPECT_EQ(roundHalfAwayFromZero(c.value), c.rounded) << c.value;
}

}  // namespace
