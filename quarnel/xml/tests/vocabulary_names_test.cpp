// The MathML and SVG vocabularies: lookups both ways over every word, the
// empty value, and the clean-up that empties the maps but keeps the words.
#include <gtest/gtest.h>

#include <functional>

#include "quarnel/mathml_name.h"
#include "quarnel/svg_name.h"
#include "quarnel/value.h"
#include "vocabulary_maps.h"

namespace {

using namespace ObraCommon;

ZelName Nm(const char16_t* text) { return ZelName(UnicodeString(text)); }

struct Table {
  const char* what;
  int32_t last;
  std::function<int32_t(ZelName)> byName;
  std::function<int32_t(const ZelValue&)> byValue;
  std::function<ZelName(int32_t)> word;
  VocabularyMap& (*map)();
  void (*cleanup)();
};

std::vector<Table> Tables() {
  return {
      {"MathML", MATHML_NAME_LAST, [](ZelName n) { return static_cast<int32_t>(MathMLName(n)); },
       [](const ZelValue& v) { return static_cast<int32_t>(MathMLName(v)); },
       [](int32_t i) { return MathMLName::toZelName(static_cast<MathMLNameEnum>(i)); }, &mathMLNameMap,
       &MathMLName::cleanup},
      {"SVG", SVG_NAME_LAST, [](ZelName n) { return static_cast<int32_t>(SVGName(n)); },
       [](const ZelValue& v) { return static_cast<int32_t>(SVGName(v)); },
       [](int32_t i) { return SVGName::toZelName(static_cast<SVGNameEnum>(i)); }, &svgNameMap, &SVGName::cleanup},
  };
}

TEST(VocabularyNames, EveryWordBothWays) {
  for (const Table& t : Tables()) {
    EXPECT_EQ(t.map().size(), static_cast<size_t>(t.last) + 1) << t.what;  // no word twice, the empty one at 0
    EXPECT_TRUE(t.word(0).isEmpty()) << t.what;
    EXPECT_TRUE(t.word(t.last + 1).isEmpty()) << t.what;
    EXPECT_TRUE(t.word(-1).isEmpty()) << t.what;
    EXPECT_EQ(t.byName(ZelName()), 0) << t.what;
    for (int32_t i = 1; i <= t.last; ++i) {
      ZelName word = t.word(i);
      ASSERT_FALSE(word.isEmpty()) << t.what << " " << i;
      EXPECT_EQ(t.byName(word), i) << t.what << " " << i;
      EXPECT_EQ(t.byValue(ZelValue(word.toString())), i) << t.what << " " << i;
    }
  }
}

TEST(VocabularyNames, KnownWords) {
  struct Case {
    const char16_t* word;
    int32_t mathml;
    int32_t svg;
  };
  const Case cases[] = {
      {u"mfrac", 101, 0}, {u"MFRAC", 0, 0},        {u"abs", 1, 0},         {u"other", 434, 0},
      {u"rect", 0, 2},    {u"mask", 0, 134},       {u"svg", 0, 1},         {u"number h-unit", 344, 0},
      {u"style", 266, 44}, {u"RECT", 0, 0},        {u"nothing-like-it", 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(static_cast<int32_t>(MathMLName(Nm(c.word))), c.mathml) << UnicodeString(c.word).length();
    EXPECT_EQ(static_cast<int32_t>(SVGName(Nm(c.word))), c.svg);
  }
  MathMLName empty;
  EXPECT_TRUE(empty.isEmpty());
  EXPECT_TRUE(static_cast<ZelName>(empty).isEmpty());
  MathMLName mfrac(Nm(u"mfrac"));
  EXPECT_EQ(static_cast<ZelName>(mfrac), Nm(u"mfrac"));
  EXPECT_TRUE(mfrac == static_cast<MathMLNameEnum>(101));
  EXPECT_TRUE(SVGName(Nm(u"unknown")).isEmpty());
}

TEST(VocabularyNames, CleanupEmptiesTheMapsAndKeepsTheWords) {
  for (const Table& t : Tables()) {
    VocabularyMap saved = t.map();
    int32_t probe = t.last / 2;
    ZelName word = t.word(probe);
    t.cleanup();
    t.cleanup();
    EXPECT_TRUE(t.map().empty()) << t.what;
    EXPECT_EQ(t.byName(word), 0) << t.what;
    EXPECT_EQ(t.word(probe), word) << t.what;
    t.map() = saved;
    EXPECT_EQ(t.byName(word), probe) << t.what;
  }
}

}  // namespace
