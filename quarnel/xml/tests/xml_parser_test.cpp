// The own pull parser: documents and the events, texts and reports they
// give through next and nextToken.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "xml_test_support.h"

namespace {

using namespace xml_test;

struct DumpCase {
  const char* name;
  std::string document;
  const char* tokens;  // nextToken
  const char* joined = nullptr;  // next, when it differs from tokens
};

// Cases print by name; the default would dump the struct's bytes.
void PrintTo(const DumpCase& c, std::ostream* out) { *out << c.name; }

const std::vector<DumpCase> kDumpCases = {
    {"EmptyElement", "<a/>", "<a> </a> $"},
    {"TextReferencesAndCData", "<a>x&amp;y<![CDATA[z]]></a>",
     "<a> T:x &amp=&#38; T:y C:z </a> $", "<a> T:x&yz </a> $"},
    {"LineEnds", "<a>1\r\n2\r3\xC2\x85" "4\xE2\x80\xA8" "5</a>", "<a> T:1\n2\n3\n4\n5 </a> $"},
    {"CharacterReferenceOutsideTheBmp", "<a>&#x1F600;</a>", "<a> &#x1F600=\xF0\x9F\x98\x80 </a> $",
     "<a> T:\xF0\x9F\x98\x80 </a> $"},
    {"DecimalReferenceName", "<a>&#60;</a>", "<a> &#x3C=< </a> $", "<a> T:< </a> $"},
    {"AttributeWhiteSpace", "<a b='1\t2\n3' c='&#10;'/>", "<a b=\"1 2 3\" c=\"\n\"> </a> $"},
    {"AttributeReferences", "<a b='&lt;&amp;&quot;&apos;&gt;'/>", "<a b=\"<&\"'>\"> </a> $"},
    {"Namespaces", "<p:a xmlns:p='u' xmlns='d'><b p:x='1' x='2'/></p:a>",
     "<p:a {u} xmlns:p{http://www.w3.org/2000/xmlns/}=\"u\" xmlns{http://www.w3.org/2000/xmlns/}=\"d\"> "
     "<b {d} p:x{u}=\"1\" x=\"2\"> </b> </p:a> $"},
    {"DefaultNamespaceUndeclared", "<a xmlns='d'><b xmlns=''/></a>",
     "<a {d} xmlns{http://www.w3.org/2000/xmlns/}=\"d\"> <b xmlns{http://www.w3.org/2000/xmlns/}=\"\"> </b> </a> $"},
    {"UnboundElementPrefix", "<x:a/>", "#1807 <x:a> </x:a> $"},
    {"ReservedPrefixBindings", "<a xmlns:xml='u' xmlns:p='http://www.w3.org/XML/1998/namespace' xmlns:xmlns='v' xmlns:q=''/>",
     "#1809 #1809 #1809 #1809 <a xmlns:xml{http://www.w3.org/2000/xmlns/}=\"u\" xmlns:p{http://www.w3.org/2000/xmlns/}=\"http://www.w3.org/XML/1998/namespace\" xmlns:xmlns{http://www.w3.org/2000/xmlns/}=\"v\" xmlns:q{http://www.w3.org/2000/xmlns/}=\"\"> </a> $"},
    {"ReservedNamespacesAsDefault", "<a xmlns='http://www.w3.org/2000/xmlns/'><b xmlns='http://www.w3.org/XML/1998/namespace'/></a>",
     "#1809 <a {http://www.w3.org/2000/xmlns/} xmlns{http://www.w3.org/2000/xmlns/}=\"http://www.w3.org/2000/xmlns/\"> #1809 <b {http://www.w3.org/XML/1998/namespace} xmlns{http://www.w3.org/2000/xmlns/}=\"http://www.w3.org/XML/1998/namespace\"> </b> </a> $"},
    {"XmlnsPrefixOnElement", "<xmlns:a xmlns:xml='http://www.w3.org/XML/1998/namespace'/>",
     "#1807 <xmlns:a {http://www.w3.org/2000/xmlns/} xmlns:xml{http://www.w3.org/2000/xmlns/}=\"http://www.w3.org/XML/1998/namespace\"> </xmlns:a> $"},
    {"UnboundAttributePrefix", "<a y:b='1'/>", "#1807 <a y:b=\"1\"> </a> $"},
    {"UnprefixedAndPrefixedAreNoDuplicates", "<a xmlns:p='u' a='1' p:a='2'/>",
     "<a xmlns:p{http://www.w3.org/2000/xmlns/}=\"u\" a=\"1\" p:a{u}=\"2\"> </a> $"},
    {"DuplicateAttributes", "<a b='1' b='2' b='3'/>", "#1808 #1808 <a b=\"1\" b=\"2\" b=\"3\"> </a> $"},
    {"TopLevelWhiteSpaceAndText", " <a/> abc", "W: <a> </a> #180E #180E #180E #180E T: abc $",
     "<a> </a> #180E #180E #180E #180E T: abc $"},
    {"MissingEndTag", "<a><b>", "<a> <b> #1801 $"},
    {"MismatchedEndTag", "<a></b>", "<a> #1806 </a> $"},
    {"EndTagWithNothingOpen", "<a/></b>", "<a> </a> #1806 </> $"},
    {"SecondRoot", "<a/><b/>", "<a> </a> #1802 <b> </b> $"},
    {"CommentsAndPIs", "<?pi x?><a><!-- c --><?q?></a>", "P:pi x <a> ! c  P:q </a> $", "<a> </a> $"},
    {"TextJoinedAcrossCommentsAndPIs", "<a>x<!--c-->y<?p?>z</a>", "<a> T:x !c T:y P:p T:z </a> $",
     "<a> T:xyz </a> $"},
    {"XmlDeclaration", "<?xml version='1.0' encoding='utf-8' standalone='yes'?><a/>", "<a> </a> $"},
    {"LateXmlDeclaration", "<a><?xml version='1.0'?></a>", "<a> #1821 </a> $"},
    {"BadVersion", "<?xml version='2.0'?><a/>", "#1826 <a> </a> $"},
    {"UnknownEncoding", "<?xml version='1.0' encoding='Shift_JIS'?><a/>", "#1835 <a> </a> $"},
    {"XmlInOtherCase", "<?XML x?><a/>", "#182B P:XML x <a> </a> $", "#182B <a> </a> $"},
    {"PITargetWithoutSpace", "<?a-b?><a/>", "P:a-b <a> </a> $", "<a> </a> $"},
    {"CDataEnd", "<a>]]></a>", "<a> #1810 T:]]> </a> $"},
    {"UnterminatedCData", "<a><![CDATA[x", "<a> #1811 C:x #1801 $", "<a> #1811 T:x #1801 $"},
    {"UnterminatedComment", "<a><!--x", "<a> #1812 !x #1801 $", "<a> #1812 #1801 $"},
    {"DoubleHyphenInComment", "<a><!--x--y--></a>", "<a> #1813 !x </a> $", "<a> #1813 </a> $"},
    {"CommentEndWithThreeHyphens", "<a><!--x---></a>", "<a> #1813 !x </a> $", "<a> #1813 </a> $"},
    {"BadCDataKeyword", "<a><![CDATA x]]>y</a>", "<a> #1828 T:y </a> $"},
    {"SingleHyphenDeclaration", "<a><!-x>y</a>", "<a> #1829 T:y </a> $"},
    {"UnknownDeclaration", "<a><!FOO x>y</a>", "<a> #182A T:y </a> $"},
    {"Doctype", "<!DOCTYPE a [<!ENTITY e 'x'>]><a>&e;</a>", "D:[<!ENTITY] <a> &e=x </a> $", "<a> T:x </a> $"},
    {"UndeclaredEntity", "<a>x&e;y</a>", "<a> T:x &e= T:y </a> $", "<a> #1E1E T:xy </a> $"},
    {"EmptyReferenceName", "<a>& x</a>", "<a> #181B &= T: x </a> $", "<a> #181B T: x </a> $"},
    {"UnclosedReference", "<a>&amp x</a>", "<a> #181C &= T: x </a> $", "<a> #181C T: x </a> $"},
    {"ReferenceWithSpace", "<a>&#x 1;</a>", "<a> #1831 &= T: 1; </a> $", "<a> #1831 T: 1; </a> $"},
    {"ReferenceWithLetter", "<a>&#1z;</a>", "<a> #1832 &= T:z; </a> $", "<a> #1832 T:z; </a> $"},
    {"ReferenceToANonCharacter", "<a>&#0;&#xFFFE;&#xD800;</a>", "<a> #1833 &= #1833 &= #1833 &= </a> $",
     "<a> #1833 #1833 #1833 </a> $"},
    {"LessThanInAttribute", "<a b='<'/>", "#1830 <a b=\"<\"> </a> $"},
    {"UnquotedAttribute", "<a b=c d='1'/>", "#182E #180B <a b=\"c\" d=\"1\"> </a> $"},
    {"UnterminatedAttribute", "<a b='1", "#182F #180C <a b=\"1\"> #1801 $"},
    {"MissingEquals", "<a b '1'/>", "#180A <a b=\"1\"> </a> $"},
    {"MissingSpaceBetweenAttributes", "<a b='1'c='2'/>", "#180B <a b=\"1\" c=\"2\"> </a> $"},
    {"BadAttributeName", "<a b='1' %/>", "#1809 <a b=\"1\"> </a> $"},
    {"SpaceAfterLessThan", "< a/>", "#180D <a> </a> $"},
    {"SpaceAfterSlash", "<a / >", "#180D <a> #1801 $"},
    {"NoStartTagName", "<1/>", "#1804 #180C <> </> $"},
    {"RealNonCharacter", "<a>x\xEF\xBF\xBFy</a>", "<a> #1834 T:xy </a> $"},
    // Characters that are no XML characters, in every construct: reported
    // and dropped.
    {"ControlInText", "<a>x\x01y\x1F</a>", "<a> #1834 #1834 T:xy </a> $"},
    {"NonCharacterFFFEInText", "<a>x\xEF\xBF\xBEy</a>", "<a> #1834 T:xy </a> $"},
    {"ControlsInAttributeValues", "<a b='x\x0By' c=\"\x0C\xEF\xBF\xBF\"/>", "#1834 #1834 #1834 <a b=\"xy\" c=\"\"> </a> $"},
    {"ControlInComment", "<a><!--x\x02y--></a>", "<a> #1834 !xy </a> $", "<a> #1834 </a> $"},
    {"ControlInProcessingInstruction", "<a><?p x\x08?></a>", "<a> #1834 P:p x </a> $", "<a> #1834 </a> $"},
    {"ControlInCData", "<a><![CDATA[x\x0E]]></a>", "<a> #1834 C:x </a> $", "<a> #1834 T:x </a> $"},
    {"ControlInAName", "<a\x01" "b/>", "#1834 <ab> </ab> $"},
    {"ControlOutsideTheRoot", "\x03<a/>", "#1834 <a> </a> $"},
    {"ControlInAnEntityValue", "<!DOCTYPE a [<!ENTITY e 'x\x10'>]><a>&e;</a>", "#1834 D:[<!ENTITY] <a> &e=x </a> $",
     "#1834 <a> T:x </a> $"},
    {"BrokenUtf8KeepsTheMarkup", "<a>\xE6\x97<b/>\xFF</a>", "<a> T:\xEF\xBF\xBD <b> </b> T:\xEF\xBF\xBD </a> $"},
    {"OverlongAndSurrogateForms", "<a>\xC0\xAF\xED\xA0\x80</a>", "<a> T:\xEF\xBF\xBD\xEF\xBF\xBD </a> $"},
    {"SvgDefaults", "<svg><a xlink:href='x'/></svg>",
     "<svg {http://www.w3.org/2000/svg}> <a {http://www.w3.org/2000/svg} xlink:href{http://www.w3.org/1999/xlink}=\"x\"> "
     "</a> </svg> $"},
    {"ChartDefault", "<chart/>", "<chart {http://quarnel.invalid/names/Grafeln}> </chart> $"},
    {"XmlPrefixIsBound", "<a xml:lang='en'/>", "<a xml:lang{http://www.w3.org/XML/1998/namespace}=\"en\"> </a> $"},
};

class XmlDumps : public ::testing::TestWithParam<DumpCase> {};

TEST_P(XmlDumps, Tokens) { EXPECT_EQ(Dump(GetParam().document, true), GetParam().tokens); }
TEST_P(XmlDumps, Joined) {
  const DumpCase& c = GetParam();
  EXPECT_EQ(Dump(c.document, false), c.joined != nullptr ? c.joined : c.tokens);
}

INSTANTIATE_TEST_SUITE_P(Documents, XmlDumps, ::testing::ValuesIn(kDumpCases),
                         [](const auto& info) { return std::string(info.param.name); });

// CDATA sections and comments long enough to be read in blocks, with every
// character that interrupts a block among them: the same texts, reports and
// positions in UTF-8 and in UTF-16LE.
TEST(XmlSections, LongBodiesReadAlike) {
  struct Row {
    const char* body;  // between "<d>" and "</d>"
    const char* tokens;
    const char* position;  // line:column once the section is read
  };
  const std::vector<Row> rows = {
      {"<![CDATA[<x>&amp;aaaaaaaaaaaaaaaaaaaa]bbbbbbbbbbbbbbbbbbbb]]cccccccccccccccccccc]]]>",
       "<d> C:<x>&amp;aaaaaaaaaaaaaaaaaaaa]bbbbbbbbbbbbbbbbbbbb]]cccccccccccccccccccc] </d> $", "1:87"},
      {"<![CDATA[aaaaaaaaaaaaaaaa\r\nbbbbbbbbbbbbbbbbbbbb\rcc\u00e9\U0001D11E\u20acdddddddddddddddd\x01" "eeeeeeeeeeeeeeeeeeee]]>",
       "<d> #1834 C:aaaaaaaaaaaaaaaa\nbbbbbbbbbbbbbbbbbbbb\ncc\u00e9\U0001D11E\u20acddddddddddddddddeeeeeeeeeeeeeeeeeeee </d> $",
       "3:44"},
      {"<!--aaaaaaaaaaaaaaaaaaaa-bbbbbbbbbbbbbbbbbbbb<&>cccccccccccccccccccc-->",
       "<d> !aaaaaaaaaaaaaaaaaaaa-bbbbbbbbbbbbbbbbbbbb<&>cccccccccccccccccccc </d> $", "1:74"},
      {"<!--aaaaaaaaaaaaaaaa\r\n\tbbbbbbbbbbbbbbbb\u00e9\U0001D11E\x02" "cccccccccccccccc--x-->",
       "<d> #1834 #1813 !aaaaaaaaaaaaaaaa\n\tbbbbbbbbbbbbbbbb\u00e9\U0001D11Ecccccccccccccccc </d> $", "2:41"},
  };
  for (const Row& row : rows) {
    for (const bool wide : {false, true}) {
      const std::string text = "<d>" + std::string(row.body) + "</d>";
      std::string bytes = text;
      if (wide) {
        const UnicodeString units = UnicodeString::fromUTF8(text);
        bytes = "\xFF\xFE";
        for (int32_t i = 0; i < units.length(); ++i) {
          bytes += static_cast<char>(units.charAt(i) & 0xFF);
          bytes += static_cast<char>(units.charAt(i) >> 8);
        }
      }
      EXPECT_EQ(Dump(bytes, true), row.tokens) << row.body << (wide ? " (UTF-16LE)" : "");
      Session session(bytes);
      session.parser->nextToken();
      session.parser->nextToken();
      const std::string position =
          std::to_string(session.parser->getLineNumber()) + ":" + std::to_string(session.parser->getColumnNumber());
      EXPECT_EQ(position, row.position) << row.body << (wide ? " (UTF-16LE)" : "");
    }
  }
}

}  // namespace
