// ZelMSXmlParser over the MSXML stand-in: events and accessors of loaded
// documents, the class search, the three error codes, external DTDs and
// features, stream input through a temporary file (and its failures), and
// hostile documents. Every case ends with the temporary folder empty.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "quarnel/msxml_parser.h"
#include "quarnel/uri.h"
#include "testsupport/http_server.h"
#include "testsupport/testdata.h"
#include "xml_names.h"
#include "xml_test_support.h"
#include "xml_tree_text.h"

namespace {

using namespace xml_test;
using ObraCommon::MSXMLTYPE;
using ObraCommon::ZelMSXmlParser;
using ObraCommon::ZelXmlUtil;
namespace fs = std::filesystem;

struct Caught {
  int code = 0;
  std::string message;
  std::string source;
};

template <class F>
Caught Catch(F f) {
  try {
    f();
  } catch (const ZelError& error) {
    return {error.getErrorCode(), Utf8(error.getRawMessage()), Utf8(error.getSource())};
  }
  return {};
}

std::string Events(ZelXmlParser& parser, bool tokens, int limit = 100000) {
  std::string out;
  for (int i = 0; i < limit; ++i) {
    auto event = tokens ? parser.nextToken() : parser.next();
    out += DescribeEvent(parser, event) + " ";
    if (event == ZelXmlParser::END_DOCUMENT) break;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

ZelName Nm(const char* text) { return ZelName(ObraCommon::ZelNameTable::getSharedNameEnum(U(text))); }

// A stream whose buffer fails once `good` bytes have been read.
class FailingBuf : public std::streambuf {
 public:
  explicit FailingBuf(size_t good) : m_good(good) {}

 protected:
  int_type underflow() override {
    if (m_given >= m_good) throw std::ios_base::failure("device failed");
    m_byte = m_given++ == 0 ? '<' : 'a';
    setg(&m_byte, &m_byte, &m_byte + 1);
    return traits_type::to_int_type(m_byte);
  }

 private:
  size_t m_good;
  size_t m_given = 0;
  char m_byte = 0;
};

class MsxmlParserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = testsupport::TempDir() / "in";
    fs::create_directories(m_dir);
  }
  void TearDown() override {
    MsxmlTestReset();
    ZelXmlUtil::setRemoteEntityLoading(false);
    // Nothing of the parser's is left in the temporary folder.
    for (const auto& entry : fs::directory_iterator(testsupport::TempDir()))
      EXPECT_EQ(entry.path(), m_dir) << "left behind: " << entry.path();
  }
  UnicodeString Write(const std::string& name, const std::string& text) {
    EXPECT_TRUE(testsupport::WriteFile(m_dir / name, text));
    return U((m_dir / name).string());
  }
  // The parser on a document, through the file (stream false) or a stream.
  ZelPtr<ZelMSXmlParser> Open(const std::string& text, bool stream, int features = 0) {
    ZelPtr<ZelMSXmlParser> parser(new ZelMSXmlParser());
    // These documents name their DTDs beside them; bit 16 keeps the
    // default, which reads none of them.
    parser->setFeature(ZelXmlParser::LOAD_EXTERNAL_ENTITIES, (features & 16) == 0);
    if (features & 1) parser->setFeature(ZelXmlParser::SKIP_EXTERNAL_DTD, true);
    if (features & 8) parser->setFeature(ZelXmlParser::IGNORE_DTD_FAILURE, true);
    if (stream) {
      std::istringstream in(text);
      parser->setInput(in, UnicodeString(), UnicodeString());
    } else {
      parser->setInput(Write("doc.xml", text), UnicodeString(), UnicodeString());
    }
    return parser;
  }
  std::string Walk(const std::string& text, bool tokens, bool stream = false, int features = 0) {
    auto parser = Open(text, stream, features);
    return Events(*parser, tokens);
  }
  fs::path m_dir;
};

TEST_F(MsxmlParserTest, EventsOfLoadedDocuments) {
  struct Row {
    const char* name;
    std::string text;
    std::string next;
    std::string tokens;
  } rows[] = {
      {"empty root", "<r/>", "<r> </r> $", "<r> </r> $"},
      {"comment before the root is never delivered, after it only by nextToken", "<!--a--><r/><!--b-->",
       "<r> </r> $", "<r> </r> !b $"},
      {"text, CDATA and text with a comment between join", "<r>a<![CDATA[b]]><!--k-->c</r>",
       "<r> T:abc </r> $", "<r> T:a C:b !k T:c </r> $"},
      {"a reference to CR before LF is one line feed", "<r>a&#13;&#10;b&#13;c</r>", "<r> T:a\nb\nc </r> $",
       "<r> T:a\nb\nc </r> $"},
      {"white space between elements is text", "<r>\n <a/>\n</r>", "<r> T:\n  <a> </a> T:\n </r> $",
       "<r> T:\n  <a> </a> T:\n </r> $"},
      {"processing instruction text is its data", "<r><?t d e?></r><?u f?>", "<r> </r> $",
       "<r> P:d e </r> P:f $"},
      {"namespace declarations come first",
       "<p:r a='1' xmlns:p='urn:p' p:b='2'><p:c/></p:r>",
       "<p:r {urn:p} xmlns:p{http://www.w3.org/2000/xmlns/}=\"urn:p\" a=\"1\" p:b{urn:p}=\"2\"> <p:c {urn:p}> </p:c> "
       "</p:r> $",
       "<p:r {urn:p} xmlns:p{http://www.w3.org/2000/xmlns/}=\"urn:p\" a=\"1\" p:b{urn:p}=\"2\"> <p:c {urn:p}> </p:c> "
       "</p:r> $"},
      {"entity text in a default namespace",
       "<!DOCTYPE r [<!ENTITY e '<i>t</i>'>]><r xmlns='urn:d'>x&e;y</r>",
       "<r {urn:d} xmlns{http://www.w3.org/2000/xmlns/}=\"urn:d\"> T:x <i {urn:d}> T:t </i> T:y </r> $",
       "<r {urn:d} xmlns{http://www.w3.org/2000/xmlns/}=\"urn:d\"> T:x <i {urn:d}> T:t </i> T:y </r> $"},
      {"text around a reference is one node", "<!DOCTYPE r [<!ENTITY e 'b'>]><r>a&e;c</r>", "<r> T:abc </r> $",
       "<r> T:abc </r> $"},
      {"attribute defaults are applied", "<!DOCTYPE r [<!ATTLIST r d CDATA 'v'>]><r/>", "<r d=\"v\"> </r> $",
       "<r d=\"v\"> </r> $"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    for (bool stream : {false, true}) {
      EXPECT_EQ(Walk(row.text, false, stream), row.next);
      EXPECT_EQ(Walk(row.text, true, stream), row.tokens);
    }
  }
}

TEST_F(MsxmlParserTest, AccessorsOnTheWay) {
  auto parser = Open("<r xmlns='urn:d' xmlns:p='urn:p'><a></a> <b>x</b></r>", false);
  EXPECT_EQ(parser->getEventType(), ZelXmlParser::START_DOCUMENT);
  EXPECT_EQ(parser->getLineNumber(), -1);
  EXPECT_EQ(parser->getInputEncoding(), UnicodeString());
  ASSERT_EQ(parser->next(), ZelXmlParser::START_TAG);
  EXPECT_EQ(parser->getDepth(), 1);
  EXPECT_EQ(parser->getNamespaceCount(1), 2);
  EXPECT_EQ(parser->getNamespace(Nm("p")), Nm("urn:p"));
  EXPECT_EQ(parser->getNamespace(ZelName()), Nm("urn:d"));
  EXPECT_FALSE(parser->isEmptyElementTag());
  EXPECT_EQ(Catch([&] { parser->isWhitespace(); }).code, 2059);
  EXPECT_EQ(Catch([&] { parser->getAttributeName(2); }).code, 2052);
  ASSERT_EQ(parser->next(), ZelXmlParser::START_TAG);
  EXPECT_TRUE(parser->isEmptyElementTag());  // <a></a> too
  EXPECT_EQ(parser->getDepth(), 2);
  EXPECT_EQ(parser->getAttributeCount(), 0);
  ASSERT_EQ(parser->next(), ZelXmlParser::END_TAG);
  EXPECT_EQ(parser->getAttributeCount(), -1);
  EXPECT_EQ(Catch([&] { parser->getAttributeValue(ZelName(), Nm("a")); }).code, 2052);
  EXPECT_EQ(Catch([&] { parser->isEmptyElementTag(); }).code, 2059);
  ASSERT_EQ(parser->next(), ZelXmlParser::TEXT);
  EXPECT_TRUE(parser->isWhitespace());
  EXPECT_EQ(parser->getName(), ZelName());
  EXPECT_EQ(Utf8(parser->getPositionDescription()), "TEXT, '" + (m_dir / "doc.xml").string() + "'.");
  parser->setFeature(ZelXmlParser::LENIENT_ENTITIES, true);
  EXPECT_FALSE(parser->getFeature(ZelXmlParser::LENIENT_ENTITIES));
  // Closed in the middle, then read anew from the next input's root.
  parser->closeStream();
  EXPECT_EQ(parser->getEventType(), ZelXmlParser::END_DOCUMENT);
  EXPECT_EQ(parser->getDepth(), 0);
  std::istringstream in("<n/>");
  parser->setInput(in, UnicodeString(), UnicodeString());
  EXPECT_EQ(Events(*parser, false), "<n> </n> $");
  EXPECT_EQ(Utf8(parser->getPositionDescription()), "END_DOCUMENT.");
}

// An unprefixed attribute is in no namespace, not in the default one.
TEST_F(MsxmlParserTest, AttributeLookUpByNamespace) {
  auto parser = Open("<r xmlns='urn:d' xmlns:p='urn:p' a='plain' p:a='prefixed' e=''/>", false);
  ASSERT_EQ(parser->next(), ZelXmlParser::START_TAG);
  struct Row {
    const char* ns;
    const char* local;
    const char* value;  // null: absent
  } rows[] = {
      {"", "a", "plain"},          {"urn:d", "a", nullptr},        {"urn:p", "a", "prefixed"},
      {"http://www.w3.org/2000/xmlns/", "xmlns", "urn:d"},         {"http://www.w3.org/2000/xmlns/", "p", "urn:p"},
      {"", "e", ""},               {"", "missing", nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.ns) + " " + row.local);
    UnicodeString value = parser->getAttributeValue(*row.ns ? Nm(row.ns) : ZelName(), Nm(row.local));
    if (row.value == nullptr) {
      EXPECT_TRUE(value.isBogus());
    } else {
      EXPECT_FALSE(value.isBogus());
      EXPECT_EQ(Utf8(value), row.value);
    }
  }
}

TEST_F(MsxmlParserTest, ClassSearchOrderAndType) {
  struct Row {
    int fail40, fail30;
    MSXMLTYPE type;
    int entry;  // -1: none
  } rows[] = {
      {0, 0, ObraCommon::MSXMLTYPE_40, 0}, {0, 0, ObraCommon::MSXMLTYPE_30, 1}, {1, 0, ObraCommon::MSXMLTYPE_40, 1},
      {2, 0, ObraCommon::MSXMLTYPE_40, 1}, {3, 0, ObraCommon::MSXMLTYPE_40, 1}, {0, 1, ObraCommon::MSXMLTYPE_30, -1},
      {3, 2, ObraCommon::MSXMLTYPE_40, -1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.fail40 << " " << row.fail30 << " " << row.type);
    MsxmlTestFailCreation(CLSID_DOMDocument40, row.fail40);
    MsxmlTestFailCreation(CLSID_DOMDocument30, row.fail30);
    ComPtr<IXMLDOMDocument2> document;
    const ObraCommon::MSXMLGUID* found = ZelMSXmlParser::searchMSXml(document, row.type);
    if (row.entry < 0) {
      EXPECT_EQ(found, nullptr);
      continue;
    }
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->clsid == CLSID_DOMDocument40, row.entry == 0);
    EXPECT_TRUE(document);
  }
  // Both entries failing: 0x1881 at each step.
  for (int step : {1, 2, 3}) {
    MsxmlTestFailCreation(CLSID_DOMDocument40, step);
    MsxmlTestFailCreation(CLSID_DOMDocument30, step);
    Caught caught = Catch([&] { Open("<r/>", false); });
    EXPECT_EQ(caught.code, 0x1881);
    EXPECT_EQ(caught.message, "MSXML CreateInstance is failed.\nEND_DOCUMENT.");
    EXPECT_EQ(caught.source, "ObraCommon::ZelMSXmlParser");
  }
}

