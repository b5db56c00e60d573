// The XML writer: exact bytes for sequences of calls, its errors, and what
// it does with characters a reader would otherwise lose or refuse.
#include <gtest/gtest.h>

#include <dirent.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

#include "dom_test_support.h"
#include "quarnel/xml_serializer.h"
#include "support.h"

namespace {

using namespace dom_test;

using Calls = std::function<void(ZelXmlSerializer&)>;

ZelPtr<ZelXmlSerializer> Writer(std::ostream* out, const char* encoding = "") {
  ZelPtr<ZelXmlSerializer> writer = ZelXmlUtil::createXmlSerializer();
  writer->setGenerator(UnicodeString());
  writer->setOutput(out, UnicodeString::fromUTF8(encoding));
  return writer;
}

std::string Hex(const std::string& bytes) {
  std::string out;
  for (unsigned char b : bytes) {
    if (b >= 0x20 && b < 0x7F) {
      out += static_cast<char>(b);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    }
  }
  return out;
}

// Generated prefixes carry a number the test cannot know.
std::string Written(const char* encoding, const Calls& calls) {
  std::ostringstream out;
  ZelPtr<ZelXmlSerializer> writer = Writer(&out, encoding);
  calls(*writer);
  return std::regex_replace(Hex(out.str()), std::regex("ns[0-9]+"), "nsN");
}

UnicodeString T(const char16_t* text) { return UnicodeString(text); }

// Names are made per use: a test elsewhere may clean the shared name table
// up, which renumbers every name made before.
ZelName kA() { return Nm("a"); }
ZelName kB() { return Nm("b"); }
ZelName kP() { return Nm("p"); }
ZelName kNs1() { return Nm("urn:one"); }
ZelName kNs2() { return Nm("urn:two"); }

TEST(XmlSerializer, CallsGiveTheseBytes) {
  struct Case {
    const char* what;
    const char* encoding;
    Calls calls;
    const char* bytes;
  };
  const Case cases[] = {
      {"empty element", "", [](ZelXmlSerializer& w) { w.startTag(ZelName(), ZelName(), kA()).endTag(ZelName(), kA()); },
       "<a/>"},
      {"element with text", "",
       [](ZelXmlSerializer& w) { w.startTag(ZelName(), ZelName(), kA()).text(T(u"x")).endTag(ZelName(), kA()); },
       "<a>x</a>"},
      {"declaration, known encoding", "",
       [](ZelXmlSerializer& w) {
         w.setGenerator(T(u"made here"));
         w.startDocument(T(u" utf-8 "), T(u"yes"));
       },
       "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><!-- made here -->"},
      {"declaration, unknown encoding dropped", "ISO-8859-1",
       [](ZelXmlSerializer& w) { w.startDocument(UnicodeString(), UnicodeString()); }, "<?xml version=\"1.0\"?>"},
      {"declaration, Shift_JIS by either name", "shift-jis",
       [](ZelXmlSerializer& w) { w.startDocument(UnicodeString(), UnicodeString()); },
       "<?xml version=\"1.0\" encoding=\"SHIFT_JIS\"?>"},
      {"attribute escapes", "",
       [](ZelXmlSerializer& w) {
         w.startTag(ZelName(), ZelName(), kA()).attribute(ZelName(), ZelName(), kB(), T(u"\"<&'>"));
       },
       "<a b=\"&quot;&lt;&amp;'&gt;\""},
      {"text escapes", "", [](ZelXmlSerializer& w) { w.text(T(u"\"<>&']]>")); }, "\"&lt;&gt;&amp;']]&gt;"},
      {"white space kept in text", "", [](ZelXmlSerializer& w) { w.text(T(u"x\ty\nz")); }, "x\\x09y\\x0Az"},
      {"line ends that a reader changes", "", [](ZelXmlSerializer& w) { w.text(T(u"a\rb\u0085c\u2028d")); },
       "a&#13;b&#133;c&#8232;d"},
      {"white space in attribute values", "",
       [](ZelXmlSerializer& w) {
         w.startTag(ZelName(), ZelName(), kA()).attribute(ZelName(), ZelName(), kB(), T(u"\t\n\r\u0085\u2028 "));
       },
       "<a b=\"&#9;&#10;&#13;&#133;&#8232; \""},
      {"UTF-8: pairs joined, lone halves and non-characters replaced", "",
       [](ZelXmlSerializer& w) { w.text(UnicodeString(u"\U00020BB7\xD800x\xDC00\xFFFE\xFFFF\u00E9")); },
       "\\xF0\\xA0\\xAE\\xB7\\xEF\\xBF\\xBDx\\xEF\\xBF\\xBD\\xEF\\xBF\\xBD\\xEF\\xBF\\xBD\\xC3\\xA9"},
      {"Shift_JIS: mapped, referenced, pair joined, no substitution bytes", "SHIFT_JIS",
       [](ZelXmlSerializer& w) {
         w.startDocument(UnicodeString(), UnicodeString());
         w.startTag(ZelName(), ZelName(), kA()).text(UnicodeString(u"\u3042\u00E9\U00020BB7\uFFFD\xD800\u00A5"));
       },
       "<?xml version=\"1.0\" encoding=\"SHIFT_JIS\"?><a>\\x82\\xA0&#233;&#134071;&#65533;&#65533;&#165;"},
      {"no namespace inside a default one", "",
       [](ZelXmlSerializer& w) {
         w.startTag(kNs1(), ZelName(), kA()).startTag(ZelName(), ZelName(), kB()).endTag(ZelName(), kB()).endTag(kNs1(), kA());
       },
       "<a xmlns=\"urn:one\"><b xmlns=\"\"/></a>"},
      {"prefixes chosen and declared", "",
       [](ZelXmlSerializer& w) {
         w.setPrefix(kP(), kNs1());
         w.startTag(kNs1(), kA()).startTag(kNs1(), kB()).endTag(kNs1(), kB()).endTag(kNs1(), kA());
       },
       "<p:a xmlns:p=\"urn:one\"><p:b/></p:a>"},
      {"attribute in the default namespace gets a prefix", "",
       [](ZelXmlSerializer& w) { w.startTag(kNs1(), ZelName(), kA()).attribute(kNs1(), ZelName(), kB(), T(u"v")); },
       "<a nsN:b=\"v\""},
      {"attribute in no namespace gets no prefix", "",
       [](ZelXmlSerializer& w) {
         w.startTag(kNs1(), kP(), kA()).attribute(ZelName(), kP(), kB(), T(u"v")).endTag(kNs1(), kA());
       },
       "<p:a b=\"v\" xmlns:p=\"urn:one\"/>"},
      {"attribute prefix the element bound elsewhere is not rebound", "",
       [](ZelXmlSerializer& w) {
         w.startTag(kNs1(), kP(), kA()).attribute(kNs2(), kP(), kB(), T(u"v")).endTag(kNs1(), kA());
       },
       "<p:a nsN:b=\"v\" xmlns:p=\"urn:one\" xmlns:nsN=\"urn:two\"/>"},
      {"a prefix rebound inside is not answered for the outer namespace", "",
       [](ZelXmlSerializer& w) {
         w.startTag(kNs1(), kP(), kA()).startTag(kNs2(), kP(), kB()).attribute(kNs1(), kB(), T(u"v"));
       },
       "<p:a xmlns:p=\"urn:one\"><p:b nsN:b=\"v\""},
      {"xmlns attributes become declarations", "",
       [](ZelXmlSerializer& w) {
         w.startTag(Nm("urn:x"), ZelName(), kA())
             .attribute(Nm("http://www.w3.org/2000/xmlns/"), Nm("xmlns"), kP(), T(u"urn:two"))
             .attribute(ZelName(), ZelName(), Nm("xmlns"), T(u"urn:x"));
         w.text(T(u"t"));
       },
       "<a xmlns=\"urn:x\" xmlns:p=\"urn:two\">t"},
      {"doctype and content writers", "",
       [](ZelXmlSerializer& w) {
         w.startDocument(UnicodeString(), UnicodeString());
         w.docdecl(T(u"r SYSTEM \"r.dtd\""));
         w.docdecl(T(u" s"));
         w.comment(T(u"c"));
         w.processingInstruction(T(u"pi x"));
         w.startTag(ZelName(), ZelName(), kA());
         w.cdata(T(u"<&>"));
         w.entityRef(T(u"amp"));
         w.ignorableWhitespace(T(u" "));
       },
       "<?xml version=\"1.0\"?><!DOCTYPE r SYSTEM \"r.dtd\"><!DOCTYPE s><!--c--><?pi x?><a><![CDATA[<&>]]>&amp; "},
      {"end of document closes every element", "",
       [](ZelXmlSerializer& w) {
         w.startTag(ZelName(), ZelName(), kA()).startTag(ZelName(), ZelName(), kB()).text(T(u"x"));
         w.endDocument();
       },
       "<a><b>x</b></a>"},
  };
  for (const Case& c : cases) EXPECT_EQ(Written(c.encoding, c.calls), c.bytes) << c.what;
}

TEST(XmlSerializer, ErrorsCarryTheirCodesTextsAndOrigins) {
  struct Case {
    const char* what;
    const char* encoding;
    Calls calls;
    int code;
    const char* message;
    const char* source;
  };
  const Case cases[] = {
      {"document started twice", "",
       [](ZelXmlSerializer& w) {
         w.startDocument(UnicodeString(), UnicodeString());
         w.startDocument(UnicodeString(), UnicodeString());
       },
       2060, "SYSTEM ERROR: startDocument() must be called just after setOutput().",
       "ObraCommon::XmlSerializerImpl::startDocumen"},
      {"attribute after text", "",
       [](ZelXmlSerializer& w) {
         w.startTag(ZelName(), kA()).text(T(u"x"));
         w.attribute(ZelName(), kB(), T(u"1"));
       },
       2061, "SYSTEM ERROR: attribute() must be called just after startTag().",
       "ObraCommon::XmlSerializerImpl::attributeSub"},
      {"end tag with nothing open", "", [](ZelXmlSerializer& w) { w.endTag(ZelName(), kA()); }, 2062,
       "SYSTEM ERROR: Unexpected endTag().", "ObraCommon::XmlSerializerImpl::endTagt"},
      {"end tag of another element", "",
       [](ZelXmlSerializer& w) { w.startTag(kNs1(), kP(), kA()).endTag(kNs2(), kB()); }, 2063,
       "SYSTEM ERROR: End tag '{urn:two}:b' does not match the start tag 'p:a'.",
       "ObraCommon::XmlSerializerImpl::endTagt"},
      {"doctype before the declaration", "", [](ZelXmlSerializer& w) { w.docdecl(T(u"r")); }, 2064,
       "SYSTEM ERROR: Unexpected docdecl().", ""},
      {"element name Shift_JIS cannot hold", "SHIFT_JIS",
       [](ZelXmlSerializer& w) {
         w.startDocument(UnicodeString(), UnicodeString());
         w.startTag(ZelName(), Nm("caf\xC3\xA9"));
       },
       2065, "SYSTEM ERROR: U+00E9 cannot be written in this encoding.", ""},
      {"attribute name Shift_JIS cannot hold", "SHIFT_JIS",
       [](ZelXmlSerializer& w) {
         w.startDocument(UnicodeString(), UnicodeString());
         w.startTag(ZelName(), kA()).attribute(ZelName(), Nm("\xF0\xA0\xAE\xB7"), T(u"v"));
       },
       2065, "SYSTEM ERROR: U+20BB7 cannot be written in this encoding.", ""},
      {"control character in text", "", [](ZelXmlSerializer& w) { w.text(T(u"x\x01")); }, 2065,
       "SYSTEM ERROR: U+0001 cannot be written in this encoding.", ""},
      {"control character in an attribute value", "",
       [](ZelXmlSerializer& w) { w.startTag(ZelName(), kA()).attribute(ZelName(), kB(), T(u"\x1F")); }, 2065,
       "SYSTEM ERROR: U+001F cannot be written in this encoding.", ""},
      {"element name with a non-character", "",
       [](ZelXmlSerializer& w) { w.startTag(ZelName(), Nm("e\xEF\xBF\xBF")); }, 2065,
       "SYSTEM ERROR: U+FFFF cannot be written in this encoding.", ""},
      {"failed output", "",
       [](ZelXmlSerializer& w) {
         // Outlives the writer, which keeps it as its output.
         static std::ostringstream broken;
         broken.setstate(std::ios_base::badbit);
         w.setOutput(&broken, UnicodeString());
       },
       4103, "Output stream error.", "ObraCommon::XmlSerializerImpl::checkStream"},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    ZelPtr<ZelXmlSerializer> writer = Writer(&out, c.encoding);
    std::string before;
    Raised raised = Catch([&] {
      before = out.str();
      c.calls(*writer);
    });
    EXPECT_EQ(raised.code, c.code) << c.what;
    EXPECT_EQ(raised.message, c.message) << c.what;
    EXPECT_EQ(raised.source, c.source) << c.what;
  }
  // Nothing of a refused tag reaches the output.
  std::ostringstream out;
  ZelPtr<ZelXmlSerializer> writer = Writer(&out, "SHIFT_JIS");
  writer->startDocument(UnicodeString(), UnicodeString());
  size_t declared = out.str().size();
  EXPECT_EQ(Catch([&] { writer->startTag(ZelName(), Nm("caf\xC3\xA9")); }).code, 2065);
  EXPECT_EQ(out.str().size(), declared);
  EXPECT_EQ(writer->getDepth(), 0);
}

int OpenDescriptors() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (dir != nullptr && readdir(dir) != nullptr) ++count;
  if (dir != nullptr) closedir(dir);
  return count;
}

