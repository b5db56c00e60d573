// TransMatrix: a 2-D affine transformation, six floats in the order of a
// PDF or PostScript matrix. It maps (x, y) to (a·x + c·y + e, b·x + d·y + f),
// acting on row vectors [x y 1] as [[a b 0] [c d 0] [e f 1]]. ZelPointT is
// the point it maps, with float or length (ZelLength) coordinates.
#pragma once

#include "quarnel/export.h"
#include "quarnel/length.h"

namespace ObraCommon {

template <class T>
struct ZelPointT {
  ZelPointT(T x, T y) : x(x), y(y) {}
  T x;
  T y;
};

class QUARNEL_API TransMatrix {
 public:
  // The unit matrix.
  TransMatrix();
  TransMatrix(float a, float b, float c, float d, float e, float f);
  TransMatrix(const TransMatrix& other);
  TransMatrix& operator=(const TransMatrix& other);

  void init();
  // a and d exactly 1.0, b, c, e and f equal to 0 (-0.0 included).
  bool isUnitMatrix() const;
  bool operator==(const TransMatrix& other) const;
  bool operator!=(const TransMatrix& other) const;

  // This matrix applied first, then n.
  TransMatrix operator*(const TransMatrix& n) const;
  // The reverse order of operator*: m *= n makes m the product n * m
  // (n applied first, then m).
  TransMatrix& operator*=(const TransMatrix& n);
  // Inverts in place; a singular matrix becomes the unit matrix and the
  // answer is false.
  bool reverse();

  ZelPointT<float> translate(float x, float y) const;
  ZelPointT<float> translate(const ZelPointT<float>& p) const;
  // Both coordinates in points, the result in points.
  ZelPointT<ZelLength> translate(ZelLength x, ZelLength y) const;
  ZelPointT<ZelLength> translate(const ZelPointT<ZelLength>& p) const;

  float a;
  float b;
  float c;
  float d;
  float e;
  float f;
};

}  // namespace ObraCommon
