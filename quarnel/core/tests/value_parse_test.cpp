// Values and colours parsed from texts: one token or an unknown string,
// colour texts in both notations, and colours written and read back.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "parse_support.h"
#include "quarnel/color.h"
#include "quarnel/value.h"

namespace {

using ObraCommon::UnicodeString;
using ObraCommon::ZelColor;
using ObraCommon::ZelValue;
using quarnel_test::Show;

TEST(ZelValueParse, OneTokenOrTheWholeText) {
  struct Row {
    const char16_t* text;
    const char* parsed;
    const char* nonNumeric;
  } rows[] = {
      {u"12pt", "2/9:12pt", "4/0:12pt"},
      {u"-0.5in", "2/8:-0.5in", "4/0:-0.5in"},
      {u"7", "1/1:7", "4/0:7"},
      {u"2.0", "1/1:2", "4/0:2.0"},
      {u"2147483648", "2/1:2.14748e+09", "4/0:2147483648"},
      {u"50%", "2/2:50%", "4/0:50%"},
      {u"  12pt \t", "2/9:12pt", "4/0:  12pt \t"},
      {u"1 2", "4/0:1 2", "4/0:1 2"},
      {u"bold", "3/23:bold", "3/23:bold"},
      {u"'bold'", "4/21:bold", "4/21:bold"},
      {u"\"x y\"", "4/21:x y", "4/21:x y"},
      {u"#f00", "1/24:#FF0000", "4/0:#f00"},
      {u"12foo", "4/0:12foo", "4/0:12foo"},
      {u"url(a.png)", "4/0:url(a.png)", "4/0:url(a.png)"},
      {u"'open", "4/0:'open", "4/0:'open"},
      {u"+", "4/0:+", "4/0:+"},
      // A condition's limit: only the number itself is one token.
      {u"100]0.00", "4/0:100]0.00", "4/0:100]0.00"},
      {u"100", "1/1:100", "4/0:100"},
      {u"-0.5", "2/1:-0.5", "4/0:-0.5"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Show(ZelValue::parse(row.text)), row.parsed) << quarnel_test::Utf8(row.text);
    EXPECT_EQ(Show(ZelValue::parseNonNumeric(row.text)), row.nonNumeric) << quarnel_test::Utf8(row.text);
  }
  ZelValue empty = ZelValue::parse(u"");
  EXPECT_TRUE(empty.isUnknownString());
  EXPECT_TRUE(empty.isEmpty());
  EXPECT_FALSE(empty.isNull());
  UnicodeString bogus;
  bogus.setToBogus();
  EXPECT_TRUE(ZelValue::parse(bogus).isUnknownString());
}

// A colour as its kind, RGB word and what its profile holds.
std::string Describe(const ZelColor& color) {
  char text[200];
  std::snprintf(text, sizeof text, "%08X %s", color.getRGB(), quarnel_test::Utf8(color.getProfileType().toString()).c_str());
  std::string out = text;
  if (color.isSeparation()) {
    std::snprintf(text, sizeof text, " '%s' %g rgb%d tint%d cmyk%d %g,%g,%g,%g",
                  quarnel_test::Utf8(color.getSeparationColorName()).c_str(), color.getSeparationTint(),
                  color.hasSeparationRGB(), color.hasSeparationTint(), color.hasSeparationCMYK(), color.getSeparationC(),
                  color.getSeparationM(), color.getSeparationY(), color.getSeparationK());
    out += text;
  } else if (color.isCMYK()) {
    std::snprintf(text, sizeof text, " %g,%g,%g,%g", color.getC(), color.getM(), color.getY(), color.getK());
    out += text;
  } else if (color.isGrayscale()) {
    std::snprintf(text, sizeof text, " %g", color.getGrayscale());
    out += text;
  }
  return out;
}

TEST(ZelValueParse, ColourTexts) {
  struct Row {
    const char16_t* text;
    bool svg;
    const char* value;   // Show of the parsed value, or "" for a colour
    const char* colour;  // Describe of getColorValue
  } rows[] = {
      {u"rgb(255, 0, 0)", false, "", "00FF0000 "},
      {u"rgb(100%,0%,0%)", false, "", "00FF0000 "},
      {u"rgb(300,-5,0)", false, "", "00FF0000 "},
      {u"rgb(1 2 3)", false, "", "00010203 "},
      {u"rgb(1,2)", false, "4/0:rgb(1,2)", "FFFFFFFF "},
      {u"rgb(1 2 ))", false, "4/0:rgb(1 2 ))", "FFFFFFFF "},
      {u"rgb-icc(#SEPARATION,=,0.5)", false, "", "00000000 #SEPARATION '=' 0.5 rgb0 tint1 cmyk0 0,0,0,1"},
      {u"RGB(1,2,3)", false, "4/0:RGB(1,2,3)", "FFFFFFFF "},
      {u"rgb(1,2,3) x", false, "4/0:rgb(1,2,3) x", "FFFFFFFF "},
      {u"red", false, "3/23:red", "00FF0000 "},
      {u"red icc-color(#CMYK,0,1,1,0)", true, "", "00FF0000 #CMYK 0,1,1,0"},
      {u"red icc-color(#CMYK,0,1,1,0)", false, "4/0:red icc-color(#CMYK,0,1,1,0)", "FFFFFFFF "},
      {u"#f00", false, "1/24:#FF0000", "00FF0000 "},
      {u"#f00 more", false, "4/0:#f00 more", "FFFFFFFF "},
      {u"#f00 more", true, "", "00FF0000 "},
      {u"bogus icc-color(#CMYK,0,0,0,1)", true, "4/0:bogus icc-color(#CMYK,0,0,0,1)", "FFFFFFFF "},
      {u"rgb-icc(#REGISTRATION,0.5)", false, "", "00000000 #SEPARATION 'All' 0.5 rgb0 tint1 cmyk0 0,0,0,1"},
      {u"rgb-icc(#SEPARATION,0.5)", false, "", "00000000 #SEPARATION 'All' 0.5 rgb0 tint1 cmyk0 0,0,0,1"},
      {u"rgb-icc(#SEPARATION,\"0.5\")", false, "", "00000000 #SEPARATION '0.5' 1 rgb0 tint0 cmyk0 0,0,0,1"},
      {u"rgb-icc(255,215,0,#SEPARATION,\"Gold\",0.5)", false, "",
       "00FFD700 #SEPARATION 'Gold' 0.5 rgb1 tint1 cmyk0 0,0.156863,1,0"},
      {u"rgb-icc(#SEPARATION,0.25,0,0.5,1,0)", false, "", "00000000 #SEPARATION 'All' 0.25 rgb0 tint1 cmyk1 0,0.5,1,0"},
      {u"rgb-icc(#GRAYSCALE,0.5)", false, "", "00000000 #GRAYSCALE 0.5"},
      {u"rgb-icc(1,2,3,#cmyk,1,0,0,0)", false, "", "00010203 #CMYK 1,0,0,0"},
      {u"rgb-icc(1,2,3,#RGB,1,0,0)", false, "4/0:rgb-icc(1,2,3,#RGB,1,0,0)", "FFFFFFFF "},
      {u"icc-color(#CMYK,0,0,0,1)", false, "4/0:icc-color(#CMYK,0,0,0,1)", "FFFFFFFF "},
      {u"icc-color(#CMYK,0,0,0,1)", true, "", "00000000 #CMYK 0,0,0,1"},
      {u"icc-color(#cmyk,0,0,0,1)", true, "", "00000000 #CMYK 0,0,0,1"},
      {u"icc-color(#CMYK,0,0,0,1) x", true, "4/0:icc-color(#CMYK,0,0,0,1) x", "FFFFFFFF "},
      {u"icc-color(#SEPARATION,'Spot',0.5)", true, "", "00000000 #SEPARATION 'Spot' 0.5 rgb0 tint1 cmyk0 0,0,0,1"},
      {u"12pt", false, "2/9:12pt", "FFFFFFFF "},
      {u"", false, "4/0:", "FFFFFFFF "},
  };
  for (const Row& row : rows) {
    ZelValue value = ZelValue::parseColor(row.text, row.svg);
    std::string label = quarnel_test::Utf8(row.text) + (row.svg ? " (svg)" : "");
    if (*row.value == 0)
      EXPECT_EQ(value.getUnitType(), ObraCommon::UNIT_COLOR) << label;
    else
      EXPECT_EQ(Show(value), row.value) << label;
    EXPECT_EQ(Describe(value.getColorValue()), row.colour) << label;
  }
}

TEST(ZelValueParse, ColourOfAStringIsItsParsedText) {
  EXPECT_EQ(ZelValue(UnicodeString(u"#00f")).getColorValue().getRGB(), 0x0000FFu);
  EXPECT_EQ(ZelValue(UnicodeString(u"rgb(1,2,3)"), ObraCommon::UNIT_LITERAL).getColorValue().getRGB(), 0x010203u);
  EXPECT_TRUE(ZelValue(UnicodeString(u"red")).getColorValue().isTransparent());
  EXPECT_TRUE(ZelValue(7).getColorValue().isTransparent());
  EXPECT_EQ(ZelValue(ObraCommon::ZelName(UnicodeString(u"red"))).getColorValue().getRGB(), 0xFF0000u);
}

// Components of at most three decimals, which six significant digits keep.
float Component(std::mt19937& random) { return static_cast<float>(random() % 1001) / 1000.0f; }

TEST(ZelValueParse, ColoursReadBackFromTheirText) {
  std::mt19937 random(2021);
  const char16_t* names[] = {u"Gold", u"PANTONE 123 C", u"Grün ß", u"say \"cheese\"", u"All", u"x'y"};
  int checked = 0;
  for (int round = 0; round < 3000; ++round) {
    ZelColor rgb(static_cast<unsigned int>(random() & 0xFFFFFF));
    float c = Component(random), m = Component(random), y = Component(random), k = Component(random);
    float tint = Component(random);
    UnicodeString name(names[random() % (sizeof(names) / sizeof(names[0]))]);
    // x'y holds both quotes' partner only once: it is written in double quotes.
    ZelColor colours[] = {
        rgb,
        ZelColor(rgb, c, m, y, k),
        ZelColor(rgb, tint),
        ZelColor(rgb, name, tint),
        ZelColor(rgb, name, tint, c, m, y, k),
        ZelColor(rgb, UnicodeString(), tint),
        ZelColor(rgb, UnicodeString(), tint, c, m, y, k),
    };
    for (const ZelColor& colour : colours) {
      for (bool svg : {false, true}) {
        UnicodeString text = colour.toString(svg);
        ZelColor back = ZelValue::parseColor(text, svg).getColorValue();
        EXPECT_EQ(Describe(back), Describe(colour)) << quarnel_test::Utf8(text);
        EXPECT_TRUE(back == colour) << quarnel_test::Utf8(text);
        ++checked;
      }
    }
  }
  EXPECT_EQ(checked, 3000 * 7 * 2);
}

TEST(ZelValueParse, IccProfileColoursDoNotReadBack) {
  ZelColor icc(ZelColor(0x123456u), UnicodeString(u"sRGB-IEC"), 0.1f, 0.2f, 0.3f, 0.4f);
  EXPECT_EQ(ZelValue::parseColor(icc.toString(true), true).getColorValue(), ZelColor(0x123456u));
  ZelValue function = ZelValue::parseColor(icc.toString(false), false);
  EXPECT_TRUE(function.isUnknownString());
  EXPECT_EQ(function.getStringValue(), icc.toString(false));
}

}  // namespace