TEST(XmlSerializer, FilesOpenFailAndAlwaysClose) {
  std::filesystem::path dir = testsupport::TempDir() / "xml_writer";
  std::filesystem::create_directories(dir);
  ZelPtr<ZelXmlSerializer> writer = ZelXmlUtil::createXmlSerializer();
  Raised folder = Catch([&] { writer->setOutput(UnicodeString::fromUTF8(dir.string()), UnicodeString()); });
  EXPECT_EQ(folder.code, 4099);
  EXPECT_EQ(folder.message, "Cannot open file: " + dir.string());
  EXPECT_EQ(Catch([&] { writer->text(T(u"x")); }).code, 4101);

  int before = OpenDescriptors();
  ZelDocument doc;
  ZelPtr<ZelElement> root = doc.createElement(Nm("r"));
  doc.appendChild(root.get());
  root->appendChild(doc.createTextNode(UnicodeString(100000, u'x', 100000)).get());
  EXPECT_EQ(Catch([&] { doc.save(T(u"/dev/full"), nullptr); }).code, 4103);
  EXPECT_EQ(OpenDescriptors(), before);
  std::string file = (dir / "out.xml").string();
  doc.getSerializer()->setGenerator(UnicodeString());
  doc.save(UnicodeString::fromUTF8(file), nullptr);
  EXPECT_EQ(OpenDescriptors(), before);
  std::ifstream in(file, std::ios::binary);
  std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(written, "<?xml version=\"1.0\"?><r>" + std::string(100000, 'x') + "</r>");
}

}  // namespace
