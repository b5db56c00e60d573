// Encodings the own parser reads: marks and "<" patterns, the names it
// decodes itself, converters over the engine (started and not), and
// external entities read as nested inputs with their text declarations, as
// far as the caller allows them to be opened.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "quarnel/uri.h"
#include "testsupport/http_server.h"
#include "testsupport/testdata.h"
#include "xml_test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace xml_test;
using ObraCommon::XmlParserImplTestAccess;
using ObraCommon::ZelUri;
using ObraCommon::ZelUriReferenceResolver;
using ObraCommon::ZelXmlUtil;

// ASCII text as UTF-16 or UTF-32 units in the given byte order.
std::string Wide(const std::string& ascii, int width, bool little) {
  std::string out;
  for (unsigned char c : ascii) {
    std::string unit(static_cast<size_t>(width), '\0');
    unit[little ? 0 : width - 1] = static_cast<char>(c);
    out += unit;
  }
  return out;
}
std::string Unit32(uint32_t v) {
  std::string out;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  return out;
}

struct Case {
  std::string document;
  const char* given;
  std::vector<ZelXmlParser::Feature> features;
  const char* dump;
  const char* encoding;
};

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    Session session(c.document);
    for (auto feature : c.features) session.parser->setFeature(feature, true);
    session.input.clear();
    session.input.seekg(0);
    session.parser->setInput(session.input, U(c.given), UnicodeString());
    EXPECT_EQ(Dump(session, false), c.dump) << c.given << " " << c.document;
    EXPECT_EQ(Utf8(session.parser->getInputEncoding()), c.encoding) << c.document;
  }
}

const std::string kDecl = "<?xml version='1.0' encoding='";

TEST(XmlEncodings, NamesMarksAndPatterns) {
  const std::string ff = "\xFF\xFE", fe = "\xFE\xFF";
  RunCases({
      // A UTF-8 mark does not win over a single-byte declaration.
      {"\xEF\xBB\xBF" + kDecl + "ISO-8859-1'?><a>\xC3\xA9</a>", "", {}, "#1839 <a> T:\xC3\x83\xC2\xA9 </a> $",
       "ISO-8859-1"},
      {ff + Wide(kDecl + "UTF-16'?><a/>", 2, true), "", {}, "<a> </a> $", "UTF-16"},
      {ff + Wide(kDecl + "UTF-8'?><a/>", 2, true), "", {}, "#1839 <a> </a> $", "UTF-16"},
      {fe + Wide(kDecl + "utf-16le'?><a/>", 2, false), "", {}, "#1839 <a> </a> $", "UTF-16"},
      {Wide(kDecl + "UTF-16'?><a/>", 2, false), "", {}, "<a> </a> $", "UTF-16"},
      {Wide(kDecl + "UTF-32'?><a/>", 4, true), "", {}, "<a> </a> $", "UTF-32"},
      {Wide(kDecl + "UCS-4'?><a/>", 4, false), "", {}, "<a> </a> $", "UCS-4"},
      {kDecl + " utf-8 '?><a>\xC3\xA9</a>", "", {}, "<a> T:\xC3\xA9 </a> $", " utf-8 "},
      {kDecl + "US-ASCII'?><a>\xE9</a>", "", {}, "<a> T:\xC3\xA9 </a> $", "US-ASCII"},
      {kDecl + "latin1'?><a>\xE9</a>", "", {}, "<a> T:\xC3\xA9 </a> $", "latin1"},
      {"<a>\xE9</a>", "ISO_8859-1:1987", {}, "<a> T:\xC3\xA9 </a> $", "ISO_8859-1:1987"},
      // A name that needs a converter is not put over 16- or 32-bit input:
      // after a mark it conflicts, without one it is ignored.
      {ff + Wide(kDecl + "Shift_JIS'?><a/>", 2, true), "", {}, "#1839 <a> </a> $", "UTF-16"},
      {Wide(kDecl + "Shift_JIS'?><a/>", 2, true), "UTF-16LE", {}, "<a> </a> $", "UTF-16LE"},
      {Wide(kDecl + "EUC-JP'?><a/>", 4, false), "", {}, "<a> </a> $", "UTF-32BE"},
      // Out of Unicode and surrogates in UTF-32; a broken pair in UTF-16.
      {Wide("<a>", 4, true) + Unit32(0xD800) + Unit32(0x110000) + Wide("</a>", 4, true), "", {},
       "<a> T:\xEF\xBF\xBD\xEF\xBF\xBD </a> $", "UTF-32LE"},
      {Wide("<a>", 2, true) + std::string("\x00\xD8\x62\x00", 4) + Wide("c</a>", 2, true), "", {},
       "<a> T:\xEF\xBF\xBD" "c </a> $", "UTF-16LE"},
  });
}

