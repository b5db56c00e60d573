// Typed values: ownership of strings, objects and maps; equality and order
// across units; entries of compound values; conversions checked against
// each other; arithmetic by unit rules, including the integer and float
// edge cases that would otherwise be undefined; and the text of each kind.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cmath>
#include <limits>

#include "quarnel/builtin_names.h"
#include "quarnel/color.h"
#include "quarnel/value.h"
#include "support.h"

using namespace ObraCommon;
using quarnel_test::Counted;
using quarnel_test::Utf8;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

ZelName Red() { return ZelName(UnicodeString(u"red")); }

ZelValue Text(const char16_t* text, ZelValueUnitType unit = UNIT_NONE) { return ZelValue(UnicodeString(text), unit); }

TEST(ZelValue, LayoutAndTypeWords) {
  EXPECT_EQ(sizeof(ZelValue), 16u);
  struct Case {
    ZelValue value;
    ZelValueType kind;
    ZelValueUnitType unit;
  };
  const Case cases[] = {
      {ZelValue(), VALUE_NULL, UNIT_NONE},
      {ZelValue(7), VALUE_INTEGER, UNIT_NUMBER},
      {ZelValue(7L), VALUE_INTEGER, UNIT_NUMBER},
      {ZelValue(5000000000L), VALUE_REAL, UNIT_NUMBER},
      {ZelValue(ZelLength(3.0f)), VALUE_REAL, UNIT_PT},
      {ZelValue(true), VALUE_NAME, UNIT_NAME},
      {ZelValue(ZelColor(0x102030u)), VALUE_INTEGER, UNIT_COLOR},
      {ZelValue(static_cast<ZelRCObject*>(nullptr)), VALUE_NULL, UNIT_NONE},
      {ZelValue(static_cast<ZelNamedValueMap*>(nullptr)), VALUE_NULL, UNIT_NONE},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.value.getValueType(), c.kind) << Utf8(c.value.toString());
    EXPECT_EQ(c.value.getUnitType(), c.unit) << Utf8(c.value.toString());
  }
  EXPECT_EQ(ZelValue(5000000000L).getRealValue(UNIT_NUMBER), 5e9f);
  EXPECT_FALSE(ZelValue(static_cast<ZelRCObject*>(nullptr)).isRCObject());
}

TEST(ZelValue, StringCopiesAreIndependent) {
  ZelValue* first = new ZelValue(Text(u"abc", UNIT_LITERAL));
  ZelValue second(*first);
  ZelValue third;
  third = second;
  ZelValue& alias = third;
  third = alias;  // self-assignment keeps the text
  delete first;
  EXPECT_EQ(Utf8(second.getStringValue()), "abc");
  EXPECT_EQ(Utf8(third.toString()), "abc");
  EXPECT_TRUE(third.isLiteralString());
  third = ZelValue(4);
  EXPECT_EQ(Utf8(second.getStringValue()), "abc");
}

TEST(ZelValue, ObjectsAndMapsAreSharedByCount) {
  std::atomic<int> destroyed{0};
  Counted* object = new Counted(&destroyed);
  {
    ZelValue a(static_cast<ZelRCObject*>(object));
    EXPECT_EQ(object->getRefCount(), 1);
    ZelValue b(a);
    ZelValue c;
    c = b;
    ZelValue& alias = c;
    c = alias;
    EXPECT_EQ(object->getRefCount(), 3);
    EXPECT_EQ(Utf8(a.toString()), "##Counted");
    b = ZelValue(1);
    EXPECT_EQ(object->getRefCount(), 2);
    // An object inside a compound is held by the entry.
    ZelValue compound(2);
    compound.setNamedItem(ZelName(NAME_VALUE), a);
    EXPECT_EQ(object->getRefCount(), 3);
    ZelValue shared(compound);
    shared.setNamedItem(ZelName(NAME_NAME), ZelValue(9));
    EXPECT_EQ(compound.getNamedItem(ZelName(NAME_NAME)), ZelValue(9));
    EXPECT_EQ(compound.getNamedValueMap(), shared.getNamedValueMap());
    EXPECT_EQ(compound.getNamedValueMap()->getRefCount(), 2);
  }
  EXPECT_EQ(destroyed.load(), 1);
}

