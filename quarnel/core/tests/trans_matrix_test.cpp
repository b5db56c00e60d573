// The transformation matrix: products in both orders, inversion (checked
// against an inverse computed in long double) and the mapping of points.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "quarnel/trans_matrix.h"

using ObraCommon::TransMatrix;
using ObraCommon::UNIT_CM;
using ObraCommon::UNIT_PT;
using ObraCommon::ZelLength;
using ObraCommon::ZelPointT;

namespace {

void ExpectMatrix(const TransMatrix& m, const TransMatrix& expected) {
  EXPECT_TRUE(m == expected) << m.a << " " << m.b << " " << m.c << " " << m.d << " " << m.e << " " << m.f;
}

TEST(TransMatrix, UnitMatrices) {
  EXPECT_TRUE(TransMatrix().isUnitMatrix());
  EXPECT_TRUE(TransMatrix(1, 0, 0, 1, 0, -0.0f).isUnitMatrix());
  EXPECT_FALSE(TransMatrix(1, 0, 0, 1, 0, 1e-30f).isUnitMatrix());
  TransMatrix m(2, 3, 4, 5, 6, 7);
  EXPECT_TRUE(m != TransMatrix());
  m.init();
  EXPECT_TRUE(m.isUnitMatrix());
}

TEST(TransMatrix, ProductsInBothOrders) {
  const TransMatrix t(1, 0, 0, 1, 10, 0);
  const TransMatrix s(2, 0, 0, 2, 0, 0);
  ZelPointT<float> p = (t * s).translate(1, 0);
  EXPECT_EQ(p.x, 22);
  EXPECT_EQ(p.y, 0);
  TransMatrix m = t;
  m *= s;
  ExpectMatrix(m, s * t);
  EXPECT_EQ(m.translate(ZelPointT<float>(1, 0)).x, 12);

  // A full product, entry by entry.
  ExpectMatrix(TransMatrix(1, 2, 3, 4, 5, 6) * TransMatrix(7, 8, 9, 10, 11, 12),
               TransMatrix(25, 28, 57, 64, 100, 112));
}

TEST(TransMatrix, RandomInversionsMatchALongDoubleInverse) {
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> entry(-9, 9);
  int checked = 0;
  while (checked < 10000) {
    long double v[6];
    for (long double& x : v) x = entry(random);
    long double det = v[0] * v[3] - v[1] * v[2];
    TransMatrix m{static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2]),
                  static_cast<float>(v[3]), static_cast<float>(v[4]), static_cast<float>(v[5])};
    if (det == 0) {
      EXPECT_FALSE(m.reverse());
      EXPECT_TRUE(m.isUnitMatrix());
      continue;
    }
    ++checked;
    const long double inverse[6] = {v[3] / det,
                                    -v[1] / det,
                                    -v[2] / det,
                                    v[0] / det,
                                    (v[2] * v[5] - v[3] * v[4]) / det,
                                    (v[1] * v[4] - v[0] * v[5]) / det};
    long double largest = 0;
    for (long double x : inverse) largest = std::max(largest, std::fabs(x));
    ASSERT_TRUE(m.reverse());
    const float got[6] = {m.a, m.b, m.c, m.d, m.e, m.f};
    for (int i = 0; i < 6; ++i)
      ASSERT_LE(std::fabs(got[i] - inverse[i]), 1e-5L * largest)
          << "entry " << i << " of the inverse of " << v[0] << " " << v[1] << " " << v[2] << " " << v[3] << " "
          << v[4] << " " << v[5];
  }
}

TEST(TransMatrix, MapsLengthsInPoints) {
  ZelPointT<ZelLength> p = TransMatrix().translate(ZelLength(1, UNIT_CM), ZelLength(0, UNIT_PT));
  EXPECT_FLOAT_EQ(static_cast<float>(p.x), 720 / 25.4f);
  EXPECT_EQ(static_cast<float>(p.y), 0);
  ZelPointT<ZelLength> q = TransMatrix(2, 0, 0, 3, 1, 1).translate(ZelPointT<ZelLength>(ZelLength(2), ZelLength(4)));
  EXPECT_EQ(static_cast<float>(q.x), 5);
  EXPECT_EQ(static_cast<float>(q.y), 13);
}

}  // namespace