// The parser reads names, values and texts straight from its 64 KiB byte
// buffer and goes character by character where the buffer ends. A tag with
// namespaces, values with and without references, an entity's text and
// non-ASCII characters is placed so that the buffer ends before each of its
// bytes in turn, in UTF-8 and in both orders of UTF-16: every placement and
// every encoding gives the same events, positions and reports.
TEST(XmlEncodings, BufferEndsAnywhereInMarkup) {
  const std::string head = "<!DOCTYPE r [<!ENTITY e 'E &amp; f'>]><r><!--";
  const std::string construct =
      "<p:e xmlns:p='urn:p' a=\"x&amp;y&#x41;&lt;\" p:b='plain'\n c='t\tab' d='&e;' e='&#x1F600;'>"
      "t &amp; u&e;\xC3\xA9\xE6\x97\xA5\xE6\x9C\xAC<q:x xmlns:q=\"urn:q\"/>\n</p:e></r>";
  constexpr size_t kBuffer = 1 << 16;
  auto events = [](const std::string& document) {
    Session session(document);
    std::string out;
    for (int i = 0; i < 100; ++i) {
      const auto event = session.parser->next();
      out += DescribeEvent(*session.parser, event) + "@" + std::to_string(session.parser->getLineNumber()) + ":" +
             std::to_string(session.parser->getColumnNumber()) + " ";
      if (event == ZelXmlParser::END_DOCUMENT) break;
    }
    return session.dump + out;
  };
  // The document with the construct starting `at` bytes into it, in the
  // given width (1: UTF-8; 2: UTF-16 with a mark, little or big endian).
  auto document = [&](size_t at, int width, bool little) {
    const size_t mark = width == 2 ? 2 : 0;
    const size_t fixed = mark + static_cast<size_t>(width) * (head.size() + 4);
    const std::string text = head + std::string((at - fixed) / static_cast<size_t>(width), 'x') + "-->\n" + construct;
    if (width == 1) return text;
    const UnicodeString units = U(text);
    std::string out = little ? "\xFF\xFE" : "\xFE\xFF";
    for (int32_t i = 0; i < units.length(); ++i) {
      const char16_t u = units.charAt(i);
      out += static_cast<char>(little ? u & 0xFF : u >> 8);
      out += static_cast<char>(little ? u >> 8 : u & 0xFF);
    }
    return out;
  };
  const std::string expected = events(document(200, 1, true));
  ASSERT_NE(expected.find("a=\"x&yA<\" p:b{urn:p}=\"plain\" c=\"t ab\" d=\"E & f\" e=\"\xF0\x9F\x98\x80\">@3:32 "
                          "T:t & uE & f\xC3\xA9\xE6\x97\xA5\xE6\x9C\xAC@3:49"),
            std::string::npos)
      << expected;
  struct Form {
    int width;
    bool little;
  };
  for (const Form form : {Form{1, true}, Form{2, true}, Form{2, false}}) {
    const size_t length = construct.size() * static_cast<size_t>(form.width);
    EXPECT_EQ(events(document(200 * static_cast<size_t>(form.width), form.width, form.little)), expected);
    for (size_t before = 1; before <= length; before += static_cast<size_t>(form.width))
      EXPECT_EQ(events(document(kBuffer - before, form.width, form.little)), expected)
          << "width " << form.width << (form.little ? " LE" : " BE") << ", buffer ends " << before
          << " bytes into the construct";
  }
}

TEST(XmlEncodings, ConvertersWithoutAStartedEngine) {
  const std::string doc = kDecl + "Shift_JIS'?><a>b</a>";
  RunCases({
      {doc, "", {}, "#1835 <a> T:b </a> $", "Shift_JIS"},
      {doc, "", {ZelXmlParser::IGNORE_UNKNOWN_ENCODING}, "<a> T:b </a> $", "Shift_JIS"},
      {doc, "", {ZelXmlParser::IGNORE_UNKNOWN_ENCODING, ZelXmlParser::REPORT_CONVERTED_ENCODING},
       "#1835 <a> T:b </a> $", "Shift_JIS"},
            // Read on as XML's default, and named so.
      {"<a>b</a>", "EUC-JP", {}, "#1835 <a> T:b </a> $", "UTF-8"},
  });
  // Without a callback the unknown name is fatal.
  std::istringstream input(doc);
  XmlParserImpl parser;
  parser.setInput(input, UnicodeString(), UnicodeString());
  try {
    parser.next();
    ADD_FAILURE() << "no throw";
  } catch (const ZelError& error) {
    EXPECT_EQ(error.getErrorCode(), 0x1835);
  }
}

