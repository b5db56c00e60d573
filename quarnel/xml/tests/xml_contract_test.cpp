// The pull-parser contract as callers rely on it: events and their order,
// accessor errors, reports through the callback or thrown, positions, and
// input by URI.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "quarnel/namespace_manager.h"
#include "quarnel/shared_strings.h"
#include "quarnel/xml_parser.h"
#include "testsupport/testdata.h"
#include "xml_test_support.h"

namespace {

using namespace xml_test;
using ObraCommon::NamespaceManager;
using ObraCommon::NamespaceMap;
using ObraCommon::NamespaceMapIterator;
using ObraCommon::XmlParserImplTestAccess;
using ObraCommon::ZelBogusString;
using ObraCommon::ZelXmlUtil;

TEST(XmlContract, FactoryAndTypes) {
  ZelPtr<ZelXmlParser> parser = ZelXmlUtil::createXmlParser();
  EXPECT_EQ(parser->getRefCount(), 1);
  EXPECT_TRUE(parser->isA(0x5C58F35A) && parser->isA(0x07416767) && parser->isA(0x90AF0240) && parser->isA(0xA4EBD8C4));
  EXPECT_FALSE(parser->isA(0x6066CC3A));
  EXPECT_EQ(Utf8(parser->getTypeName()), "XmlParserImpl");
  EXPECT_EQ(parser->getEventType(), ZelXmlParser::START_DOCUMENT);
  parser->setFeature(static_cast<ZelXmlParser::Feature>(7), true);
  EXPECT_FALSE(parser->getFeature(static_cast<ZelXmlParser::Feature>(7)));
  EXPECT_FALSE(parser->getFeature(ZelXmlParser::LOAD_EXTERNAL_ENTITIES));
  parser->setFeature(ZelXmlParser::LENIENT_PREFIXES, true);
  EXPECT_TRUE(parser->getFeature(ZelXmlParser::LENIENT_PREFIXES));
  EXPECT_EQ(ZelXmlParser::getMathMLEntity(U("alpha")), UnicodeString(u"\u03B1"));
}

TEST(XmlContract, EventsPositionsAndTheRepeatingEnd) {
  Session session("<a>x</a>\n");
  XmlParserImpl& parser = *session.parser;
  EXPECT_EQ(parser.getEventType(), ZelXmlParser::START_DOCUMENT);
  EXPECT_EQ(parser.getLineNumber(), -1);
  EXPECT_EQ(parser.getColumnNumber(), -1);
  EXPECT_EQ(Utf8(parser.getPositionDescription()), "START_DOCUMENT.");
  EXPECT_EQ(parser.next(), ZelXmlParser::START_TAG);
  EXPECT_EQ(parser.getDepth(), 1);
  EXPECT_FALSE(parser.isEmptyElementTag());
  EXPECT_EQ(Utf8(parser.getPositionDescription()), "START_TAG, Line 1, Col 3.");
  EXPECT_EQ(parser.next(), ZelXmlParser::TEXT);
  EXPECT_EQ(parser.getAttributeCount(), -1);
  EXPECT_FALSE(parser.isWhitespace());
  EXPECT_EQ(parser.getName(), ZelName());
  EXPECT_EQ(parser.next(), ZelXmlParser::END_TAG);
  EXPECT_EQ(N(parser.getName()), "a");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(parser.next(), ZelXmlParser::END_DOCUMENT);
  EXPECT_EQ(parser.nextToken(), ZelXmlParser::END_DOCUMENT);
  EXPECT_EQ(parser.getDepth(), 0);
  EXPECT_EQ(session.dump, "");
}

TEST(XmlContract, AccessorsInTheWrongStateThrowWithTheirSources) {
  Session session("<a b=''>t</a>");
  XmlParserImpl& parser = *session.parser;
  struct Row {
    ZelXmlParser::EventType at;
    std::function<void()> call;
    uint16_t code;
    const char* source;
  };
  const std::vector<Row> rows = {
      {ZelXmlParser::START_TAG, [&] { parser.getAttributeValue(1); }, 2052, "getAttributeValue"},
      {ZelXmlParser::START_TAG, [&] { parser.getAttributeName(-1); }, 2052, "getAttributeName"},
      {ZelXmlParser::START_TAG, [&] { parser.getAttributePrefix(1); }, 2052, "getAttributePrefix"},
      {ZelXmlParser::START_TAG, [&] { parser.getAttributeNamespace(5); }, 2052, "getAttributeNamespace"},
      {ZelXmlParser::START_TAG, [&] { parser.isWhitespace(); }, 2059, "isWhitespace"},
      {ZelXmlParser::TEXT, [&] { parser.getAttributeValue(0); }, 2052, "getAttributeValue"},
      {ZelXmlParser::TEXT, [&] { parser.getAttributeValue(ZelName(), ZelName(U("b"))); }, 2052, "getAttributeValue"},
      {ZelXmlParser::TEXT, [&] { parser.isEmptyElementTag(); }, 2059, "isEmptyElementTag"},
  };
  ASSERT_EQ(parser.next(), ZelXmlParser::START_TAG);
  // Absent and empty are told apart.
  EXPECT_FALSE(parser.getAttributeValue(ZelName(), ZelName(U("b"))).isBogus());
  EXPECT_TRUE(parser.getAttributeValue(ZelName(), ZelName(U("b"))).isEmpty());
  EXPECT_TRUE(parser.getAttributeValue(ZelName(), ZelName(U("c"))).isBogus());
  for (const Row& row : rows) {
    while (parser.getEventType() != row.at) parser.next();
    try {
      row.call();
      ADD_FAILURE() << row.source << " did not throw";
    } catch (const ZelError& error) {
      EXPECT_EQ(error.getErrorCode(), row.code) << row.source;
      EXPECT_EQ(Utf8(error.getSource()), std::string("ObraCommon::XmlParserImpl::") + row.source);
    }
  }
}

TEST(XmlContract, WithoutACallbackTheFirstFatalReportIsThrownWithThePosition) {
  Session session("<a>\n</b>", false);
  EXPECT_EQ(session.parser->next(), ZelXmlParser::START_TAG);
  EXPECT_EQ(session.parser->next(), ZelXmlParser::TEXT);
  try {
    session.parser->next();
    ADD_FAILURE() << "no throw";
  } catch (const ZelError& error) {
    EXPECT_EQ(error.getErrorCode(), 0x1806);
    EXPECT_EQ(Utf8(error.getRawMessage()),
              "End tag 'b' does not match the start tag 'a'.\nEND_TAG, Line 2, Col 4.");
    EXPECT_EQ(Utf8(error.getSource()), "ObraCommon::XmlParserImpl");
    EXPECT_EQ(error.getLineNumber(), -1);
  }
}

TEST(XmlContract, WarningsAreNotThrownAndTheReferenceGivesNothing) {
  Session session("<a>x&undeclared;y</a>", false);
  EXPECT_EQ(Dump(session, false), "<a> T:xy </a> $");
}

struct ReportCase {
  uint16_t code;
  const char* a;
  const char* b;
  const char* message;
  bool thrown;
};

TEST(XmlReportError, ByCallbackOrThrown) {
  const std::vector<ReportCase> cases = {
      {0x1806, "b", "a", "End tag 'b' does not match the start tag 'a'.", true},
      {0x1E06, "b", "a", "End tag 'b' does not match the start tag 'a'.", false},
      {0x1E1E, "x", "", "Reference to undefined entity: &x;", false},
      {0x1E1D, "x", "", "Reference to undefined entity: %x;", false},
      {0x180E, "U+0061 (a)", "", "Unexpected text at top level of the document: U+0061 (a)", true},
      {0x1837, "", "", "XML parser error.", true},
      {0x1838, "", "", "XML parser error.", true},
      {0x183A, "&e;", "", "Recursive entity reference: &e;.", true},
      {0x183B, "", "", "Entity expansion limit exceeded.", true},
      {0x1234, "", "", "XML parser error.", true},
  };
  for (const ReportCase& c : cases) {
    std::istringstream in("<a/>");
    XmlParserImpl parser;
    parser.setInput(in, UnicodeString(), U("file:///doc.xml"));
    struct Seen {
      int calls = 0;
      ZelError error;
    } seen;
    parser.setCallbackError([](const ZelError& error, void* data) {
      auto* s = static_cast<Seen*>(data);
      ++s->calls;
      s->error = error;
    }, &seen);
    XmlParserImplTestAccess::Report(parser, c.code, U(c.a), U(c.b));
    ASSERT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.error.getErrorCode(), c.code);
    EXPECT_EQ(Utf8(seen.error.getRawMessage()), c.message);
    EXPECT_EQ(seen.error.getLineNumber(), -1);
    EXPECT_EQ(seen.error.getColumnNumber(), -1);
    EXPECT_TRUE(seen.error.getUri().isEmpty());

    parser.setCallbackError(nullptr, nullptr);
    bool thrown = false;
    try {
      XmlParserImplTestAccess::Report(parser, c.code, U(c.a), U(c.b));
    } catch (const ZelError& error) {
      thrown = true;
      EXPECT_EQ(error.getErrorCode(), c.code & 0xF8FF);
      EXPECT_EQ(Utf8(error.getRawMessage()), std::string(c.message) + "\nSTART_DOCUMENT, 'file:///doc.xml'.");
    }
    EXPECT_EQ(thrown, c.thrown) << std::hex << c.code;
  }
}