TEST(ZelValue, EqualityAndOrder) {
  const struct {
    ZelValue a;
    ZelValue b;
    bool equal;
    bool less;
  } cases[] = {
      {ZelValue(true), ZelValue(ZelName(NAME_TRUE)), true, false},
      {ZelValue(72.0f, UNIT_PT), ZelValue(1.0f, UNIT_IN), true, false},
      {ZelValue(5), ZelValue(5.0f), true, false},
      {Text(u"red"), ZelValue(Red()), true, false},
      {Text(u"a", UNIT_LITERAL), Text(u"a", UNIT_URI), false, true},
      {ZelValue(2), ZelValue(3.0f), false, true},
      {ZelValue(1.0f, UNIT_CM), ZelValue(1.0f, UNIT_DEG), false, true},
      {ZelValue(1.0f, UNIT_PERCENT), ZelValue(1.0f), false, false},
      {ZelValue(kNaN), ZelValue(kNaN), false, false},
      {ZelValue(INT_MIN), ZelValue(INT_MAX), false, true},
      {ZelValue(), Text(u""), false, true},
  };
  for (const auto& c : cases) {
    std::string what = Utf8(c.a.toString()) + " vs " + Utf8(c.b.toString());
    EXPECT_EQ(c.a == c.b, c.equal) << what;
    EXPECT_EQ(c.a != c.b, !c.equal) << what;
    EXPECT_EQ(c.a < c.b, c.less) << what;
    EXPECT_EQ(c.b > c.a, c.less) << what;
    EXPECT_EQ(c.a >= c.b, !c.less) << what;
  }
  EXPECT_TRUE(ZelValue(ZelName(NAME_YES)).isTrue());
  EXPECT_TRUE(ZelValue(ZelName(NAME_NO)).isFalse());
}

TEST(ZelValue, Entries) {
  ZelValue five(5);
  EXPECT_EQ(five.getNamedItem(ZelName()), ZelValue(5));
  EXPECT_TRUE(five.getNamedItem(ZelName(NAME_NAME)).isNull());
  five.setNamedItem(ZelName(NAME_NAME), ZelValue(3));
  ASSERT_TRUE(five.isCompound());
  EXPECT_EQ(five.getNamedValueMap()->getCount(), 2);
  EXPECT_EQ(five.getNamedItem(ZelName()), ZelValue(5));
  EXPECT_EQ(Utf8(five.toString()), "{.: 5; name: 3}");
  // A name beyond the 24 name bits cannot name an entry.
  five.setNamedItem(ZelName(ZelValue::MAX_ENTRY_NAME + 1), ZelValue(1));
  EXPECT_EQ(five.getNamedValueMap()->getCount(), 2);
  five.removeNamedItem(ZelName(NAME_NAME));
  EXPECT_EQ(five.getNamedValueMap()->getCount(), 1);
  ZelNamedValue entry(ZelValue(1), ZelName(NAME_NAME));
  entry.setName(ZelName(ZelValue::MAX_ENTRY_NAME + 1));
  EXPECT_EQ(entry.getName(), ZelName(NAME_NAME));
  entry.setValue(ZelNamedValue(Text(u"x"), ZelName(NAME_VALUE)));
  EXPECT_EQ(entry.getName(), ZelName(NAME_NAME));
  EXPECT_EQ(ZelNamedValue(entry.getValue(), ZelName()).getName(), ZelName());
  EXPECT_EQ(Utf8(entry.getStringValue()), "x");
}

