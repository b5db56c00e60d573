// Input that used to mislead or exhaust the parser: skipped sections,
// overflowing references, attribute lookups in a default namespace,
// entity expansion, deep nesting and huge tags.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quarnel/shared_strings.h"
#include "quarnel/xml_limits.h"
#include "xml_test_support.h"

namespace {

using namespace xml_test;
namespace limits = ObraCommon::XmlLimits;

// Bracketed sections other than CDATA, bad comment openers and unknown
// declarations give no event: the event before them is not delivered again.
TEST(XmlHostile, SkippedConstructsDeliverNoEventTwice) {
  struct Row {
    const char* document;
    const char* tokens;
    const char* joined;
  };
  const std::vector<Row> rows = {
      {"<a><![cdata[x]]></a>", "<a> #180F </a> $", "<a> #180F </a> $"},
      {"<a><b/><![x[y]]></a>", "<a> <b> </b> #180F </a> $", "<a> <b> </b> #180F </a> $"},
      {"<a><![[y]]>z</a>", "<a> #180F T:z </a> $", "<a> #180F T:z </a> $"},
      {"<a></a><!x>", "<a> </a> #182A $", "<a> </a> #182A $"},
      {"<a>t<!-x>u</a>", "<a> T:t #1829 T:u </a> $", "<a> #1829 T:tu </a> $"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Dump(row.document, true), row.tokens) << row.document;
    EXPECT_EQ(Dump(row.document, false), row.joined) << row.document;
  }
  Session session("<a><![cdata[x]]></a>", false);
  EXPECT_EQ(session.parser->next(), ZelXmlParser::START_TAG);
  try {
    session.parser->next();
    ADD_FAILURE() << "no throw";
  } catch (const ZelError& error) {
    EXPECT_EQ(error.getErrorCode(), 0x180F);
    EXPECT_EQ(Utf8(error.getRawMessage()).substr(0, 20), "Unexpected '<![cdata");
  }
}

// Digits past U+10FFFF are read but no longer added, so no value wraps
// around to a valid character.
TEST(XmlHostile, CharacterReferencesDoNotOverflow) {
  for (const char* reference : {"&#x100000041;", "&#4294967361;", "&#x110000;", "&#99999999999999999999999999;",
                                "&#xFFFFFFFFFFFFFFFFFFFF41;"}) {
    const std::string document = std::string("<a>") + reference + "</a>";
    EXPECT_EQ(Dump(document, false), "<a> #1833 </a> $") << reference;
  }
  EXPECT_EQ(Dump("<a>&#x10FFFF;&#0000000065;</a>", false), "<a> T:\xF4\x8F\xBF\xBF" "A </a> $");
}

TEST(XmlHostile, UnprefixedAttributesAnswerInTheDefaultNamespace) {
  struct Row {
    const char* document;
    const char* namespaceName;  // "" for none
    const char* local;
    const char* value;          // null: absent
  };
  const std::vector<Row> rows = {
      {"<Types xmlns='urn:ct'><Default ContentType='text/xml'/></Types>", "", "ContentType", "text/xml"},
      {"<Types xmlns='urn:ct'><Default ContentType='text/xml'/></Types>", "urn:ct", "ContentType", "text/xml"},
      {"<Types xmlns='urn:ct'><Default ContentType='text/xml'/></Types>", "urn:other", "ContentType", nullptr},
      {"<r><e a='1'/></r>", "", "a", "1"},
      {"<r><e a='1'/></r>", "urn:x", "a", nullptr},
      {"<r xmlns:p='urn:p'><e p:a='1'/></r>", "urn:p", "a", "1"},
      {"<r xmlns:p='urn:p'><e p:a='1'/></r>", "", "a", nullptr},
      // A prefix bound to the default namespace: the first match in order.
      {"<r xmlns='urn:d' xmlns:p='urn:d'><e p:a='1' a='2'/></r>", "urn:d", "a", "1"},
      {"<r xmlns='urn:d' xmlns:p='urn:d'><e a='2' p:a='1'/></r>", "urn:d", "a", "2"},
      {"<r xmlns='urn:d' xmlns:p='urn:d'><e p:a='1' a='2'/></r>", "", "a", "2"},
  };
  for (const Row& row : rows) {
    Session session(row.document);
    while (session.parser->next() != ZelXmlParser::START_TAG || session.parser->getDepth() < 2) {
    }
    UnicodeString value = session.parser->getAttributeValue(
        *row.namespaceName ? ZelName(U(row.namespaceName)) : ZelName(), ZelName(U(row.local)));
    if (row.value == nullptr) EXPECT_TRUE(value.isBogus()) << row.document << " " << row.namespaceName;
    else EXPECT_EQ(Utf8(value), row.value) << row.document << " " << row.namespaceName;
  }
}

struct Expansion {
  const char* name;
  std::vector<std::pair<std::string, std::string>> entities;
  std::string document;
  uint16_t code;
  bool contentOnly = false;  // markup in an attribute value is reported first
};

std::vector<Expansion> ExpansionCases() {
  std::vector<Expansion> cases;
  cases.push_back({"Direct", {{"a", "x&a;y"}}, "", 0x183A});
  cases.push_back({"Mutual", {{"a", "&b;"}, {"b", "1&a;2"}}, "", 0x183A});
  cases.push_back({"ThroughMarkup", {{"a", "<e>&a;</e>"}}, "", 0x183A, true});
  Expansion laughs{"BillionLaughs", {{"l0", "lol"}}, "", 0x183B};
  for (int i = 1; i <= 9; ++i) {
    std::string text;
    for (int j = 0; j < 10; ++j) text += "&l" + std::to_string(i - 1) + ";";
    laughs.entities.push_back({"l" + std::to_string(i), text});
  }
  cases.push_back(laughs);
  Expansion deep{"SixtyFiveOpen", {}, "", 0x183B};
  for (int i = 0; i < 70; ++i) deep.entities.push_back({"d" + std::to_string(i), "&d" + std::to_string(i + 1) + ";"});
  deep.entities.push_back({"d70", "x"});
  cases.push_back(deep);
  return cases;
}

int64_t DeliveredUnits(const std::string& dump) {
  return static_cast<int64_t>(UnicodeString::fromUTF8(dump).length());
}

// Each case references its first entity in content and in an attribute
// value, with a carry-on callback and without one.
TEST(XmlHostile, EntityExpansionIsBounded) {
  for (const Expansion& c : ExpansionCases()) {
    const std::string first = c.entities.back().first == "d70" ? "d0" : c.entities.back().first;
    for (bool inAttribute : {false, true}) {
      if (inAttribute && c.contentOnly) continue;
      const std::string document =
          inAttribute ? "<r v='&" + first + ";'/>" : "<r>&" + first + ";</r>";
      char code[8];
      std::snprintf(code, sizeof code, "#%X", c.code);
      {
        Session session(document);
        for (const auto& [name, text] : c.entities) session.parser->defineEntityReplacementText(ZelName(U(name)), U(text));
        std::string dump = Dump(session, false);
        EXPECT_NE(dump.find(code), std::string::npos) << c.name << " " << inAttribute << ": " << dump.substr(0, 200);
        EXPECT_EQ(dump.substr(dump.size() - 1), "$");
        EXPECT_LE(DeliveredUnits(dump), limits::kMaxEntityUnits + 1000) << c.name;
      }
      {
        Session session(document, false);
        for (const auto& [name, text] : c.entities) session.parser->defineEntityReplacementText(ZelName(U(name)), U(text));
        try {
          Dump(session, false);
          ADD_FAILURE() << c.name << " did not throw";
        } catch (const ZelError& error) {
          EXPECT_EQ(error.getErrorCode(), c.code) << c.name;
        }
      }
    }
  }
}

// One 1 MB text referenced 10,000 times: the expansion stops at the budget
// with one report; the references after it contribute nothing.
TEST(XmlHostile, QuadraticBlowUpStopsAtTheBudget) {
  std::string document = "<r>";
  for (int i = 0; i < 10000; ++i) document += "&big;";
  document += "</r>";
  Session session(document);
  session.parser->defineEntityReplacementText(ZelName(U("big")), UnicodeString(1 << 20, U'x', 1 << 20));
  EXPECT_EQ(session.parser->next(), ZelXmlParser::START_TAG);
  EXPECT_EQ(session.parser->next(), ZelXmlParser::TEXT);
  const int32_t units = session.parser->getText().length();
  EXPECT_LE(units, limits::kMaxEntityUnits);
  EXPECT_GT(units, limits::kMaxEntityUnits - (1 << 20));
  EXPECT_EQ(session.parser->next(), ZelXmlParser::END_TAG);
  EXPECT_EQ(session.dump, "#183B ");
}

// No recursion per element: a million open elements cost a million scopes.
TEST(XmlHostile, AMillionNestedElements) {
  constexpr int kDepth = 1000000;
  std::string document;
  document.reserve(kDepth * 7);
  for (int i = 0; i < kDepth; ++i) document += "<a>";
  for (int i = 0; i < kDepth; ++i) document += "</a>";
  for (bool tokens : {false, true}) {
    Session session(document);
    int maxDepth = 0;
    int events = 0;
    ZelXmlParser::EventType event;
    while ((event = tokens ? session.parser->nextToken() : session.parser->next()) != ZelXmlParser::END_DOCUMENT) {
      ++events;
      if (session.parser->getDepth() > maxDepth) maxDepth = session.parser->getDepth();
    }
    EXPECT_EQ(maxDepth, kDepth);
    EXPECT_EQ(events, 2 * kDepth);
    EXPECT_EQ(session.dump, "");
  }
}

TEST(XmlHostile, ATagWithAHundredThousandAttributes) {
  constexpr int kCount = 100000;
  std::string distinct = "<a";
  std::string equal = "<a";
  for (int i = 0; i < kCount; ++i) {
    distinct += " n" + std::to_string(i) + "='" + std::to_string(i) + "'";
    equal += " n='" + std::to_string(i) + "'";
  }
  distinct += "/>";
  equal += "/>";
  Session session(distinct);
  ASSERT_EQ(session.parser->next(), ZelXmlParser::START_TAG);
  EXPECT_EQ(session.parser->getAttributeCount(), kCount);
  EXPECT_EQ(Utf8(session.parser->getAttributeValue(ZelName(), ZelName(U("n99999")))), "99999");
  EXPECT_EQ(session.dump, "");
  // Each later duplicate is reported once, so the reports stay linear.
  Session same(equal);
  ASSERT_EQ(same.parser->next(), ZelXmlParser::START_TAG);
  EXPECT_EQ(same.dump.size(), (kCount - 1) * std::string("#1808 ").size());
}

TEST(XmlHostile, ValueLengthsAreBounded) {
  // Each construct at a lowered bound and one unit past it: the value is
  // delivered whole, or the limit is reported and the input ends.
  constexpr int32_t kBound = 1000;
  struct Row {
    const char* what;
    std::string head, tail;
    const char* accepted;  // the dump, with the value shown as "V"
    const char* refused;
  };
  const std::vector<Row> rows = {
      {"attribute value", "<d a='", "'/>", "<d a=\"V\"> </d> $", "#183C #1801 $"},
      {"attribute value with white space", "<d a='\t", "'/>", "<d a=\"V\"> </d> $", "#183C #1801 $"},
      {"attribute value with a reference", "<d a='&amp;", "'/>", "<d a=\"V\"> </d> $", "#183C #1801 $"},
      {"text", "<d>", "</d>", "<d> T:V </d> $", "<d> #183C #1801 $"},
      {"text joined across a reference", "<d>&amp;", "</d>", "<d> T:V </d> $", "<d> #183C #1801 $"},
      {"CDATA section", "<d><![CDATA[", "]]></d>", "<d> T:V </d> $", "<d> #183C #1801 $"},
      {"comment", "<d><!--", "--></d>", "<d> </d> $", "<d> #183C #1801 $"},
      {"processing instruction", "<d><?p ", "?></d>", "<d> </d> $", "<d> #183C #1801 $"},
      {"entity value", "<!DOCTYPE d [<!ENTITY e '", "'>]><d/>", "<d> </d> $", "#183C $"},
  };
  for (const Row& row : rows) {
    for (const bool over : {false, true}) {
      // The construct's own characters count: a reference is one unit, a
      // processing instruction's target and space two.
      const std::string head = row.head;
      int32_t own = head.find("&amp;") != std::string::npos || head.find('\t') != std::string::npos ? 1 : 0;
      if (head.find("<?p ") != std::string::npos) own = 2;
      const std::string body(static_cast<size_t>(kBound - own + (over ? 1 : 0)), 'v');
      Session session(head + body + row.tail);
      session.parser->setValueLengthLimit(kBound);
      std::string dump = Dump(session, false);
      const std::string value = (head.find("&amp;") != std::string::npos ? "&" : head.find('\t') != std::string::npos ? " " : "") + body;
      for (size_t at; (at = dump.find(value)) != std::string::npos;) dump.replace(at, value.size(), "V");
      EXPECT_EQ(dump, over ? row.refused : row.accepted) << row.what << (over ? ", one past the bound" : "");
    }
  }
  // The default bound, on an attribute value and a text.
  ASSERT_EQ(limits::kMaxValueLength, 10000000);
  for (const std::string& head : {std::string("<d a='"), std::string("<d>")}) {
    const std::string tail = head == "<d>" ? "</d>" : "'/>";
    for (const bool over : {false, true}) {
      Session session(head + std::string(static_cast<size_t>(limits::kMaxValueLength + (over ? 1 : 0)), 'v') + tail);
      int32_t longest = 0;
      for (auto event = session.parser->next(); event != ZelXmlParser::END_DOCUMENT; event = session.parser->next()) {
        if (event == ZelXmlParser::START_TAG && session.parser->getAttributeCount() == 1)
          longest = session.parser->getAttributeValue(0).length();
        if (event == ZelXmlParser::TEXT) longest = session.parser->getText().length();
      }
      EXPECT_EQ(longest, over ? 0 : limits::kMaxValueLength) << head;
      EXPECT_EQ(session.dump.find("#183C") != std::string::npos, over) << head << session.dump;
    }
  }
}

// The predefined references at a lowered bound: each is one unit of the
// value, and the limit is reported where it was passed.
TEST(XmlHostile, PredefinedReferencesCountOnce) {
  struct Row {
    std::string document;
    int32_t bound;
    std::string joined;
  };
  auto repeat = [](const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
  };
  const std::vector<Row> rows = {
      // Texts of references alone, which join without a plain run between
      // them: at the bound, and one unit past it.
      {"<d>" + repeat("&amp;", 100) + "</d>", 100, "<d> T:" + std::string(100, '&') + " </d> $"},
      {"<d>" + repeat("&amp;", 101) + "</d>", 100, "<d> #183C #1801 $"},
      {"<d>" + repeat("&#65;", 100) + "</d>", 100, "<d> T:" + std::string(100, 'A') + " </d> $"},
      {"<d>" + repeat("&#65;", 101) + "</d>", 100, "<d> #183C #1801 $"},
      {"<d>" + repeat("&lt;&#x42;", 50) + "</d>", 100, "<d> T:" + repeat("<B", 50) + " </d> $"},
      {"<d>" + repeat("&lt;&#x42;", 50) + "&lt;</d>", 100, "<d> #183C #1801 $"},
      {"<d>" + repeat("x&#65;", 50) + "</d>", 100, "<d> T:" + repeat("xA", 50) + " </d> $"},
      {"<d>" + repeat("x&#65;", 50) + "&#65;</d>", 100, "<d> #183C #1801 $"},
      // A character past U+FFFF is two units.
      {"<d>" + repeat("&#x1F600;", 50) + "</d>", 100, "<d> T:" + repeat("\xF0\x9F\x98\x80", 50) + " </d> $"},
      {"<d>" + repeat("&#x1F600;", 50) + "&#65;</d>", 100, "<d> #183C #1801 $"},
      {"<d>&lt;&amp;&gt;&apos;&quot;</d>", 5, "<d> T:<&>'\" </d> $"},
      {"<d>&lt;&amp;&gt;&apos;&quot;</d>", 4, "<d> #183C #1801 $"},
      {"<d>&lt;&amp;&lt;&amp;x</d>", 3, "<d> #183C #1801 $"},
      {"<d>x&amp;&amp;&amp;y</d>", 5, "<d> T:x&&&y </d> $"},
      {"<d>x&amp;&amp;&amp;y</d>", 4, "<d> #183C #1801 $"},
      {"<d a='&lt;&amp;&gt;&apos;&quot;'/>", 14, "<d a=\"<&>'\"\"> </d> $"},
      {"<d a='xxxxxxxx&amp;&lt;'/>", 10, "<d a=\"xxxxxxxx&<\"> </d> $"},
      {"<d a='xxxxxxxx&amp;&lt;'/>", 9, "#183C #1801 $"},
  };
  for (const Row& row : rows) {
    Session session(row.document);
    session.parser->setValueLengthLimit(row.bound);
    EXPECT_EQ(Dump(session, false), row.joined) << row.document << " at " << row.bound;
  }
}

TEST(XmlHostile, StructuralBoundsEndTheInput) {
  std::string longName(limits::kMaxNameLength + 10, 'n');
  Session session("<" + longName + "/>");
  EXPECT_EQ(Dump(session, true), "#183C $");
  Session silent("<" + longName + "/>", false);
  try {
    silent.parser->next();
    ADD_FAILURE() << "no throw";
  } catch (const ZelError& error) {
    EXPECT_EQ(error.getErrorCode(), 0x183C);
    EXPECT_EQ(Utf8(error.getRawMessage()).substr(0, 35), "Parser limit exceeded: name length.");
  }
}

}  // namespace
