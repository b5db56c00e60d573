// ZelUri's canonical text of one string under each string type, and
// unescaping.
#include <gtest/gtest.h>

#include "quarnel/uri.h"
#include "support.h"

namespace {

using ObraCommon::UnicodeString;
using ObraCommon::ZelUri;
using quarnel_test::Utf8;

TEST(Uri, CanonicalTextOfOneString) {
  struct Case {
    const char16_t* text;
    int type;
    const char* uri;
  };
  const Case cases[] = {
      {u"url( 'a b.png' )", 2, "a%20b.png"},
      {u"C:\\Docs\\a b.xml", 0, "file:///C:/Docs/a%20b.xml"},
      {u"\\\\srv\\share\\x.xml", 0, "file://srv/share/x.xml"},
      {u"/x", 0, "file:///x"},
      {u"a.xml", 0, "a.xml"},
      {u"url('x.png')", 2, "x.png"},
      {u"url('x.png')", 3, "x.png"},
      {u"url('x.png')", 0, "url('x.png')"},
      {u"url('x.png')", 1, "url('x.png')"},
      {u"url('x.png')", 7, "url('x.png')"},
      {u" url('x.png')", 3, "url('x.png')"},
      {u"\"x.png'", 2, "\"x.png'"},
      {u"\"", 2, ""},
      {u"url()", 3, ""},
      {u"", 0, ""},
      {u"  \t ", 2, ""},
      {u"  data:text/plain,a b\\c ", 0, "data:text/plain,a b\\c"},
      {u"DATA:,a b", 0, "DATA:,a b"},
      {u"http://h/a b", 0, "http://h/a%20b"},
      {u"z:", 0, "file:///z:"},
      {u"ab:x", 0, "ab:x"},
  };
  for (const Case& c : cases) {
    ZelUri uri(UnicodeString(c.text), static_cast<ZelUri::URISTRTYPE>(c.type));
    EXPECT_EQ(Utf8(uri.toString()), c.uri) << Utf8(UnicodeString(c.text)) << " as type " << c.type;
  }
  ZelUri copy = ZelUri(u"/x", ZelUri::URISTR_CSS_URI);
  const UnicodeString& text = copy;
  EXPECT_EQ(Utf8(text), "file:///x");
  EXPECT_TRUE(ZelUri().toString().isEmpty());
}

TEST(Uri, UnescapeTakesTwoHexDigitsOnly) {
  struct Case {
    const char16_t* text;
    const char16_t* result;
  };
  const Case cases[] = {
      {u"%41%e9%zz%4", u"A\u00e9%zz%4"},
      {u"%C3%A9", u"\u00c3\u00a9"},
      {u"100%", u"100%"},
      {u"%%41", u"%A"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ZelUri::unescape(UnicodeString(c.text)), UnicodeString(c.result)) << Utf8(UnicodeString(c.text));
  UnicodeString zero = ZelUri::unescape(u"%00");
  EXPECT_EQ(zero.length(), 1);
  EXPECT_EQ(zero.charAt(0), 0);
}

}  // namespace