TEST(ZelNamedValueMap, OrderRemovalCloneAndIteration) {
  ZelPtr<ZelNamedValueMap> map(new ZelNamedValueMap());
  EXPECT_TRUE(map->isA(0xE7D947B0u) && map->isA(0x90AF0240u) && map->isA(0xA4EBD8C4u));
  map->setNamedItem(ZelName(NAME_YELLOW), ZelValue(1));
  map->setNamedItem(ZelName(NAME_BLACK), ZelValue(2));
  map->setNamedItem(ZelName(), ZelValue(3));
  map->setNamedItem(ZelName(NAME_BLACK), ZelValue(4));
  ASSERT_EQ(map->getCount(), 3);
  EXPECT_EQ(map->item(0), ZelValue(3));
  EXPECT_EQ(map->item(1), ZelValue(4));
  EXPECT_EQ(map->item(2).getName(), ZelName(NAME_YELLOW));
  EXPECT_TRUE(map->item(-1).isNull() && map->item(3).isNull());
  map->removeNamedItem(ZelName(NAME_BLACK), ZelValue(5));
  map->removeNamedItem(ZelName(NAME_CYAN));
  EXPECT_EQ(map->getCount(), 3);
  std::vector<ZelNameEnum> forward, backward;
  ZelNamedValueMapIterator walk(map.get());
  while (walk.hasNext()) forward.push_back(walk.next().getName());
  walk.setToEnd();
  while (walk.hasPrevious()) backward.insert(backward.begin(), walk.previous().getName());
  EXPECT_EQ(forward, (std::vector<ZelNameEnum>{0, NAME_BLACK, NAME_YELLOW}));
  EXPECT_EQ(forward, backward);

  ZelValue inner(1);
  inner.setNamedItem(ZelName(NAME_NAME), ZelValue(2));
  map->setNamedItem(ZelName(NAME_VALUE), inner);
  ZelPtr<ZelNamedValueMap> copy = map->clone();
  copy->getNamedItem(ZelName(NAME_VALUE)).setNamedItem(ZelName(NAME_NAME), ZelValue(7));
  EXPECT_EQ(map->getNamedItem(ZelName(NAME_VALUE)).getNamedItem(ZelName(NAME_NAME)), ZelValue(7));
  copy->removeNamedItem(ZelName(NAME_BLACK));
  EXPECT_EQ(map->getCount(), 4);
  EXPECT_EQ(Utf8(ZelValue(static_cast<ZelRCObject*>(map.get())).toString()), "##ZelNamedValueMap");
}

constexpr ZelValueUnitType kUnits[] = {UNIT_NUMBER, UNIT_PERCENT, UNIT_EM, UNIT_EX,  UNIT_PX,  UNIT_CM,
                                       UNIT_MM,     UNIT_IN,      UNIT_PT, UNIT_PC,  UNIT_JPT, UNIT_Q,
                                       UNIT_DEG,    UNIT_RAD,     UNIT_GRAD, UNIT_MS, UNIT_S,  UNIT_HZ,
                                       UNIT_KHZ,    UNIT_CHAR,    UNIT_DPI, UNIT_TWIP};