using XmlEncodingsWithEngine = EngineStarted;

TEST_F(XmlEncodingsWithEngine, DeclaredAndGivenCharsetsConvert) {
  const char* nihon = "\xE6\x97\xA5\xE6\x9C\xAC";
  const std::string expect = std::string("<a x=\"") + nihon + "\"> T:" + nihon + " </a> $";
  RunCases({
      {kDecl + "Shift_JIS'?><a x='\x93\xFA\x96\x7B'>\x93\xFA\x96\x7B</a>", "", {}, expect.c_str(), "Shift_JIS"},
      {kDecl + "EUC-JP'?><a x='\xC6\xFC\xCB\xDC'>\xC6\xFC\xCB\xDC</a>", "", {}, expect.c_str(), "EUC-JP"},
      {kDecl + "ISO-2022-JP'?><a x='\x1B$BF|K\\\x1B(B'>\x1B$BF|K\\\x1B(B</a>", "", {}, expect.c_str(),
       "ISO-2022-JP"},
      {"<a x='\x93\xFA\x96\x7B'>\x93\xFA\x96\x7B</a>", "shift_jis", {}, expect.c_str(), "shift_jis"},
      // Reported first when asked, then read all the same.
      {kDecl + "Shift_JIS'?><a x='\x93\xFA\x96\x7B'>\x93\xFA\x96\x7B</a>", "",
       {ZelXmlParser::REPORT_CONVERTED_ENCODING}, ("#1835 " + expect).c_str(), "Shift_JIS"},
      {kDecl + "NO-SUCH-CHARSET'?><a/>", "", {}, "#1835 <a> </a> $", "NO-SUCH-CHARSET"},
  });
  // Text well past the parser's first buffer still goes through the converter.
  std::string body;
  for (int i = 0; i < 50000; ++i) body += "\x93\xFA";
  std::istringstream input(kDecl + "Shift_JIS'?><a>" + body + "</a>");
  XmlParserImpl parser;
  parser.setInput(input, UnicodeString(), UnicodeString());
  ASSERT_EQ(parser.next(), ZelXmlParser::START_TAG);
  ASSERT_EQ(parser.next(), ZelXmlParser::TEXT);
  UnicodeString text = parser.getText();
  EXPECT_EQ(text.length(), 50000);
  EXPECT_EQ(text.indexOf(static_cast<char16_t>(0xFFFD)), -1);
  EXPECT_EQ(parser.next(), ZelXmlParser::END_TAG);
}

TEST_F(XmlEncodingsWithEngine, ExternalSubsetInShiftJis) {
  // A text declaration names the encoding without a version.
  fs::path dir = testsupport::TempDir() / "sjis";
  fs::create_directories(dir);
  std::ofstream(dir / "s.dtd", std::ios::binary) << "<?xml encoding=\"Shift_JIS\"?><!ENTITY e '\x93\xFA'>";
  std::istringstream doc("<!DOCTYPE d SYSTEM 's.dtd'><d>&e;</d>");
  XmlParserImpl parser;
  parser.setFeature(ZelXmlParser::LOAD_EXTERNAL_ENTITIES, true);
  parser.setInput(doc, UnicodeString(), U("file://" + (dir / "doc.xml").string()));
  ASSERT_EQ(parser.next(), ZelXmlParser::START_TAG);
  ASSERT_EQ(parser.next(), ZelXmlParser::TEXT);
  EXPECT_EQ(Utf8(parser.getText()), "\xE6\x97\xA5");
}

// External entities, opened through the test access as a reference would.
class XmlExternalInput : public ::testing::Test {
 protected:
  fs::path dir_ = testsupport::TempDir() / "xml-external";
  void SetUp() override { fs::create_directories(dir_); }
  std::string Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
    return (dir_ / name).string();
  }
  // The events after the entity's text was pushed right after <r>.
  std::string PushInto(const std::string& literal, bool* pushed = nullptr, const std::string& doc = "<r>tail</r>") {
    Session session(doc);
    session.parser->setFeature(ZelXmlParser::LOAD_EXTERNAL_ENTITIES, true);
    session.parser->nextToken();
    bool ok = XmlParserImplTestAccess::PushStream(*session.parser, U(literal), ZelName(U("e")));
    if (pushed != nullptr) *pushed = ok;
    return Dump(session, false);
  }
};