// A callback that pulls from the parser in the middle of a report meets the
// end of the document; the interrupted token finishes on an ended input.
TEST(XmlContract, ACallbackThatCallsNextEndsTheDocument) {
  for (const char* document : {"<a><b></a>", "<a b='1 c='2'/>", "<a>x&undeclared;<![CDATA[", "<a>&#1;y</a>"}) {
    std::istringstream in(document);
    XmlParserImpl parser;
    struct Seen {
      XmlParserImpl* parser;
      std::vector<ZelXmlParser::EventType> inside;
    } seen{&parser, {}};
    parser.setCallbackError([](const ZelError&, void* data) {
      auto* s = static_cast<Seen*>(data);
      s->inside.push_back(s->parser->next());
    }, &seen);
    parser.setInput(in, UnicodeString(), UnicodeString());
    int events = 0;
    while (parser.next() != ZelXmlParser::END_DOCUMENT) ASSERT_LT(++events, 20) << document;
    ASSERT_FALSE(seen.inside.empty()) << document;
    for (auto event : seen.inside) EXPECT_EQ(event, ZelXmlParser::END_DOCUMENT) << document;
  }
}

TEST(XmlContract, InputByUri) {
  const auto dir = testsupport::TempDir();
  const auto file = dir / "doc.xml";
  ASSERT_TRUE(testsupport::WriteFile(file, "<a>\xE6\x97\xA5</a>"));
  XmlParserImpl parser;
  parser.setInput(U(file.string()), UnicodeString(), UnicodeString());
  EXPECT_EQ(Utf8(parser.getBaseUri()), dir.string() + "/");
  EXPECT_EQ(parser.next(), ZelXmlParser::START_TAG);
  EXPECT_EQ(Utf8(parser.getPositionDescription()), "START_TAG, '" + file.string() + "', Line 1, Col 3.");
  EXPECT_EQ(parser.next(), ZelXmlParser::TEXT);
  EXPECT_EQ(Utf8(parser.getText()), "\xE6\x97\xA5");

  struct Row {
    std::function<void()> call;
    uint16_t code;
    const char* message;
    const char* source;
  };
  std::istringstream empty("");
  const std::string missing = (dir / "missing.xml").string();
  const std::vector<Row> rows = {
      {[&] { parser.setInput(U(missing), UnicodeString(), UnicodeString()); }, 4099,
       "Cannot open file: ", "setInput"},
      {[&] { parser.setInput(empty, UnicodeString(), UnicodeString()); }, 4100, "Unexpected end of input stream.",
       "checkStream"},
  };
  for (const Row& row : rows) {
    try {
      row.call();
      ADD_FAILURE() << row.source;
    } catch (const ZelError& error) {
      EXPECT_EQ(error.getErrorCode(), row.code);
      EXPECT_EQ(Utf8(error.getRawMessage()).rfind(row.message, 0), 0u) << Utf8(error.getRawMessage());
      EXPECT_EQ(Utf8(error.getSource()), std::string("ObraCommon::XmlParserImpl::") + row.source);
    }
  }
}