TEST(ZelValue, ConversionsGoThereAndBack) {
  auto oneWay = [](ZelValueUnitType from, ZelValueUnitType to) {
    return (from == UNIT_PERCENT && (to == UNIT_NUMBER || to == UNIT_DPI)) || (from == UNIT_DPI && to == UNIT_NUMBER) ||
           (from == UNIT_NUMBER && to == UNIT_PERCENT);
  };
  int pairs = 0;
  for (ZelValueUnitType from : kUnits) {
    for (ZelValueUnitType to : kUnits) {
      if (from == to) continue;
      ZelValue value(3.5f, from);
      float there = value.getRealValue(to);
      if (oneWay(from, to)) {
        EXPECT_FALSE(std::isnan(there)) << from << " to " << to;
        continue;
      }
      if (std::isnan(there)) {
        if (!oneWay(to, from)) {
          EXPECT_TRUE(std::isnan(ZelValue(1.0f, to).getRealValue(from))) << from << " to " << to;
        }
        continue;
      }
      ++pairs;
      EXPECT_NEAR(ZelValue(there, to).getRealValue(from), 3.5f, 3.5e-5f) << from << " to " << to;
    }
  }
  EXPECT_EQ(pairs, 7 * 6 + 6 + 2 * 2);  // lengths, angles, times and frequencies
  EXPECT_FLOAT_EQ(ZelValue(50.0f, UNIT_PERCENT).getRealValue(UNIT_NUMBER), 0.5f);
  EXPECT_FLOAT_EQ(ZelValue(0.5f).getRealValue(UNIT_PERCENT), 50.0f);
  EXPECT_FLOAT_EQ(ZelValue(90.0f, UNIT_DEG).getRealValue(UNIT_GRAD), 100.0f);
  EXPECT_TRUE(std::isnan(ZelValue(1.0f, UNIT_PT).getRealValue(static_cast<ZelValueUnitType>(30))));
  for (ZelValueUnitType unit : kUnits) {
    ZelValue value(2.25f, unit);
    ZelValue normal(value);
    normal.normalizeUnit();
    float direct = value.getRealValue(UNIT_PT);
    float viaNormal = normal.getRealValue(UNIT_PT);
    EXPECT_TRUE(std::isnan(direct) ? std::isnan(viaNormal) : std::fabs(direct - viaNormal) < 1e-5f) << unit;
    float length = value.getLengthValue();
    EXPECT_TRUE(std::isnan(direct) ? std::isnan(length) : length == ZelLength(2.25f, unit)) << unit;
  }
  ZelValue record(1);
  record.setNamedItem(ZelName(NAME_LENGTH), ZelValue(10.0f, UNIT_PT));
  EXPECT_EQ(static_cast<float>(ZelLength(record)), 10.0f);
  EXPECT_EQ(ZelName(ZelValue(Red())), Red());
  EXPECT_EQ(ZelName(ZelValue(12)).toString(), UnicodeString(u"12"));
}

TEST(ZelValue, IntegerValueSaturates) {
  const struct {
    float real;
    int expected;
  } cases[] = {{2.5f, 3}, {-2.5f, -2}, {kNaN, 0}, {kInf, INT_MAX}, {-kInf, INT_MIN}, {1e30f, INT_MAX}, {-1e30f, INT_MIN}};
  for (const auto& c : cases) EXPECT_EQ(ZelValue(c.real).getIntegerValue(), c.expected) << c.real;
  EXPECT_EQ(ZelValue(Red()).getIntegerValue(), 0);
}

TEST(ZelValue, ArithmeticByUnitRules) {
  const struct {
    ZelValue result;
    ZelValue expected;
    const char* text;
  } cases[] = {
      {ZelValue(1.0f, UNIT_IN) + ZelValue(36.0f, UNIT_PT), ZelValue(108.0f, UNIT_PT), "108pt"},
      {ZelValue(3) + ZelValue(0.5f), ZelValue(3.5f), "3.5"},
      {ZelValue(1.0f, UNIT_PERCENT) + ZelValue(1), ZelValue(), ""},
      {ZelValue(2.0f, UNIT_PT) * ZelValue(3.0f, UNIT_PT), ZelValue(6.0f, UNIT_SQUARE_PT), "6"},
      {ZelValue(6.0f, UNIT_SQUARE_PT) / ZelValue(3.0f, UNIT_PT), ZelValue(2.0f, UNIT_PT), "2pt"},
      {ZelValue(6.0f, UNIT_SQUARE_PT) * ZelValue(1.0f, UNIT_PT), ZelValue(6.0f, UNIT_CUBIC_PT), "6"},
      {ZelValue(6.0f, UNIT_CUBIC_PT) / ZelValue(2.0f, UNIT_PT), ZelValue(3.0f, UNIT_SQUARE_PT), "3"},
      {ZelValue(6.0f, UNIT_PT) / ZelValue(2.0f, UNIT_PT), ZelValue(3.0f), "3"},
      {ZelValue(6) / ZelValue(2.0f, UNIT_PT), ZelValue(), ""},
      {ZelValue(50.0f, UNIT_PERCENT) * ZelValue(10.0f, UNIT_PT), ZelValue(5.0f, UNIT_PT), "5pt"},
      {ZelValue(1.0f, UNIT_DEG) * ZelValue(1.0f, UNIT_PT), ZelValue(), ""},
      {ZelValue(2.5f).round(), ZelValue(3.0f), "3"},
      {ZelValue(2.5f, UNIT_PT).round(), ZelValue(), ""},
      {ZelValue(-2.5f).floor(), ZelValue(-3.0f), "-3"},
      {ZelValue(-2.5f).ceiling(), ZelValue(-2.0f), "-2"},
      {ZelValue(7.5f) % ZelValue(2), ZelValue(1.5f), "1.5"},
      {ZelValue(-7) % ZelValue(2), ZelValue(-1), "-1"},
      // Integers wrap as 32-bit integers; a remainder by -1 is 0, by 0 null.
      {ZelValue(INT_MAX) + ZelValue(1), ZelValue(INT_MIN), "-2147483648"},
      {ZelValue(INT_MIN) - ZelValue(1), ZelValue(INT_MAX), "2147483647"},
      {-ZelValue(INT_MIN), ZelValue(INT_MIN), "-2147483648"},
      {ZelValue(INT_MIN).abs(), ZelValue(INT_MIN), "-2147483648"},
      {ZelValue(-4.0f, UNIT_MM).abs(), ZelValue(4.0f, UNIT_MM), "4mm"},
      {ZelValue(INT_MIN) % ZelValue(-1), ZelValue(0), "0"},
      {ZelValue(5) % ZelValue(0), ZelValue(), ""},
      {-Text(u"a"), ZelValue(), ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.result.getValueType(), c.expected.getValueType()) << c.text;
    EXPECT_EQ(c.result.getUnitType(), c.expected.getUnitType()) << c.text;
    EXPECT_TRUE(c.result == c.expected) << c.text;
    EXPECT_EQ(Utf8(c.result.toString()), c.text);
  }
}