TEST_F(MsxmlParserTest, FailingCallsBecomeComErrors) {
  struct Row {
    const char* method;
    const char16_t* description;
    std::string message;
  } rows[] = {
      {"put_async", u"injected", "MSXML COM interfase exception.\nDescription :injected\nEND_DOCUMENT."},
      {"load", nullptr, "MSXML COM interfase exception.\nEND_DOCUMENT."},
      {"get_firstChild", u"walk", "MSXML COM interfase exception.\nDescription :walk\nSTART_TAG, '" +
                                      (m_dir / "doc.xml").string() + "'."},
      {"get_attributes", u"map", "MSXML COM interfase exception.\nDescription :map\nSTART_TAG, '" +
                                     (m_dir / "doc.xml").string() + "'."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.method);
    MsxmlTestFailCall(row.method, E_FAIL, row.description);
    Caught caught = Catch([&] { Walk("<r><a/></r>", false); });
    EXPECT_EQ(caught.code, 0x1882);
    EXPECT_EQ(caught.message, row.message);
    MsxmlTestFailCall(row.method, S_OK, nullptr);
  }
  // The accessors that pass the platform's exception out as it is.
  auto parser = Open("<r>t</r>", false);
  parser->next();
  MsxmlTestFailCall("hasChildNodes", E_FAIL, u"x");
  EXPECT_THROW(parser->isEmptyElementTag(), ComError);
  MsxmlTestFailCall("get_nodeValue", E_FAIL, u"x");
  EXPECT_THROW(parser->getText(), ComError);
}