TEST(XmlContract, EncodingsDetectedFromTheFirstBytes) {
  struct Row {
    std::string document;
    const char* encoding;
    const char* dump;
  };
  const std::vector<Row> rows = {
      // No mark and no "<" first: UTF-8 all the same.
      {"\n<a>\xE6\x97\xA5\xE6\x9C\xAC</a>", "UTF-8", "W: <a> T:\xE6\x97\xA5\xE6\x9C\xAC </a> $"},
      {"\xEF\xBB\xBF<a>\xC3\xA9</a>", "UTF-8", "<a> T:\xC3\xA9 </a> $"},
      {"<?xml version='1.0'?><a>\xC3\xA9</a>", "UTF-8", "<a> T:\xC3\xA9 </a> $"},
      {std::string("<\0a\0/\0>\0", 8), "UTF-16LE", "<a> </a> $"},
      {std::string("\xFF\xFE<\0a\0/\0>\0", 10), "UTF-16", "<a> </a> $"},
      {std::string("\xFE\xFF\0<\0a\0/\0>", 10), "UTF-16", "<a> </a> $"},
      {"\xEF\xBB<a/>", "UTF-8", "#1834 <a> </a> $"},
      {"\xEF<a/>", "UTF-8", "#1834 <a> </a> $"},
  };
  for (const Row& row : rows) {
    Session session(row.document);
    EXPECT_EQ(Dump(session, true), row.dump);
    session.input.clear();
    Session again(row.document);
    again.parser->nextToken();
    EXPECT_EQ(Utf8(again.parser->getInputEncoding()), row.encoding);
  }
}

