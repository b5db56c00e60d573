// Page geometry in the vocabulary of XSL formatting objects: the eight
// writing modes, the four absolute and four relative sides of a box (with
// the property names that carry a side) and the reference orientation.
//
// A name number and an int are one type here, so the constructors from an
// int take the index (writing mode) or the degrees (orientation); a side or
// a writing mode is made from a name through ZelName.
#pragma once

#include "quarnel/export.h"
#include "quarnel/name.h"
#include "quarnel/value.h"

namespace ObraCommon {

class ZelOrientation;

class QUARNEL_API ZelWritingMode {
 public:
  ZelWritingMode() : m_index(0) {}
  // Stored as given; an index outside 0-7 reads as 0 wherever a table row
  // is needed.
  explicit ZelWritingMode(int index) : m_index(index) {}
  // "lr-tb", "rl-tb", "tb-rl", "bt-rl", "lr-bt", "rl-bt", "tb-lr", "bt-lr",
  // and "rl" and "tb" for 1 and 2; any other name is 0.
  explicit ZelWritingMode(const ZelName& name);
  explicit ZelWritingMode(const ZelValue& value);
  // A writing mode or block-progression direction, then the inline
  // direction ("rtl", "right-to-left", "bottom-to-top" reverse it).
  ZelWritingMode(const ZelName& first, const ZelName& direction);

  int getIndex() const { return m_index; }
  ZelName getName() const;
  operator ZelNameEnum() const { return getName(); }
  operator ZelValue() const { return ZelValue(getName()); }

  ZelName getIPDirection() const;
  ZelName getBPDirection() const;
  ZelName getShiftDirection() const;
  ZelName getPagingDirection() const;

  bool isLTR() const;
  bool isRTL() const;
  bool isTTB() const;
  bool isBTT() const;
  bool isRtlOrBtt() const { return (row() & 1) != 0; }
  bool isVerticalText() const { return (row() & 2) != 0; }
  bool isBPDirLtrOrBtt() const { return (row() & 4) != 0; }
  bool isBPDirRtlOrBtt() const { return ((row() >> 1) & 1) != ((row() >> 2) & 1); }

  // "left"/"right" to "odd"/"even" pages and back, by the paging direction;
  // other names unchanged.
  ZelName leftRight2oddEven(const ZelName& name) const;
  ZelName oddEven2leftRight(const ZelName& name) const;
  bool isPerpendicularTo(const ZelWritingMode& other, const ZelOrientation& orientation) const;

 private:
  int row() const { return m_index >= 0 && m_index <= 7 ? m_index : 0; }
  bool pagesRightToLeft() const;

  int m_index;
};

class QUARNEL_API ZelOrientation {
 public:
  ZelOrientation() : m_degrees(0) {}
  // Rounded to the nearest quarter turn, halves away from zero, then taken
  // into 0, 90, 180 or 270.
  ZelOrientation(int degrees);
  explicit ZelOrientation(const ZelValue& value);

  operator int() const { return m_degrees; }
  operator ZelValue() const { return ZelValue(m_degrees); }
  bool isPerpendicular() const { return m_degrees == 90 || m_degrees == 270; }

 private:
  int m_degrees;
};

class QUARNEL_API ZelSide {
 public:
  // Side indices.
  enum Index : int { BEFORE = 0, AFTER = 1, START = 2, END = 3, TOP = 4, BOTTOM = 5, LEFT = 6, RIGHT = 7 };

  ZelSide() : m_name(ZEL_NAME_EMPTY) {}
  // Any name is kept as it is.
  ZelSide(const ZelName& name) : m_name(name) {}
  // The side of an index; any other index gives the empty name.
  ZelSide(Index index);

  int getIndex() const;
  ZelName getName() const { return ZelName(m_name); }
  operator ZelNameEnum() const { return m_name; }
  operator ZelValue() const { return ZelValue(getName()); }

  bool isAbsolute() const;
  bool isRelative() const;
  bool isInline() const;
  bool isBlock() const;
  bool isHorizontal() const;
  bool isVertical() const;

  // Relative sides stay under toRelative, absolute ones under toAbsolute;
  // what is no side, or a mode outside 0-7, gives the empty name.
  ZelSide toRelative(const ZelWritingMode& mode) const;
  ZelSide toAbsolute(const ZelWritingMode& mode) const;
  ZelSide toOpposite() const;
  ZelSide rotate(const ZelOrientation& orientation) const;

  // The property name of this side with base ("border-color", "padding",
  // "margin", "space", "position", "region", ...); the empty name for a
  // pair that has none.
  ZelName concatName(const ZelName& base) const;
  static ZelSide getSideFromName(const ZelName& name);
  static ZelName removeSideFromName(const ZelName& name);
  static ZelName toRelativeName(const ZelName& name, const ZelWritingMode& mode);
  static ZelName toAbsoluteName(const ZelName& name, const ZelWritingMode& mode);

 private:
  ZelNameEnum m_name;
};

}  // namespace ObraCommon
