// TransMatrix: products, inversion and the mapping of points.
#include "quarnel/trans_matrix.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <utility>

namespace ObraCommon {

namespace {

// M × N in the row-vector form.
TransMatrix Product(const TransMatrix& m, const TransMatrix& n) {
  return TransMatrix(m.a * n.a + m.b * n.c, m.a * n.b + m.b * n.d, m.c * n.a + m.d * n.c, m.c * n.b + m.d * n.d,
                     m.e * n.a + m.f * n.c + n.e, m.e * n.b + m.f * n.d + n.f);
}

// Gauss-Jordan elimination of the 3×3 form, in double precision, dividing
// by the pivots in turn with no row exchange. A pivot counts as zero only
// when it is exactly 0. On success `out` holds the six affine entries of
// the inverse.
bool GaussJordanInverse(const double in[6], double out[6]) {
  double m[3][6] = {{in[0], in[1], 0, 1, 0, 0}, {in[2], in[3], 0, 0, 1, 0}, {in[4], in[5], 1, 0, 0, 1}};
  for (int pivot = 0; pivot < 3; ++pivot) {
    double p = m[pivot][pivot];
    if (p == 0.0) return false;
    for (int col = 0; col < 6; ++col) m[pivot][col] /= p;
    for (int row = 0; row < 3; ++row) {
      if (row == pivot) continue;
      double factor = m[row][pivot];
      if (factor == 0.0) continue;
      for (int col = 0; col < 6; ++col) m[row][col] -= factor * m[pivot][col];
    }
  }
  out[0] = m[0][3];
  out[1] = m[0][4];
  out[2] = m[1][3];
  out[3] = m[1][4];
  out[4] = m[2][3];
  out[5] = m[2][4];
  return true;
}

}  // namespace

TransMatrix::TransMatrix() : a(1), b(0), c(0), d(1), e(0), f(0) {}

TransMatrix::TransMatrix(float a, float b, float c, float d, float e, float f)
    : a(a), b(b), c(c), d(d), e(e), f(f) {}

TransMatrix::TransMatrix(const TransMatrix& other) = default;
TransMatrix& TransMatrix::operator=(const TransMatrix& other) = default;

void TransMatrix::init() { *this = TransMatrix(); }

bool TransMatrix::isUnitMatrix() const {
  const auto one = std::bit_cast<uint32_t>(1.0f);
  return std::bit_cast<uint32_t>(a) == one && std::bit_cast<uint32_t>(d) == one && b == 0 && c == 0 && e == 0 &&
         f == 0;
}

bool TransMatrix::operator==(const TransMatrix& o) const {
  return a == o.a && b == o.b && c == o.c && d == o.d && e == o.e && f == o.f;
}

bool TransMatrix::operator!=(const TransMatrix& o) const { return !(*this == o); }

TransMatrix TransMatrix::operator*(const TransMatrix& n) const { return Product(*this, n); }

TransMatrix& TransMatrix::operator*=(const TransMatrix& n) {
  *this = Product(n, *this);
  return *this;
}

bool TransMatrix::reverse() {
  double in[6] = {a, b, c, d, e, f};
  // With a = 0 the first pivot would be zero: exchange the rows (the
  // matrix becomes (c, d, -a, -b, e, f)) and undo it on the result.
  const bool exchanged = a == 0;
  if (exchanged) {
    in[0] = c;
    in[1] = d;
    in[2] = -static_cast<double>(a);
    in[3] = -static_cast<double>(b);
  }
  double out[6];
  if (!GaussJordanInverse(in, out)) {
    init();
    return false;
  }
  if (exchanged) {
    const double r[6] = {-out[1], out[0], -out[3], out[2], -out[5], out[4]};
    std::copy(r, r + 6, out);
  }
  *this = TransMatrix(static_cast<float>(out[0]), static_cast<float>(out[1]), static_cast<float>(out[2]),
                      static_cast<float>(out[3]), static_cast<float>(out[4]), static_cast<float>(out[5]));
  return true;
}

ZelPointT<float> TransMatrix::translate(float x, float y) const {
  return ZelPointT<float>(a * x + c * y + e, b * x + d * y + f);
}

ZelPointT<float> TransMatrix::translate(const ZelPointT<float>& p) const { return translate(p.x, p.y); }

ZelPointT<ZelLength> TransMatrix::translate(ZelLength x, ZelLength y) const {
  ZelPointT<float> mapped = translate(x.getRealValue(UNIT_PT), y.getRealValue(UNIT_PT));
  return ZelPointT<ZelLength>(ZelLength(mapped.x), ZelLength(mapped.y));
}

ZelPointT<ZelLength> TransMatrix::translate(const ZelPointT<ZelLength>& p) const { return translate(p.x, p.y); }

}  // namespace ObraCommon