TEST(XmlContract, DocumentKinds) {
  struct Row {
    std::string document;
    const char* mediaType;
    const char* extension;
    bool xhtml;
    bool html;
  };
  const std::vector<Row> rows = {
      {"<html xmlns='http://www.w3.org/1999/xhtml'/>", "", "", true, false},
      {"<HTML/>", "", "", false, true},
      {"<?xml version='1.0'?><html/>", "", "", false, false},
      {"<a/>", "text/html", "", false, true},
      {"<a/>", "Application/XHTML+xml", "", true, false},
      {"<a/>", "", ".XHT", true, false},
      {"<a/>", "", ".htm", false, true},
  };
  for (const Row& row : rows) {
    Session session(row.document);
    session.parser->setStreamType(U(row.mediaType), U(row.extension));
    Dump(session, false);
    EXPECT_EQ(session.parser->isXhtmlDocument(), row.xhtml) << row.document << row.mediaType << row.extension;
    EXPECT_EQ(session.parser->isHtmlDocument(), row.html) << row.document << row.mediaType << row.extension;
  }
}

TEST(XmlNamespaces, ManagerScopes) {
  ZelPtr<NamespaceManager> manager(new NamespaceManager());
  const ZelName xml(U("xml")), p(U("p")), u(U("u")), v(U("v"));
  EXPECT_EQ(N(manager->getNamespaceUri(xml)), "http://www.w3.org/XML/1998/namespace");
  EXPECT_EQ(manager->getDepth(), 0);
  EXPECT_EQ(manager->getNamespaceCount(0), 2);
  EXPECT_FALSE(manager->popScope());
  EXPECT_TRUE(manager->isA(0x6066CC3A) && manager->isA(0x90AF0240));

  manager->pushScope();
  manager->declarePrefix(p, u);
  manager->declarePrefix(p, u);
  EXPECT_EQ(manager->getNamespaceCount(1), 1);
  manager->pushScope();
  manager->declarePrefix(p, u);
  EXPECT_EQ(manager->getNamespaceCount(2), 0);
  manager->declarePrefix(p, v);
  EXPECT_EQ(manager->getNamespaceCount(2), 1);
  EXPECT_EQ(manager->getPrefix(v), p);
  EXPECT_EQ(manager->getPrefix(u), p);  // the outer binding, not checked against the inner one

  manager->declarePrefix(ZelName(), v);
  EXPECT_EQ(manager->getDefaultNamespace(), v);
  manager->pushScope();
  manager->declarePrefix(ZelName(), ZelName());
  EXPECT_EQ(manager->getDefaultNamespace(), ZelName());
  EXPECT_EQ(manager->getNamespaceUri(ZelName()), ZelName());
  EXPECT_TRUE(manager->isPrefixDeclared(ZelName()));
  EXPECT_TRUE(manager->popScope());
  EXPECT_EQ(manager->getDefaultNamespace(), v);

  // Declarations come in name-number order, not in the order made.
  manager->pushScope();
  const ZelName late(U("zz-declared-first-but-numbered-late-" + std::to_string(reinterpret_cast<uintptr_t>(&manager))));
  manager->declarePrefix(late, u);
  manager->declarePrefix(xml, v);
  EXPECT_EQ(manager->getDeclaredPrefix(0), xml);
  EXPECT_EQ(manager->getDeclaredPrefix(1), late);
  EXPECT_EQ(manager->getDeclaredUri(1), u);
  EXPECT_EQ(manager->getDeclaredPrefix(2), ZelName());
  manager->undeclarePrefix(late, v);
  EXPECT_EQ(manager->getNamespaceCount(manager->getDepth()), 2);
  manager->undeclarePrefix(late, u);
  EXPECT_EQ(manager->getNamespaceCount(manager->getDepth()), 1);
}