TEST(ZelValue, TextOfEachKind) {
  const struct {
    ZelValue value;
    const char* text;
  } cases[] = {
      {ZelValue(12), "12"},
      {ZelValue(12.0f), "12"},
      {ZelValue(12.5f, UNIT_MM), "12.5mm"},
      {ZelValue(0.25f), "0.25"},
      {ZelValue(true), "true"},
      {Text(u"x y", UNIT_URI), "x y"},
      {ZelValue(ZelColor(0xFF0000u)), "#FF0000"},
      {ZelValue(), ""},
      {ZelValue(kNaN), "nan"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8(c.value.toString()), c.text);
  ZelValue letter(65);
  letter.setUnitType(UNIT_CHAR);
  EXPECT_EQ(Utf8(letter.toString()), "A");
  EXPECT_EQ(Utf8(ZelValue::getUnitString(UNIT_TWIP)), "twip");
  EXPECT_EQ(Utf8(ZelValue::getUnitString(UNIT_COLOR)), "");
}

TEST(ZelValue, ColourValues) {
  const ZelColor colours[] = {
      ZelColor(0x123456u),
      ZelColor(0.0f, 1.0f, 1.0f, 0.0f),
      ZelColor(0.5f),
      ZelColor(ZelColor(0xFFD700u), UnicodeString(u"Gold"), 0.5f),
      ZelColor(UnicodeString(u"Spot"), 0.25f, 0.1f, 0.2f, 0.3f, 0.4f),
      ZelColor(ZelColor(0x010203u), UnicodeString(u"#CMYK"), 0.1f, 0.2f, 0.3f, 0.4f),
  };
  for (const ZelColor& colour : colours) {
    ZelValue value(colour);
    EXPECT_TRUE(value.isColor()) << Utf8(colour.toString(false));
    EXPECT_TRUE(ZelColor(value) == colour) << Utf8(colour.toString(false));
    EXPECT_EQ(Utf8(value.toString()), Utf8(colour.toString(false)));
    ZelValue copy(value);
    EXPECT_TRUE(copy == value);
  }
  EXPECT_EQ(ZelValue(Red()).getColorValue().getRGB(), 0xFF0000u);
  EXPECT_TRUE(ZelValue(ZelName(NAME_NAME)).getColorValue().isTransparent());
  EXPECT_TRUE(Text(u"red").getColorValue().isTransparent());
}

}  // namespace
