// Writing modes, sides and orientation, checked against each other: the two
// side conversions undo each other, "start" and "before" lie where the
// directions of the writing mode begin, and property names split and join.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "quarnel/builtin_names.h"
#include "quarnel/side.h"
#include "support.h"

namespace {

using ObraCommon::UnicodeString;
using ObraCommon::ZelName;
using ObraCommon::ZelOrientation;
using ObraCommon::ZelSide;
using ObraCommon::ZelWritingMode;

ZelName N(const char16_t* text) { return ZelName(UnicodeString(text)); }
std::string T(const ZelName& name) { return quarnel_test::Utf8(name.toString()); }

TEST(ZelSide, RelativeAndAbsoluteUndoEachOther) {
  for (int mode = 0; mode < 8; ++mode) {
    ZelWritingMode m(mode);
    for (int i = 0; i < 8; ++i) {
      ZelSide side(static_cast<ZelSide::Index>(i));
      ZelSide there = side.isAbsolute() ? side.toRelative(m) : side.toAbsolute(m);
      EXPECT_NE(there.getIndex(), -1);
      EXPECT_EQ(there.isAbsolute(), side.isRelative());
      EXPECT_EQ(side.isAbsolute() ? there.toAbsolute(m) : there.toRelative(m), side) << mode << " " << i;
      // Converting a side to the kind it already is keeps it.
      EXPECT_EQ(side.isAbsolute() ? side.toAbsolute(m) : side.toRelative(m), side);
    }
    // start is where the inline progression begins, before where the block
    // progression begins: "left-to-right" begins at the left.
    auto beginning = [](const ZelName& direction) {
      std::string text = T(direction);
      return N(UnicodeString::fromUTF8(text.substr(0, text.find('-'))).getTerminatedBuffer());
    };
    EXPECT_EQ(ZelSide(ZelSide::START).toAbsolute(m).getName(), beginning(m.getIPDirection())) << mode;
    EXPECT_EQ(ZelSide(ZelSide::BEFORE).toAbsolute(m).getName(), beginning(m.getBPDirection())) << mode;
    EXPECT_TRUE(ZelSide(ZelSide::TOP).toRelative(ZelWritingMode(8)).getName().isEmpty());
  }
}

TEST(ZelSide, PropertyNamesSplitAndJoin) {
  const char16_t* bases[] = {u"border-color", u"border-style", u"border-width", u"border-precedence", u"padding",
                             u"margin",       u"space",        u"position",     u"region"};
  int names = 0;
  for (const char16_t* base : bases) {
    for (int i = 0; i < 8; ++i) {
      ZelSide side(static_cast<ZelSide::Index>(i));
      ZelName name = side.concatName(N(base));
      if (name.isEmpty()) continue;
      ++names;
      EXPECT_EQ(ZelSide::getSideFromName(name), side) << T(name);
      EXPECT_EQ(ZelSide::getSideFromName(name).concatName(ZelSide::removeSideFromName(name)), name) << T(name);
      if (!side.isAbsolute() || T(name).find("position") != std::string::npos) continue;
      for (int mode = 0; mode < 8; ++mode) {
        ZelWritingMode m(mode);
        ZelName relative = ZelSide::toRelativeName(name, m);
        EXPECT_TRUE(ZelSide::getSideFromName(relative).isRelative()) << T(name) << " " << mode;
        EXPECT_EQ(ZelSide::toAbsoluteName(relative, m), name) << T(name) << " " << mode;
      }
    }
  }
  // Every side with border colour, style, width and padding; four with each other base; margin and space
  // name the same eight properties.
  EXPECT_EQ(names, 4 * 8 + 4 + 8 + 8 + 4 + 4);
  for (const char16_t* dimension : {u"width", u"height", u"min-width", u"max-height"})
    for (int mode = 0; mode < 8; ++mode) {
      ZelWritingMode m(mode);
      ZelName relative = ZelSide::toRelativeName(N(dimension), m);
      std::string plain = T(N(dimension)).substr(T(N(dimension)).find('-') == 3 ? 4 : 0);
      EXPECT_EQ(T(ZelSide::toAbsoluteName(relative, m)), plain) << mode;
    }
}

TEST(ZelSide, EdgeCases) {
  struct Row {
    std::string got;
    std::string expected;
  } rows[] = {
      {std::to_string(ZelWritingMode(N(u"lr")).getIndex()), "0"},
      {std::to_string(ZelWritingMode(N(u"rl")).getIndex()), "1"},
      {std::to_string(ZelWritingMode(N(u"tb")).getIndex()), "2"},
      {std::to_string(ZelWritingMode(N(u"sideways")).getIndex()), "0"},
      {std::to_string(ZelWritingMode(N(u"top-to-bottom"), N(u"rtl")).getIndex()), "1"},
      {std::to_string(ZelWritingMode(N(u"right-to-left"), N(u"ltr")).getIndex()), "2"},
      {std::to_string(ZelWritingMode(N(u"left-to-right"), N(u"bottom-to-top")).getIndex()), "7"},
      {std::to_string(ZelWritingMode(N(u"rl"), N(u"rtl")).getIndex()), "0"},
      {T(ZelWritingMode(2).leftRight2oddEven(N(u"left"))), "odd"},
      {T(ZelWritingMode(0).leftRight2oddEven(N(u"left"))), "even"},
      {T(ZelWritingMode(0).leftRight2oddEven(N(u"top"))), "top"},
      {T(ZelWritingMode(5).oddEven2leftRight(N(u"odd"))), "left"},
      {T(ZelWritingMode(99).getName()), "lr-tb"},
      {T(ZelWritingMode(-3).getBPDirection()), "top-to-bottom"},
      {std::to_string(ZelWritingMode(0).isPerpendicularTo(ZelWritingMode(2), 0)), "1"},
      {std::to_string(ZelWritingMode(0).isPerpendicularTo(ZelWritingMode(2), 90)), "0"},
      {std::to_string(ZelSide(static_cast<ZelSide::Index>(8)).getIndex()), "-1"},
      {std::to_string(ZelSide(static_cast<ZelSide::Index>(-1)).getIndex()), "-1"},
      {T(ZelSide(ZelSide::TOP).toRelative(ZelWritingMode(3)).getName()), "end"},
      {T(ZelSide(ZelSide::END).toAbsolute(ZelWritingMode(3)).getName()), "top"},
      {T(ZelSide(ZelSide::BEFORE).rotate(90).getName()), "before"},
      {T(ZelSide(ZelSide::BEFORE).rotate(180).getName()), "after"},
      {T(ZelSide(ZelSide::RIGHT).rotate(90).getName()), "top"},
      {T(ZelSide(ZelSide::TOP).rotate(270).getName()), "right"},
      {T(ZelSide(N(u"middle")).rotate(180).getName()), ""},
      {T(ZelSide(ZelSide::LEFT).concatName(N(u"border-precedence"))), ""},
      {T(ZelSide(ZelSide::BEFORE).concatName(N(u"margin"))), "space-before"},
      {T(ZelSide(ZelSide::TOP).concatName(N(u"space"))), "margin-top"},
      {T(ZelSide::toRelativeName(N(u"min-width"), ZelWritingMode(6))), "block-progression-dimension"},
      {T(ZelSide::toRelativeName(N(u"padding-left"), ZelWritingMode(0))), "padding-start"},
      {T(ZelSide::toRelativeName(N(u"margin-top"), ZelWritingMode(0))), "space-before"},
      {T(ZelSide::toAbsoluteName(N(u"space-before"), ZelWritingMode(2))), "margin-right"},
      {T(ZelSide::toRelativeName(N(u"color"), ZelWritingMode(0))), ""},
      {std::to_string(ZelOrientation(-45)), "270"},
      {std::to_string(ZelOrientation(44)), "0"},
      {std::to_string(ZelOrientation(-44)), "0"},
      {std::to_string(ZelOrientation(45)), "90"},
      {std::to_string(ZelOrientation(-90)), "270"},
      {std::to_string(ZelOrientation(135)), "180"},
      {std::to_string(ZelOrientation(405)), "90"},
      // At the int limits: (2147483647 + 45) / 90 = 23860929, and
      // (-2147483648 - 45) / 90 = -23860929, both exact in 64 bits.
      {std::to_string(ZelOrientation(INT_MAX)), std::to_string((23860929 & 3) * 90)},
      {std::to_string(ZelOrientation(INT_MIN)), std::to_string((-23860929 & 3) * 90)},
      {std::to_string(ZelOrientation(ObraCommon::ZelValue(3.0e9f, ObraCommon::UNIT_NUMBER))),
       std::to_string((23860929 & 3) * 90)},
  };
  int row = 0;
  for (const Row& r : rows) EXPECT_EQ(r.got, r.expected) << "row " << row++;
}

}  // namespace
