// The property-value tokenizer: token walks of short texts, unit words,
// pushing back, separated lists, copies, and items of any depth and length.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "parse_support.h"
#include "quarnel/color.h"
#include "quarnel/tokenizer.h"

namespace {

using ObraCommon::UnicodeString;
using ObraCommon::ZelTokenizer;
using ObraCommon::ZelValue;
using quarnel_test::Show;

// Every token of a text as kind[token text]=value, read by the named reader.
std::string Walk(const UnicodeString& text, const std::string& reader) {
  ZelTokenizer tokens(text);
  std::string out;
  for (int guard = 0; guard < 20; ++guard) {
    ZelValue value = reader == "signed" ? tokens.nextTokenValueSigned()
                     : reader == "exp"  ? tokens.nextTokenValueExp()
                     : reader == "func" ? tokens.nextTokenValueFunc()
                                        : tokens.nextTokenValue();
    if (tokens.getTokenType() == ZelTokenizer::TOKEN_END && value.isNull()) break;
    if (!out.empty()) out += " ";
    out += std::to_string(tokens.getTokenType()) + "[" + quarnel_test::Utf8(tokens.getTokenText()) + "]=" + Show(value);
  }
  return out;
}

TEST(ZelTokenizer, TokenWalks) {
  struct Row {
    const char16_t* text;
    const char* reader;
    const char* expected;
  } rows[] = {
      {u"12px", "value", "-2[px]=2/5:12px"},
      {u"12PX", "value", "-2[PX]=2/5:12px"},
      {u"12hz 12Hz 3KHZ", "value", "-2[hz]=2/18:12Hz -2[Hz]=2/18:12Hz -2[KHZ]=2/19:3kHz"},
      {u"12foo", "value", "-2[]=1/1:12 -3[foo]=3/23:foo"},
      {u"50%", "value", "-2[%]=2/2:50%"},
      {u".5", "value", "-2[]=2/1:0.5"},
      {u"5.", "value", "-2[]=1/1:5"},
      {u"  3000000000 ", "value", "-2[]=2/1:3e+09"},
      {u"#abc #aabbcc #5", "value", "-6[]=1/24:#AABBCC -6[]=1/24:#AABBCC -6[]=1/24:#000055"},
      {u"#1234 #12345", "value", "-6[]=1/24:#001234 -6[]=1/24:#012345"},
      {u"#xyz", "value", "35[]=1/20:# -3[xyz]=3/23:xyz"},
      {u"'abc", "value", "39[]=1/20:' -3[abc]=3/23:abc"},
      {u"\"x y\" 'it'", "value", "-5[x y]=4/21:x y -5[it]=4/21:it"},
      {u"a:b", "value", "-3[a]=3/23:a 58[]=1/20:: -3[b]=3/23:b"},
      {u"-3pt", "signed", "-2[pt]=2/9:-3pt"},
      {u"- 3", "signed", "45[]=1/20:- -2[]=1/1:3"},
      {u"+.5in", "signed", "-2[in]=2/8:0.5in"},
      {u"2e3", "exp", "-2[]=2/1:2000"},
      {u"1.5e2mm", "exp", "-2[mm]=2/7:150mm"},
      {u"2e", "exp", "-2[]=1/1:2 -3[e]=3/23:e"},
      {u"url('a b.png')", "func", "41[]=4/22:a%20b.png"},
      {u"attr(x) (1 + (2))", "func", "41[]=4/0:attr(x) 41[]=4/0:(1 + (2))"},
      {u"rgb(255, 0, 0) rgb(1,2)", "func", "41[]=1/24:#FF0000 41[]=4/0:rgb(1,2)"},
      {u"f(a(b)", "func", "-1[]=4/0:f(a(b)"},
      {u"", "value", ""},
  };
  for (const Row& row : rows) EXPECT_EQ(Walk(row.text, row.reader), row.expected) << quarnel_test::Utf8(row.text);
}

TEST(ZelTokenizer, HexadecimalRunsBeyondAColourWord) {
  ZelTokenizer tokens(u"#12345678 #123456789 #ffffffffffff");
  EXPECT_EQ(tokens.nextToken(), ZelTokenizer::TOKEN_COLOR);
  EXPECT_EQ(tokens.getNumber(), 0x12345678u);
  EXPECT_EQ(tokens.nextToken(), ZelTokenizer::TOKEN_COLOR);
  EXPECT_EQ(tokens.getNumber(), ObraCommon::ZelColor::INVALID_RGB);
  EXPECT_TRUE(tokens.nextTokenValue().getColorValue().isInvalid());
  EXPECT_EQ(tokens.nextToken(), ZelTokenizer::TOKEN_END);
}

TEST(ZelTokenizer, UnitWordsInAnyCase) {
  const char16_t* words[] = {u"em", u"ex", u"px", u"cm", u"mm", u"in", u"pt", u"pc", u"jpt", u"q",
                             u"deg", u"rad", u"grad", u"ms", u"s", u"Hz", u"kHz", u"dpi", u"twip"};
  for (const char16_t* word : words) {
    for (int form = 0; form < 3; ++form) {
      UnicodeString unit(word);
      if (form == 1) unit.toUpper();
      if (form == 2) unit.toLower();
      ZelTokenizer tokens(UnicodeString(u"7") + unit);
      ZelValue value = tokens.nextTokenValue();
      EXPECT_TRUE(value.isReal()) << quarnel_test::Utf8(unit);
      EXPECT_EQ(ZelValue::getUnitString(value.getUnitType()).caseCompare(UnicodeString(word), 0), 0)
          << quarnel_test::Utf8(unit);
      EXPECT_EQ(tokens.nextToken(), ZelTokenizer::TOKEN_END);
    }
  }
}

TEST(ZelTokenizer, PushBackGivesTheSameToken) {
  ZelTokenizer tokens(u"12pt 'x'");
  EXPECT_EQ(tokens.nextToken(), ZelTokenizer::TOKEN_NUMBER);
  const char16_t* place = tokens.getPtr();
  tokens.pushBack();
  EXPECT_FALSE(tokens.skipSeparator(u' '));
  EXPECT_FALSE(tokens.scanSeparator(u'\''));
  EXPECT_EQ(tokens.nextToken(), ZelTokenizer::TOKEN_NUMBER);
  EXPECT_EQ(tokens.getTokenText(), UnicodeString(u"pt"));
  EXPECT_EQ(tokens.getNumber(), 12.0);
  EXPECT_EQ(tokens.getPtr(), place);
  tokens.pushBack();
  EXPECT_EQ(Show(tokens.nextTokenValue()), "2/9:12pt");
  EXPECT_EQ(Show(tokens.nextTokenValue()), "4/21:x");
}

TEST(ZelTokenizer, SeparatedLists) {
  struct Row {
    const char16_t* text;
    char16_t separator;
    std::vector<std::string> items;
  } rows[] = {
      {u"Alpha Beta  Gamma, 'Delta Epsilon',serif", u',', {"Alpha Beta Gamma", "Delta Epsilon", "serif"}},
      {u"page=3&&zoom=2", u'&', {"page=3", "", "zoom=2"}},
      {u"a \"b c\" d", u' ', {"a", "b c", "d"}},
      {u"'open", u',', {"open"}},
      {u"  ", u',', {}},
  };
  for (const Row& row : rows) {
    ZelTokenizer tokens(row.text);
    std::vector<std::string> items;
    for (;;) {
      UnicodeString item = tokens.nextSeparatedValue(row.separator);
      if (tokens.getTokenType() == ZelTokenizer::TOKEN_END) {
        EXPECT_TRUE(item.isEmpty());
        break;
      }
      EXPECT_EQ(tokens.getTokenType(), ZelTokenizer::TOKEN_STRING);
      items.push_back(quarnel_test::Utf8(item));
    }
    EXPECT_EQ(items, row.items) << quarnel_test::Utf8(row.text);
  }
}

TEST(ZelTokenizer, CopiesReadOnInTheirOwnText) {
  auto original = std::make_unique<ZelTokenizer>(UnicodeString(u"1pt 2pt 3pt"));
  original->nextToken();
  ZelTokenizer copy(*original);
  ZelTokenizer assigned(u"x");
  assigned = *original;
  EXPECT_NE(copy.getPtr(), original->getPtr());
  original.reset();
  EXPECT_EQ(Show(copy.nextTokenValue()), "2/9:2pt");
  EXPECT_EQ(Show(assigned.nextTokenValue()), "2/9:2pt");
  EXPECT_EQ(Show(copy.nextTokenValue()), "2/9:3pt");
  // The text ends at its first NUL.
  UnicodeString withNul(u"4pt");
  withNul.append(u'\0').append(u"5pt");
  ZelTokenizer cut(withNul);
  EXPECT_EQ(Show(cut.nextTokenValue()), "2/9:4pt");
  EXPECT_EQ(cut.nextToken(), ZelTokenizer::TOKEN_END);
}

TEST(ZelTokenizer, LongNumberWithItsUnitIsOneToken) {
  UnicodeString text(std::u16string(100000, u'7').c_str());
  text.append(u"px");
  ZelTokenizer tokens(text);
  ZelValue value = tokens.nextTokenValue();
  EXPECT_EQ(value.getUnitType(), ObraCommon::UNIT_PX);
  EXPECT_EQ(*tokens.getPtr(), u'\0');
  EXPECT_EQ(tokens.nextToken(), ZelTokenizer::TOKEN_END);
}

TEST(ZelTokenizer, DeepNestingTakesNoStack) {
  struct Row {
    const char16_t* unit;
    size_t count;
  } rows[] = {{u"(", 1000000}, {u"a(", 100000}};
  for (const Row& row : rows) {
    std::u16string text;
    for (size_t i = 0; i < row.count; ++i) text += row.unit;
    ZelTokenizer tokens(UnicodeString(text.c_str()));
    ZelValue value = tokens.nextTokenValueFunc();
    EXPECT_TRUE(value.isUnknownString());
    EXPECT_EQ(value.getStringValue().length(), static_cast<int32_t>(text.size()));
    EXPECT_EQ(tokens.nextToken(), ZelTokenizer::TOKEN_END);
  }
}

// Items read as nested calls, each argument an item of its own, as a
// reference for where the depth count must end every item. Answers what
// the item was: a closing ")", the end of the text, or anything else.
enum class Item { Close, End, Other };

Item RecursiveItem(ZelTokenizer& tokens) {
  ZelValue value = tokens.nextTokenValueExp();
  if (value.isNull()) return Item::End;
  bool group = tokens.getTokenType() == u'(' && value.isCharacter();
  bool function = tokens.getTokenType() == ZelTokenizer::TOKEN_NAME && *tokens.getPtr() == u'(';
  if (!group && !function) return value.isCharacter() && tokens.getTokenType() == u')' ? Item::Close : Item::Other;
  if (function) tokens.nextToken();
  for (;;) {
    Item inner = RecursiveItem(tokens);
    if (inner != Item::Other) break;
  }
  return Item::Other;
}

TEST(ZelTokenizer, DepthCountEndsItemsWhereNestedReadingDoes) {
  std::mt19937 random(21);
  const char16_t* pieces[] = {u"(", u")", u"f(", u"url(", u"rgb(", u" ", u",", u"1", u"-2", u"3e", u"4px",
                              u"'q'", u"\"", u"#a", u"x", u"e", u"+", u"."};
  for (int round = 0; round < 10000; ++round) {
    std::u16string text;
    int length = static_cast<int>(random() % 12);
    for (int i = 0; i < length; ++i) text += pieces[random() % (sizeof(pieces) / sizeof(pieces[0]))];
    UnicodeString source(text.c_str());
    ZelTokenizer iterative(source);
    ZelTokenizer recursive(source);
    const char16_t* iterativeStart = iterative.getPtr();
    const char16_t* recursiveStart = recursive.getPtr();
    for (int item = 0; item <= length * 4 + 1; ++item) {
      iterative.nextTokenValueFunc();
      RecursiveItem(recursive);
      ASSERT_EQ(iterative.getPtr() - iterativeStart, recursive.getPtr() - recursiveStart) << quarnel_test::Utf8(source);
      if (*recursive.getPtr() == 0) break;
    }
  }
}

}  // namespace