TEST_F(XmlExternalInput, TextDeclarationsAndEncodings) {
  struct Row {
    std::string bytes;
    const char* dump;
  };
  const std::vector<Row> rows = {
      {"abc", "T:abctail </r> $"},
      {"<?xml version='1.0' encoding='ISO-8859-1'?>\xE9", "T:\xC3\xA9tail </r> $"},
      // A text declaration needs no version.
      {"<?xml encoding='UTF-8'?><b/>", "<b> </b> T:tail </r> $"},
      {"\xFF\xFE" + Wide("<?xml encoding='UTF-16'?>x", 2, true), "T:xtail </r> $"},
      {Wide("<?xml encoding='UTF-16'?>y", 2, false), "T:ytail </r> $"},
      {"<?xml encoding='UTF-8'>z", "#180C T:ztail </r> $"},
      {"<?xml-stylesheet href='a'?>x", "T:xtail </r> $"},
      {"", "T:tail </r> $"},
  };
  int n = 0;
  for (const Row& row : rows) {
    std::string path = Write("text" + std::to_string(n++) + ".ent", row.bytes);
    EXPECT_EQ(PushInto("file://" + path), row.dump) << row.bytes;
  }
  // A name that the entity begins and the document ends (found by the
  // xml_pull harness: the name reader kept the entity's freed buffer).
  Write("split.ent", "<ab");
  EXPECT_EQ(PushInto("file://" + (dir_ / "split.ent").string(), nullptr, "<r>cd/>tail</r>"),
            "<abcd> </abcd> T:tail </r> $");
  // A literal relative to the document's base.
  Write("rel.ent", "rel");
  std::istringstream doc("<r>tail</r>");
  XmlParserImpl parser;
  parser.setFeature(ZelXmlParser::LOAD_EXTERNAL_ENTITIES, true);
  std::string base = "file://" + dir_.string() + "/doc.xml";
  parser.setInput(doc, UnicodeString(), U(base));
  parser.nextToken();
  ASSERT_TRUE(XmlParserImplTestAccess::PushStream(parser, U("rel.ent"), ZelName(U("e"))));
  EXPECT_EQ(parser.next(), ZelXmlParser::TEXT);
  EXPECT_EQ(Utf8(parser.getText()), "reltail");
}

TEST_F(XmlExternalInput, OnlyRegularFilesOpenAndMissingOnesThrow) {
  std::string fifo = (dir_ / "fifo").string();
  fs::remove(fifo);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, dir_.string(), (dir_ / "missing.ent").string()}) {
    Session session("<r/>");
    session.parser->setFeature(ZelXmlParser::LOAD_EXTERNAL_ENTITIES, true);
    session.parser->nextToken();
    try {
      XmlParserImplTestAccess::PushStream(*session.parser, U("file://" + path), ZelName(U("e")));
      ADD_FAILURE() << path;
    } catch (const ZelError& error) {
      EXPECT_EQ(error.getErrorCode(), 4099) << path;
    }
  }
  // A parser blocked from everything external opens not even a file.
  std::string file = Write("blocked.ent", "x");
  Session session("<r>tail</r>");
  session.parser->setFeature(ZelXmlParser::LOAD_EXTERNAL_ENTITIES, true);
  session.parser->setExternalResourcesBlocked(true);
  session.parser->nextToken();
  EXPECT_FALSE(XmlParserImplTestAccess::PushStream(*session.parser, U("file://" + file), ZelName(U("e"))));
  EXPECT_EQ(Dump(session, false), "#1E3E T:tail </r> $");
}

