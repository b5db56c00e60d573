// Colours: clamping and flags of the constructors, RGB and device CMYK as
// exact inverses, derived colours, validity, equality bit for bit, the
// keyword table against the system's CSS colour list, and both notations.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "quarnel/builtin_names.h"
#include "quarnel/color.h"
#include "support.h"

using namespace ObraCommon;
using quarnel_test::Utf8;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

ZelName Named(const char* text) { return ZelName(UnicodeString::fromUTF8(text)); }

TEST(ZelColor, ConstructorsClampAndFlag) {
  const struct {
    ZelColor colour;
    unsigned int rgb;
    const char* svg;
    const char* function;
  } cases[] = {
      {ZelColor(300, -5, 128), 0xFF0080u, "#FF0080", "#FF0080"},
      {ZelColor(0.5f), 0x808080u, "gray icc-color(#GRAYSCALE,0.5)", "rgb-icc(128,128,128,#GRAYSCALE,0.5)"},
      {ZelColor(-1.0f), 0u, "black icc-color(#GRAYSCALE,0)", "rgb-icc(0,0,0,#GRAYSCALE,0)"},
      {ZelColor(2.0f), 0xFFFFFFu, "white icc-color(#GRAYSCALE,1)", "rgb-icc(255,255,255,#GRAYSCALE,1)"},
      {ZelColor(kNaN), 0u, "black icc-color(#GRAYSCALE,0)", "rgb-icc(0,0,0,#GRAYSCALE,0)"},
      {ZelColor(0.0f, 1.0f, 1.0f, 0.0f), 0xFF0000u, "red icc-color(#CMYK,0,1,1,0)", "rgb-icc(255,0,0,#CMYK,0,1,1,0)"},
      {ZelColor(UnicodeString(), 0.25f), 0xBFBFBFu, "#BFBFBF icc-color(#SEPARATION,0.25)", "rgb-icc(#SEPARATION,0.25)"},
      {ZelColor(UnicodeString(), 0.5f), 0x808080u, "gray icc-color(#SEPARATION,0.5)", "rgb-icc(#SEPARATION,0.5)"},
      {ZelColor(ZelColor(0xFFD700u), UnicodeString(u"Gold"), 0.5f), 0xFFD700u,
       "gold icc-color(#SEPARATION,\"Gold\",0.5)", "rgb-icc(255,215,0,#SEPARATION,\"Gold\",0.5)"},
      {ZelColor(UnicodeString(u"Sp\"ot"), kInf, 0, 0, 0, 1), 0u, "black icc-color(#SEPARATION,'Sp\"ot',1,0,0,0,1)",
       "rgb-icc(#SEPARATION,'Sp\"ot',1,0,0,0,1)"},
      {ZelColor(UnicodeString(u"a'\""), -kInf), 0xFFFFFFu, "white icc-color(#SEPARATION,\"a'\"\",0)",
       "rgb-icc(#SEPARATION,\"a'\"\",0)"},
      {ZelColor(UnicodeString(u"N"), kNaN), 0u, "black icc-color(#SEPARATION,\"N\",0)", "rgb-icc(#SEPARATION,\"N\",0)"},
      {ZelColor(UnicodeString(u"N"), -1e30f), 0xFFFFFFu, "white icc-color(#SEPARATION,\"N\",0)",
       "rgb-icc(#SEPARATION,\"N\",0)"},
      {ZelColor(ZelColor(0x0000FFu), UnicodeString(u"prof"), 1e30f, kNaN, -1, 2), 0x0000FFu,
       "blue icc-color(prof,1e+30,nan,-1,2)", "rgb-icc(0,0,255,prof,1e+30,nan,-1,2)"},
      {ZelColor(ZelColor(0x1000000u), 0.5f), 0x1000000u, "#1000000 icc-color(#GRAYSCALE,0.5)",
       "rgb-icc(0,0,0,#GRAYSCALE,0.5)"},
      {ZelColor::getTransparent(), 0xFFFFFFFFu, "transparent", "transparent"},
      {ZelColor::getCurrentColor(), 0xFE000000u, "currentColor", "currentColor"},
      {ZelColor::getInvalidColor(), 0xFF000000u, "", ""},
      {ZelColor::fromBGR(0x0000FFu), 0xFF0000u, "red", "#FF0000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.colour.getRGB(), c.rgb) << c.function;
    EXPECT_EQ(Utf8(c.colour.toString(true)), c.svg);
    EXPECT_EQ(Utf8(c.colour.toString(false)), c.function);
  }
  ZelColor registration(UnicodeString(), 0.25f);
  EXPECT_TRUE(registration.isRegistration());
  EXPECT_EQ(registration.getSeparationC(), 1.0f);
  EXPECT_EQ(Utf8(registration.getSeparationColorName()), "All");
}

TEST(ZelColor, CmykEdgeCases) {
  EXPECT_EQ(ZelColor::cmyk2rgb(0, 1, 1, 0), 0xFF0000u);
  EXPECT_EQ(ZelColor::cmyk2rgb(0, 0, 0, 1), 0u);
  EXPECT_EQ(ZelColor::cmyk2rgb(0, 0, 0, 0), 0xFFFFFFu);
  // Components outside [0, 1] are clamped first.
  EXPECT_EQ(ZelColor::cmyk2rgb(kNaN, 2, -kInf, 1e30f), 0u);
  EXPECT_EQ(ZelColor::cmyk2rgb(-1, 2, kNaN, -3), 0xFF00FFu);
  ZelColor red = ZelColor::rgb2cmyk(0xFF0000u);
  EXPECT_EQ(red.getC(), 0.0f);
  EXPECT_EQ(red.getM(), 1.0f);
  EXPECT_EQ(red.getY(), 1.0f);
  EXPECT_EQ(red.getK(), 0.0f);
  EXPECT_EQ(ZelColor::rgb2cmyk(0).getK(), 1.0f);
  EXPECT_EQ(ZelColor::rgb2cmyk(0x6432C8u).getRGB(), 0x6432C8u);
  // A separation made from an RGB colour keeps its colour at a lower tint
  // as the plain CMYK scaling of that same colour.
  ZelColor gold(ZelColor(0xFFD700u), UnicodeString(u"Gold"), 1.0f);
  EXPECT_EQ(gold.getSeparationRGB(), 0xFFD700u);
  ZelColor half(ZelColor(0xFFD700u), UnicodeString(u"Gold"), 0.5f);
  EXPECT_EQ(half.getSeparationRGB(), ZelColor::cmyk2rgb(0, 0.5f * (40.0f / 255), 0.5f, 0));
  EXPECT_EQ(ZelColor(UnicodeString(u"X"), 0.5f, 0, 0, 0, 1).getSeparationRGB(), 0x808080u);
}

TEST(ZelColorSlow, RgbToCmykAndBackIsExactForEveryWord) {
  unsigned int changed = 0;
  for (unsigned int rgb = 0; rgb <= 0xFFFFFFu; ++rgb) changed += ZelColor::rgb2cmyk(rgb).getRGB() != rgb;
  EXPECT_EQ(changed, 0u);
}

TEST(ZelColor, DerivedValidityAndEquality) {
  EXPECT_EQ(ZelColor(0xFFFFFFu).getDark().getRGB(), 0xAAAAAAu);
  EXPECT_EQ(ZelColor(0u).getLight().getRGB(), 0x808080u);
  EXPECT_TRUE(ZelColor::getInvalidColor().isInvalid());
  EXPECT_FALSE(ZelColor::getTransparent().isInvalid());
  EXPECT_FALSE(ZelColor::getCurrentColor().isInvalid());
  const ZelColor black(0u);
  EXPECT_TRUE(ZelColor(black, UnicodeString(u"#RGB"), 0, 0, 0, 0).isInvalid());
  EXPECT_FALSE(ZelColor(black, UnicodeString(u"#CMYK"), 0, 0, 0, 0).isInvalid());
  EXPECT_FALSE(ZelColor(black, UnicodeString(u"sRGB"), 0, 0, 0, 0).isInvalid());

  const struct {
    ZelColor a;
    ZelColor b;
    bool equal;
  } cases[] = {
      {ZelColor(UnicodeString(u"All"), 0.5f), ZelColor(UnicodeString(u"ALL"), 0.5f), true},
      {ZelColor(UnicodeString(u"Spot"), 0.5f), ZelColor(UnicodeString(u"SPOT"), 0.5f), false},
      {ZelColor(UnicodeString(u"All"), 0.5f), ZelColor(UnicodeString(u"Spot"), 0.5f), false},
      {ZelColor(0.0f, 1.0f, 1.0f, 0.0f), ZelColor(ZelColor(0xFF0000u), 0.0f, 1.0f, 1.0f, 0.0f), true},
      {ZelColor(ZelColor(0u), 0.0f), ZelColor(ZelColor(0u), -0.0f), true},  // clamped to 0
      {ZelColor(black, UnicodeString(u"p"), 0.0f, 0, 0, 0), ZelColor(black, UnicodeString(u"p"), -0.0f, 0, 0, 0),
       false},
      {ZelColor(black, UnicodeString(u"p"), kNaN, 0, 0, 0), ZelColor(black, UnicodeString(u"p"), kNaN, 0, 0, 0),
       true},
      {ZelColor(0xFF0000u), ZelColor(0.0f, 1.0f, 1.0f, 0.0f), false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.a == c.b, c.equal) << Utf8(c.a.toString(false));
  ZelColor flagged(UnicodeString(u"Spot"), 0.5f);
  ZelColor adjusted(flagged);
  adjusted.adjustSeparationFlags(true, true, false);
  EXPECT_FALSE(adjusted == flagged);
}

TEST(ZelColor, Keywords) {
  EXPECT_TRUE(ZelColor(Named("currentcolor")).isCurrentColor());
  EXPECT_TRUE(ZelColor(Named("CURRENTCOLOR")).isCurrentColor());
  EXPECT_TRUE(ZelColor(Named("transparent")).isTransparent());
  EXPECT_TRUE(ZelColor(Named("bogus")).isInvalid());
  EXPECT_TRUE(ZelColor(Named("buttonface")).isInvalid());
  EXPECT_TRUE(ZelColor(ZelName()).isInvalid());
  EXPECT_TRUE(ZelColor(0x123457u).getColorName().isEmpty());
  EXPECT_EQ(Utf8(ZelColor(0.0f, 1.0f, 1.0f, 0.0f).getColorName().toString()), "red");
  EXPECT_EQ(Utf8(ZelColor(0x123457u).toString(true)), "#123457");
}

// The table built in agrees with the CSS colour list vim ships.
TEST(ZelColor, KeywordsMatchTheSystemCssList) {
  std::ifstream list("/usr/share/vim/vim90/colors/lists/csscolors.vim");
  if (!list) GTEST_SKIP() << "csscolors.vim of vim-runtime is not installed";
  std::stringstream content;
  content << list.rdbuf();
  std::string text = content.str();
  std::map<std::string, unsigned int> keywords;
  std::regex entry("'css_([a-z]+)': '#([0-9A-Fa-f]{6})'");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), entry); it != std::sregex_iterator(); ++it)
    keywords[(*it)[1]] = static_cast<unsigned int>(std::stoul((*it)[2], nullptr, 16));
  ASSERT_EQ(keywords.size(), 147u);
  std::set<unsigned int> distinct;
  for (const auto& [name, rgb] : keywords) {
    distinct.insert(rgb);
    ZelColor colour(Named(name.c_str()));
    EXPECT_EQ(colour.getRGB(), rgb) << name;
    std::string upper;
    for (char ch : name) upper += static_cast<char>(ch - 'a' + 'A');
    EXPECT_EQ(ZelColor(Named(upper.c_str())).getRGB(), rgb) << upper;
    std::string back = Utf8(colour.getColorName().toString());
    std::string partner = name;
    if (name == "aqua") partner = "cyan";
    if (name == "fuchsia") partner = "magenta";
    size_t grey = partner.find("grey");
    if (grey != std::string::npos) partner.replace(grey, 4, "gray");
    EXPECT_EQ(back, partner) << name;
  }
  EXPECT_EQ(distinct.size(), 138u);
  // The table built in is that same list.
  std::ifstream tsv(QUARNEL_COLOUR_KEYWORDS_FILE);
  std::string line;
  size_t rows = 0;
  while (std::getline(tsv, line)) {
    if (line.empty() || line[0] == '#') continue;
    ++rows;
    size_t tab = line.find('\t');
    ASSERT_NE(tab, std::string::npos);
    EXPECT_EQ(keywords.at(line.substr(0, tab)), std::stoul(line.substr(tab + 1), nullptr, 16)) << line;
  }
  EXPECT_EQ(rows, keywords.size());
}

}  // namespace