TEST_F(MsxmlParserTest, RejectedDocuments) {
  struct Row {
    std::string text;
    int line, column;
    std::string reason;
  } rows[] = {
      {"<r>\n<a></r>", 2, 8, "Opening and ending tag mismatch: a line 2 and r"},
      {"", 1, 1, "Document is empty"},
      {"<r>&u;</r>", 1, 7, "Entity 'u' not defined"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    for (bool stream : {false, true}) {
      ZelPtr<ZelMSXmlParser> parser(new ZelMSXmlParser());
      Caught caught = Catch([&] {
        if (stream) {
          std::istringstream in(row.text);
          parser->setInput(in, UnicodeString(), UnicodeString());
        } else {
          parser->setInput(Write("bad.xml", row.text), UnicodeString(), UnicodeString());
        }
      });
      EXPECT_EQ(caught.code, 0x1883);
      EXPECT_EQ(caught.message, "MSXML parse error.\nReason :" + row.reason + "\nEND_DOCUMENT.");
      EXPECT_EQ(parser->getLineNumber(), row.line);
      EXPECT_EQ(parser->getColumnNumber(), row.column);
    }
  }
}

TEST_F(MsxmlParserTest, ExternalDtdAndFeatures) {
  Write("s.dtd", "<!ENTITY e 'from-dtd'>");
  Write("x.ent", "secret");
  testsupport::HttpServer server;
  server.answer("/s.dtd", {"HTTP/1.1 200 OK\r\nContent-Type: text/plain", "<!ENTITY e 'remote'>"});
  const std::string here = "<!DOCTYPE r SYSTEM 's.dtd'><r>[&e;]</r>";
  const std::string missing = "<!DOCTYPE r SYSTEM 'missing.dtd'><r>[]</r>";
  const std::string remote = "<!DOCTYPE r SYSTEM '" + server.url("/s.dtd") + "'><r>[]</r>";
  const std::string entity = "<!DOCTYPE r [<!ENTITY x SYSTEM 'x.ent'>]><r>[&x;]</r>";
  struct Row {
    const std::string* text;
    int features;
    std::string events;  // empty: 0x1883
  } rows[] = {
      {&here, 0, "<r> T:[from-dtd] </r> $"},
      {&here, 1, "<r> T:[] </r> $"},  // nothing read
      {&missing, 0, ""},
      {&missing, 8, "<r> T:[] </r> $"},  // loaded by the retry
      {&missing, 9, "<r> T:[] </r> $"},
      {&remote, 0, "<r> T:[] </r> $"},  // refused, no request
      {&entity, 0, "<r> T:[secret] </r> $"},
      // By default nothing outside the document is read, and nothing
      // missing fails the load.
      {&here, 16, "<r> T:[] </r> $"},
      {&missing, 16, "<r> T:[] </r> $"},
      {&entity, 16, "<r> T:[] </r> $"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(*row.text + " " + std::to_string(row.features));
    Caught caught = Catch([&] { EXPECT_EQ(Walk(*row.text, false, false, row.features), row.events); });
    EXPECT_EQ(caught.code, row.events.empty() ? 0x1883 : 0);
  }
  EXPECT_TRUE(server.requests().empty());
}

TEST_F(MsxmlParserTest, ShiftJisAsCodePage932) {
  // 0x8740 is the circled digit one; 0x5C stays a backslash.
  std::string text = "<?xml version='1.0' encoding='Shift_JIS'?><r>\x87\x40\\</r>";
  for (bool stream : {false, true}) {
    auto parser = Open(text, stream);
    ASSERT_EQ(parser->next(), ZelXmlParser::START_TAG);
    ASSERT_EQ(parser->next(), ZelXmlParser::TEXT);
    EXPECT_EQ(parser->getText(), UnicodeString(u"\u2460\\"));
  }
}

TEST_F(MsxmlParserTest, DocumentHandedIn) {
  Write("doc.xml", "<r><a/></r>");
  ZelPtr<ZelMSXmlParser> parser(new ZelMSXmlParser());
  ComPtr<IXMLDOMDocument2> document;
  ASSERT_NE(ZelMSXmlParser::searchMSXml(document, ObraCommon::MSXMLTYPE_40), nullptr);
  UnicodeString name =
      ObraCommon::ZelUri(U((m_dir / "doc.xml").string()), ObraCommon::ZelUri::URISTR_AUTO).toString();
  ComBstr url(name.getTerminatedBuffer());
  VARIANT source;
  VariantInit(&source);
  source.vt = VT_BSTR;
  source.bstrVal = url.get();
  VARIANT_BOOL ok = VARIANT_FALSE;
  document.call(&IXMLDOMDocument::load, source, &ok);
  ASSERT_EQ(ok, VARIANT_TRUE);
  parser->setInput(document.get());
  EXPECT_EQ(Events(*parser, true), "<r> <a> </a> </r> $");
  EXPECT_EQ(Utf8(parser->getPositionDescription()), "END_DOCUMENT.");
}

// A document loads through the installed parser into the tree the own
// parser makes.
TEST_F(MsxmlParserTest, DocumentLoadsThroughTheParser) {
  UnicodeString name = Write("doc.xml", "<!--c--><r xmlns='urn:d' xmlns:p='urn:p' p:a='1'>t<![CDATA[c]]><e/></r>");
  ObraCommon::ZelDocument own;
  own.load(name, nullptr);
  ObraCommon::ZelDocument ms;
  ms.setParser(ZelPtr<ZelXmlParser>(new ZelMSXmlParser()).get());
  ms.load(name, nullptr);
  EXPECT_EQ(xml_tree::DescribeTree(&ms, true, true), xml_tree::DescribeTree(&own, true, true));
}

// A failing input stream or temporary file is an error, not a shorter
// document; the temporary file goes either way.
TEST_F(MsxmlParserTest, CopyFailures) {
  FailingBuf failing(1000);
  std::istream in(&failing);
  ZelPtr<ZelMSXmlParser> parser(new ZelMSXmlParser());
  Caught caught = Catch([&] { parser->setInput(in, UnicodeString(), UnicodeString()); });
  EXPECT_EQ(caught.code, 4102);
  EXPECT_EQ(caught.message, "Input stream error.");
  EXPECT_EQ(caught.source, "ObraCommon::ZelMSXmlParser");

  // A file-size limit stops the copy part way.
  std::string big = "<r>" + std::string(200000, 'x') + "</r>";
  struct rlimit old {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::istringstream bigIn(big);
  caught = Catch([&] { parser->setInput(bigIn, UnicodeString(), UnicodeString()); });
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(caught.code, 4103);
  EXPECT_EQ(caught.message, "Output stream error.");
  EXPECT_EQ(caught.source, "ObraCommon::ZelMSXmlParser");
}

std::string Repeat(const std::string& piece, int count) {
  std::string out;
  out.reserve(piece.size() * count);
  for (int i = 0; i < count; ++i) out += piece;
  return out;
}

// Hostile documents end with 0x1883 or load without the resource, through
// both input forms; the loopback server never sees a request.
TEST_F(MsxmlParserTest, HostileDocuments) {
  testsupport::HttpServer server;
  server.answer("/x.dtd", {"HTTP/1.1 200 OK\r\nContent-Type: text/plain", "<!ENTITY e 'remote'>"});
  const fs::path fifo = m_dir / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  fs::create_directories(m_dir / "folder");
  std::string laughs = "<!DOCTYPE r [<!ENTITY l0 'ha'>";
  for (int i = 1; i < 12; ++i)
    laughs += "<!ENTITY l" + std::to_string(i) + " '" + Repeat("&l" + std::to_string(i - 1) + ";", 10) + "'>";
  laughs += "]><r>&l11;</r>";
  std::string attributes = "<r";
  for (int i = 0; i < 20000; ++i) attributes += " a" + std::to_string(i) + "='v'";
  attributes += "/>";
  auto withDtd = [](const std::string& system) { return "<!DOCTYPE r SYSTEM '" + system + "'><r>[&e;]</r>"; };
  struct Row {
    const char* name;
    std::string text;
    int attributes;  // -1: 0x1883
  } rows[] = {
      {"recursive entities", "<!DOCTYPE r [<!ENTITY a '&b;'><!ENTITY b '&a;'>]><r>&a;</r>", -1},
      {"billion laughs", laughs, -1},
      {"300 nested elements", Repeat("<a>", 300) + Repeat("</a>", 300), -1},
      {"1,000,000 nested elements", Repeat("<a>", 1000000) + Repeat("</a>", 1000000), -1},
      {"20,000 attributes", attributes, 20000},
      {"a FIFO as DTD", withDtd(fifo.string()), -1},
      {"/dev/zero as DTD", withDtd("/dev/zero"), -1},
      {"a folder as DTD", withDtd((m_dir / "folder").string()), -1},
      {"the loopback server as DTD", "<!DOCTYPE r SYSTEM '" + server.url("/x.dtd") + "'><r/>", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    for (bool stream : {false, true}) {
      int count = -1;
      Caught caught = Catch([&] {
        auto parser = Open(row.text, stream);
        ASSERT_EQ(parser->next(), ZelXmlParser::START_TAG);
        count = parser->getAttributeCount();
        EXPECT_EQ(Events(*parser, false).substr(0, 0), "");
      });
      EXPECT_EQ(caught.code, row.attributes < 0 ? 0x1883 : 0) << caught.message;
      EXPECT_EQ(count, row.attributes);
    }
  }
  EXPECT_TRUE(server.requests().empty());
}

}  // namespace