TEST_F(XmlExternalInput, RemoteEntitiesOnlyWhenAllowed) {
  testsupport::ScopedEnv http("http_proxy", nullptr), all("ALL_PROXY", nullptr);
  testsupport::HttpServer server;
  server.answer("/e.ent", {"HTTP/1.1 200 OK\r\nContent-Type: text/plain", "remote"});
  ASSERT_FALSE(ZelXmlUtil::getRemoteEntityLoading());
  bool pushed = true;
  // Not fetched: nothing comes in, and the hole is reported.
  EXPECT_EQ(PushInto(server.url("/e.ent"), &pushed), "#1E3E T:tail </r> $");
  EXPECT_FALSE(pushed);
  EXPECT_TRUE(server.requests().empty());

  // A resolver is still asked while remote loading is off.
  struct Resolver : ZelUriReferenceResolver {
    std::istream* resolveStream(const UnicodeString& uri) override {
      return uri == u"urn:x:e" ? new std::istringstream("served") : nullptr;
    }
  } resolver;
  ZelUriReferenceResolver* old = ZelUri::setUriReferenceResolver(&resolver);
  EXPECT_EQ(PushInto("urn:x:e"), "T:servedtail </r> $");
  ZelUri::setUriReferenceResolver(old);

  ZelXmlUtil::setRemoteEntityLoading(true);
  EXPECT_EQ(PushInto(server.url("/e.ent")), "T:remotetail </r> $");
  ZelXmlUtil::setRemoteEntityLoading(false);
  EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(XmlExternalInput, NestingIsBounded) {
  std::string path = "file://" + Write("nest.ent", "n");
  // The same entity inside itself, then more entities open than allowed.
  Session session("<r>tail</r>");
  session.parser->setFeature(ZelXmlParser::LOAD_EXTERNAL_ENTITIES, true);
  session.parser->nextToken();
  EXPECT_TRUE(XmlParserImplTestAccess::PushStream(*session.parser, U(path), ZelName(U("e"))));
  EXPECT_FALSE(XmlParserImplTestAccess::PushStream(*session.parser, U(path), ZelName(U("e"))));
  for (int i = 0; i < 70; ++i)
    XmlParserImplTestAccess::PushStream(*session.parser, U(path), ZelName(U("e" + std::to_string(i))));
  EXPECT_EQ(Dump(session, false), "#183A #183B #183B #183B #183B #183B #183B #183B T:" + std::string(64, 'n') +
                                      "tail </r> $");
}

}  // namespace

namespace corpus {

// The events next delivers (the forms' declarations and comments differ
// a little) and the reports of a document opened by its URI, so that its
// DTD is read from beside it.
std::string Events(const fs::path& file, bool& accepted) {
  Session session("<r/>");
  session.parser->setFeature(ZelXmlParser::LOAD_EXTERNAL_ENTITIES, true);
  session.parser->setInput(U("file://" + file.string()), UnicodeString(), UnicodeString());
  std::string dump = Dump(session, false);
  accepted = dump.find('#') == std::string::npos;
  // Only fatal reports would reject the document.
  XmlParserImpl strict;
  strict.setFeature(ZelXmlParser::LOAD_EXTERNAL_ENTITIES, true);
  strict.setInput(U("file://" + file.string()), UnicodeString(), UnicodeString());
  try {
    while (strict.next() != ZelXmlParser::END_DOCUMENT) {
    }
    accepted = true;
  } catch (const ZelError& error) {
    accepted = false;
    dump += " thrown " + std::to_string(error.getErrorCode());
  }
  return dump;
}

using XmlJapaneseCorpus = EngineStarted;

TEST_F(XmlJapaneseCorpus, EveryFormReadsAlike) {
  TESTDATA_OR_SKIP(dir, "xml/xmlconf/japanese");
  std::map<std::string, std::vector<std::string>> groups;
  int documents = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() != ".xml") continue;
    ++documents;
    const std::string name = entry.path().stem().string();
    bool accepted = false;
    std::string events = Events(entry.path(), accepted);
    EXPECT_TRUE(accepted) << name << ": " << events.substr(0, 300);
    // The byte forms of one text, the 16-bit forms apart: the same events.
    std::string group = name.substr(0, name.find('-'));
    bool wide = name.find("utf-16") != std::string::npos || name.find("little-endian") != std::string::npos;
    if (group == "pr" && wide) group = "pr-utf-16";
    if (group != "japanese") groups[group].push_back(events);
  }
  EXPECT_GT(documents, 0);
  for (const auto& [group, forms] : groups) {
    EXPECT_GT(forms.size(), 1u) << group;
    for (const std::string& form : forms) {
      size_t at = std::mismatch(form.begin(), form.end(), forms.front().begin(), forms.front().end()).first -
                  form.begin();
      EXPECT_TRUE(form == forms.front()) << group << " differs at " << at << ": "
                                         << form.substr(at > 60 ? at - 60 : 0, 160) << "\n against "
                                         << forms.front().substr(at > 60 ? at - 60 : 0, 160);
    }
  }
}

}  // namespace corpus
