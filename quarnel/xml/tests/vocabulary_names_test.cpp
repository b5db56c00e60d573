// The clean-up of the MathML and SVG reverse maps: it empties a filled map,
// is harmless on an empty one, and leaves a map that can be filled again.
#include <gtest/gtest.h>

#include "quarnel/mathml_name.h"
#include "quarnel/svg_name.h"
#include "vocabulary_maps.h"

namespace {

using icu::UnicodeString;

TEST(VocabularyNames, CleanupEmptiesTheMapsAndRunsTwice) {
  struct Case {
    const char* what;
    ObraCommon::VocabularyMap& map;
    void (*cleanup)();
  };
  const Case cases[] = {
      {"MathML", ObraCommon::mathMLNameMap(), &ObraCommon::MathMLName::cleanup},
      {"SVG", ObraCommon::svgNameMap(), &ObraCommon::SVGName::cleanup},
  };
  for (const Case& c : cases) {
    c.cleanup();
    c.cleanup();
    EXPECT_TRUE(c.map.empty()) << c.what;
    c.map.emplace(UnicodeString(u"mfrac"), 101);
    c.map.emplace(UnicodeString(u"rect"), 2);
    c.cleanup();
    EXPECT_TRUE(c.map.empty()) << c.what;
    c.map.emplace(UnicodeString(u"mi"), 1);
    EXPECT_EQ(c.map.size(), 1u) << c.what;
    c.cleanup();
    c.cleanup();
    EXPECT_TRUE(c.map.empty()) << c.what;
  }
}

}  // namespace