TEST(XmlNamespaces, MapIterator) {
  ZelPtr<NamespaceMap> map(new NamespaceMap());
  const ZelName a(U("a")), b(U("b")), u(U("u"));
  map->declare(b, u);
  map->declare(a, u);
  map->declare(ZelName(), u);
  EXPECT_EQ(map->getPrefix(u), ZelName(std::min<int32_t>(a, b)));
  EXPECT_EQ(map->getDefaultUri(), u);
  NamespaceMapIterator it(*map);
  std::vector<ZelName> forward;
  while (it.hasNext()) forward.push_back(it.next().first);
  ASSERT_EQ(forward.size(), 3u);
  EXPECT_EQ(forward[0], ZelName());
  EXPECT_FALSE(it.hasNext());
  EXPECT_EQ(it.previous().first, forward[2]);
  it.setToStart();
  EXPECT_FALSE(it.hasPrevious());
  it.setToEnd();
  EXPECT_TRUE(it.hasPrevious());
  EXPECT_EQ(map->getUriAt(3), ZelName());
}

TEST(XmlNamespaces, QualifiedNames) {
  struct Row {
    const char* qname;
    const char* prefix;
    const char* local;
  };
  for (const Row& row : std::vector<Row>{{"p:l", "p", "l"}, {":x", "", "x"}, {"x", "", "x"}, {"a:b:c", "a", "b:c"}}) {
    EXPECT_EQ(Utf8(ZelXmlUtil::getPrefixFromQNameStr(U(row.qname))), row.prefix);
    EXPECT_EQ(Utf8(ZelXmlUtil::getLocalPartFromQNameStr(U(row.qname))), row.local);
    EXPECT_EQ(N(ZelXmlUtil::getPrefixFromQName(ZelName(U(row.qname)))), row.prefix);
    EXPECT_EQ(N(ZelXmlUtil::getLocalPartFromQName(ZelName(U(row.qname)))), row.local);
  }
  const ZelName local(U("l"));
  EXPECT_EQ(ZelXmlUtil::getLocalPartFromQName(local), local);
  EXPECT_EQ(ZelXmlUtil::makeQName(ZelName(), local), local);
  EXPECT_EQ(ZelXmlUtil::makeQName(ZelName(U("p")), local), ZelXmlUtil::makeQName(ZelName(U("p")), local));
  EXPECT_EQ(N(ZelXmlUtil::makeQName(ZelName(U("p")), local)), "p:l");
  EXPECT_EQ(Utf8(ZelXmlUtil::makeQNameStr(U(""), U("l"))), "l");
}

}  // namespace
