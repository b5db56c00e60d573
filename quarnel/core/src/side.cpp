// Writing modes, sides and orientation. Every name is a built-in name and
// is compared by number; side-carrying property names are found among the
// built-in names, never added to the shared table.
#include "quarnel/side.h"

#include <cstdint>
#include <vector>

#include "quarnel/builtin_names.h"

namespace ObraCommon {

namespace {

struct ModeRow {
  ZelNameEnum name;
  ZelNameEnum inlineDirection;
  ZelNameEnum blockDirection;
  ZelNameEnum shiftDirection;
  ZelNameEnum pagingDirection;
};

const ModeRow MODES[8] = {
    {NAME_LR_TB, NAME_LEFT_TO_RIGHT, NAME_TOP_TO_BOTTOM, NAME_BOTTOM_TO_TOP, NAME_LEFT_TO_RIGHT},
    {NAME_RL_TB, NAME_RIGHT_TO_LEFT, NAME_TOP_TO_BOTTOM, NAME_BOTTOM_TO_TOP, NAME_RIGHT_TO_LEFT},
    {NAME_TB_RL, NAME_TOP_TO_BOTTOM, NAME_RIGHT_TO_LEFT, NAME_LEFT_TO_RIGHT, NAME_RIGHT_TO_LEFT},
    {NAME_BT_RL, NAME_BOTTOM_TO_TOP, NAME_RIGHT_TO_LEFT, NAME_LEFT_TO_RIGHT, NAME_RIGHT_TO_LEFT},
    {NAME_LR_BT, NAME_LEFT_TO_RIGHT, NAME_BOTTOM_TO_TOP, NAME_BOTTOM_TO_TOP, NAME_LEFT_TO_RIGHT},
    {NAME_RL_BT, NAME_RIGHT_TO_LEFT, NAME_BOTTOM_TO_TOP, NAME_BOTTOM_TO_TOP, NAME_RIGHT_TO_LEFT},
    {NAME_TB_LR, NAME_TOP_TO_BOTTOM, NAME_LEFT_TO_RIGHT, NAME_RIGHT_TO_LEFT, NAME_LEFT_TO_RIGHT},
    {NAME_BT_LR, NAME_BOTTOM_TO_TOP, NAME_LEFT_TO_RIGHT, NAME_RIGHT_TO_LEFT, NAME_LEFT_TO_RIGHT},
};

// By side index: before, after, start, end, top, bottom, left, right.
const ZelNameEnum SIDES[8] = {NAME_BEFORE, NAME_AFTER, NAME_START, NAME_END,
                              NAME_TOP,    NAME_BOTTOM, NAME_LEFT, NAME_RIGHT};

// The relative side index of each absolute side (top, bottom, left, right)
// in writing modes 0-7; toAbsolute reads it backwards, so the two always
// undo each other.
const int RELATIVE_OF[4][8] = {
    {0, 0, 2, 3, 1, 1, 2, 3},
    {1, 1, 3, 2, 0, 0, 3, 2},
    {2, 3, 1, 1, 2, 3, 0, 0},
    {3, 2, 0, 0, 3, 2, 1, 1},
};

int sideIndex(ZelNameEnum name) {
  for (int i = 0; i < 8; ++i)
    if (SIDES[i] == name) return i;
  return -1;
}

bool validMode(int index) { return index >= 0 && index <= 7; }

// How a base name and a side make a property name.
enum class Form { BorderPart, Prefix, Suffix };
struct BaseRule {
  ZelNameEnum base;
  const char16_t* text;
  Form form;
  bool absolute;  // takes top, bottom, left, right
  bool relative;  // takes before, after, start, end
};

const BaseRule BASES[] = {
    {NAME_BORDER_COLOR, u"color", Form::BorderPart, true, true},
    {NAME_BORDER_STYLE, u"style", Form::BorderPart, true, true},
    {NAME_BORDER_WIDTH, u"width", Form::BorderPart, true, true},
    {NAME_BORDER_PRECEDENCE, u"precedence", Form::BorderPart, false, true},
    {NAME_PADDING, u"padding", Form::Prefix, true, true},
    {NAME_MARGIN, u"margin", Form::Prefix, true, false},
    {NAME_SPACE, u"space", Form::Prefix, false, true},
    {NAME_POSITION, u"position", Form::Suffix, true, false},
    {NAME_REGION, u"region", Form::Prefix, false, true},
};

ZelNameEnum compose(const BaseRule& rule, int side) {
  if (!(side >= 4 ? rule.absolute : rule.relative)) return ZEL_NAME_EMPTY;
  const UnicodeString& sideText = ZelNameTable::getBuiltinNameString(SIDES[side]);
  UnicodeString text;
  switch (rule.form) {
    case Form::BorderPart:
      text = UnicodeString(u"border-") + sideText + u"-" + rule.text;
      break;
    case Form::Prefix:
      text = UnicodeString(rule.text) + u"-" + sideText;
      break;
    case Form::Suffix:
      text = sideText + u"-" + rule.text;
      break;
  }
  return ZelNameTable::getBuiltinNameEnum(text);
}

struct SideName {
  ZelNameEnum name;
  int side;
  ZelNameEnum base;
};

const std::vector<SideName>& sideNames() {
  static const std::vector<SideName> names = [] {
    std::vector<SideName> all;
    for (const BaseRule& rule : BASES)
      for (int side = 0; side < 8; ++side) {
        ZelNameEnum name = compose(rule, side);
        if (name != ZEL_NAME_EMPTY) all.push_back({name, side, rule.base});
      }
    return all;
  }();
  return names;
}

const SideName* findSideName(ZelNameEnum name) {
  for (const SideName& entry : sideNames())
    if (entry.name == name) return &entry;
  return nullptr;
}

}  // namespace

// Writing modes.

ZelWritingMode::ZelWritingMode(const ZelName& name) : m_index(0) {
  if (name == NAME_RL) m_index = 1;
  if (name == NAME_TB) m_index = 2;
  for (int i = 0; i < 8; ++i)
    if (MODES[i].name == name) m_index = i;
}

ZelWritingMode::ZelWritingMode(const ZelValue& value) : ZelWritingMode(ZelName(value.toZelName())) {}

ZelWritingMode::ZelWritingMode(const ZelName& first, const ZelName& direction) : m_index(0) {
  bool vertical;
  bool flipped;  // bottom-to-top or left-to-right blocks
  if (first == NAME_LR_TB || first == NAME_RL_TB || first == NAME_TOP_TO_BOTTOM) {
    vertical = false;
    flipped = false;
  } else if (first == NAME_LR_BT || first == NAME_RL_BT || first == NAME_BOTTOM_TO_TOP) {
    vertical = false;
    flipped = true;
  } else if (first == NAME_TB_RL || first == NAME_BT_RL || first == NAME_RIGHT_TO_LEFT) {
    vertical = true;
    flipped = false;
  } else if (first == NAME_TB_LR || first == NAME_BT_LR || first == NAME_LEFT_TO_RIGHT) {
    vertical = true;
    flipped = true;
  } else {
    return;
  }
  bool reversed = direction == NAME_RTL || direction == (vertical ? NAME_BOTTOM_TO_TOP : NAME_RIGHT_TO_LEFT);
  m_index = (reversed ? 1 : 0) | (vertical ? 2 : 0) | (flipped ? 4 : 0);
}

ZelName ZelWritingMode::getName() const { return ZelName(MODES[row()].name); }
ZelName ZelWritingMode::getIPDirection() const { return ZelName(MODES[row()].inlineDirection); }
ZelName ZelWritingMode::getBPDirection() const { return ZelName(MODES[row()].blockDirection); }
ZelName ZelWritingMode::getShiftDirection() const { return ZelName(MODES[row()].shiftDirection); }
ZelName ZelWritingMode::getPagingDirection() const { return ZelName(MODES[row()].pagingDirection); }

bool ZelWritingMode::isLTR() const { return getIPDirection() == NAME_LEFT_TO_RIGHT; }
bool ZelWritingMode::isRTL() const { return getIPDirection() == NAME_RIGHT_TO_LEFT; }
bool ZelWritingMode::isTTB() const { return getIPDirection() == NAME_TOP_TO_BOTTOM; }
bool ZelWritingMode::isBTT() const { return getIPDirection() == NAME_BOTTOM_TO_TOP; }

bool ZelWritingMode::pagesRightToLeft() const { return getPagingDirection() == NAME_RIGHT_TO_LEFT; }

ZelName ZelWritingMode::leftRight2oddEven(const ZelName& name) const {
  bool rtl = pagesRightToLeft();
  if (name == NAME_LEFT) return ZelName(rtl ? NAME_ODD : NAME_EVEN);
  if (name == NAME_RIGHT) return ZelName(rtl ? NAME_EVEN : NAME_ODD);
  return name;
}

ZelName ZelWritingMode::oddEven2leftRight(const ZelName& name) const {
  bool rtl = pagesRightToLeft();
  if (name == NAME_EVEN) return ZelName(rtl ? NAME_RIGHT : NAME_LEFT);
  if (name == NAME_ODD) return ZelName(rtl ? NAME_LEFT : NAME_RIGHT);
  return name;
}

bool ZelWritingMode::isPerpendicularTo(const ZelWritingMode& other, const ZelOrientation& orientation) const {
  bool quarter = orientation.isPerpendicular();
  return isVerticalText() == other.isVerticalText() ? quarter : !quarter;
}

// Orientation.

ZelOrientation::ZelOrientation(int degrees) {
  // In 64 bits: adding 45 to a value near the int limits must not wrap.
  int64_t d = degrees;
  d += d >= 0 ? 45 : -45;
  int64_t quarters = d / 90;
  m_degrees = static_cast<int>(quarters & 3) * 90;
}

ZelOrientation::ZelOrientation(const ZelValue& value) : ZelOrientation(value.getIntegerValue()) {}

// Sides.

ZelSide::ZelSide(Index index) : m_name(index >= 0 && index <= 7 ? SIDES[index] : ZEL_NAME_EMPTY) {}

int ZelSide::getIndex() const { return sideIndex(m_name); }
bool ZelSide::isAbsolute() const { return getIndex() >= 4; }
bool ZelSide::isRelative() const { return getIndex() >= 0 && getIndex() < 4; }
bool ZelSide::isInline() const { return m_name == NAME_START || m_name == NAME_END; }
bool ZelSide::isBlock() const { return m_name == NAME_BEFORE || m_name == NAME_AFTER; }
bool ZelSide::isHorizontal() const { return m_name == NAME_LEFT || m_name == NAME_RIGHT; }
bool ZelSide::isVertical() const { return m_name == NAME_TOP || m_name == NAME_BOTTOM; }

ZelSide ZelSide::toRelative(const ZelWritingMode& mode) const {
  int side = getIndex();
  if (side >= 0 && side < 4) return *this;
  if (side < 0 || !validMode(mode.getIndex())) return ZelSide();
  return ZelSide(static_cast<Index>(RELATIVE_OF[side - 4][mode.getIndex()]));
}

ZelSide ZelSide::toAbsolute(const ZelWritingMode& mode) const {
  int side = getIndex();
  if (side >= 4) return *this;
  if (side < 0 || !validMode(mode.getIndex())) return ZelSide();
  for (int absolute = 0; absolute < 4; ++absolute)
    if (RELATIVE_OF[absolute][mode.getIndex()] == side) return ZelSide(static_cast<Index>(absolute + 4));
  return ZelSide();
}

ZelSide ZelSide::toOpposite() const {
  int side = getIndex();
  // The sides come in pairs of neighbouring indices.
  return side < 0 ? ZelSide() : ZelSide(static_cast<Index>(side ^ 1));
}

ZelSide ZelSide::rotate(const ZelOrientation& orientation) const {
  int degrees = orientation;
  if (degrees == 180) return toOpposite();
  if (degrees != 90 && degrees != 270) return *this;
  // A quarter turn moves each absolute side to the next in this ring; 270
  // goes the other way round.
  static const Index RING[4] = {TOP, LEFT, BOTTOM, RIGHT};
  for (int i = 0; i < 4; ++i)
    if (m_name == SIDES[RING[i]]) return ZelSide(RING[(i + (degrees == 90 ? 1 : 3)) % 4]);
  return *this;
}

ZelName ZelSide::concatName(const ZelName& base) const {
  int side = getIndex();
  if (side < 0) return ZelName();
  for (const BaseRule& rule : BASES) {
    // "margin" and "space" name the same four properties for either kind of side.
    bool marginOrSpace = rule.base == NAME_MARGIN || rule.base == NAME_SPACE;
    if (rule.base == base || (marginOrSpace && (base == NAME_MARGIN || base == NAME_SPACE))) {
      ZelNameEnum name = compose(rule, side);
      if (name != ZEL_NAME_EMPTY) return ZelName(name);
    }
  }
  return ZelName();
}

ZelSide ZelSide::getSideFromName(const ZelName& name) {
  const SideName* entry = findSideName(name);
  return entry == nullptr ? ZelSide() : ZelSide(static_cast<Index>(entry->side));
}

ZelName ZelSide::removeSideFromName(const ZelName& name) {
  const SideName* entry = findSideName(name);
  return entry == nullptr ? ZelName() : ZelName(entry->base);
}

ZelName ZelSide::toRelativeName(const ZelName& name, const ZelWritingMode& mode) {
  bool vertical = mode.isVerticalText();
  if (name == NAME_HEIGHT || name == NAME_MIN_HEIGHT || name == NAME_MAX_HEIGHT)
    return ZelName(vertical ? NAME_INLINE_PROGRESSION_DIMENSION : NAME_BLOCK_PROGRESSION_DIMENSION);
  if (name == NAME_WIDTH || name == NAME_MIN_WIDTH || name == NAME_MAX_WIDTH)
    return ZelName(vertical ? NAME_BLOCK_PROGRESSION_DIMENSION : NAME_INLINE_PROGRESSION_DIMENSION);
  return getSideFromName(name).toRelative(mode).concatName(removeSideFromName(name));
}

ZelName ZelSide::toAbsoluteName(const ZelName& name, const ZelWritingMode& mode) {
  bool vertical = mode.isVerticalText();
  if (name == NAME_BLOCK_PROGRESSION_DIMENSION) return ZelName(vertical ? NAME_WIDTH : NAME_HEIGHT);
  if (name == NAME_INLINE_PROGRESSION_DIMENSION) return ZelName(vertical ? NAME_HEIGHT : NAME_WIDTH);
  return getSideFromName(name).toAbsolute(mode).concatName(removeSideFromName(name));
}

}  // namespace ObraCommon
