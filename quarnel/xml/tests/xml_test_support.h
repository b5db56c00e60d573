// What the XML parser tests share: a parser over a text, and a dump of the
// events it delivers with the reports a carry-on callback collects between
// them.
#pragma once

#include <sstream>
#include <string>

#include "quarnel/xml_parser_impl.h"
#include "support.h"

namespace ObraCommon {
// The parser's internals that tests reach directly.
class XmlParserImplTestAccess {
 public:
  static void Report(XmlParserImpl& parser, uint16_t code, const UnicodeString& a, const UnicodeString& b) {
    parser.reportError(code, a, b);
  }
  static bool PushStream(XmlParserImpl& parser, const UnicodeString& systemLiteral, ZelName entity) {
    return parser.pushStream(systemLiteral, entity);
  }
};
}  // namespace ObraCommon

namespace xml_test {

using ObraCommon::UnicodeString;
using ObraCommon::XmlParserImpl;
using ObraCommon::ZelError;
using ObraCommon::ZelName;
using ObraCommon::ZelPtr;
using ObraCommon::ZelXmlParser;
using quarnel_test::EngineStarted;
using quarnel_test::Utf8;

inline UnicodeString U(const std::string& text) { return UnicodeString::fromUTF8(text); }
inline std::string N(ZelName name) { return Utf8(name.toString()); }

// Reports as "#<code in hex>" in the order they arrive.
inline void CollectReport(const ZelError& error, void* data) {
  char code[8];
  std::snprintf(code, sizeof code, "#%X", error.getErrorCode());
  static_cast<std::string*>(data)->append(code).append(" ");
}

struct Session {
  std::istringstream input;
  ZelPtr<XmlParserImpl> parser{new XmlParserImpl()};
  std::string dump;

  explicit Session(const std::string& text, bool carryOn = true) : input(text) {
    if (carryOn) parser->setCallbackError(CollectReport, &dump);
    parser->setInput(input, UnicodeString(), UnicodeString());
  }
};

// One event: <qname {ns} attr="value" ...>, </qname>, T:text, C:cdata,
// &name=text, W:, P:text, !text, $ for the end.
inline std::string DescribeEvent(ZelXmlParser& parser, ZelXmlParser::EventType event) {
  std::string out;
  auto qname = [](ZelName prefix, ZelName local) { return prefix.isEmpty() ? N(local) : N(prefix) + ":" + N(local); };
  switch (event) {
    case ZelXmlParser::START_TAG:
      out = "<" + qname(parser.getPrefix(), parser.getName());
      if (!parser.getNamespace().isEmpty()) out += " {" + N(parser.getNamespace()) + "}";
      for (int i = 0; i < parser.getAttributeCount(); ++i) {
        out += " " + qname(parser.getAttributePrefix(i), parser.getAttributeName(i));
        if (!parser.getAttributeNamespace(i).isEmpty()) out += "{" + N(parser.getAttributeNamespace(i)) + "}";
        out += "=\"" + Utf8(parser.getAttributeValue(i)) + "\"";
      }
      return out + ">";
    case ZelXmlParser::END_TAG: return "</" + qname(parser.getPrefix(), parser.getName()) + ">";
    case ZelXmlParser::TEXT: return "T:" + Utf8(parser.getText());
    case ZelXmlParser::CDSECT: return "C:" + Utf8(parser.getText());
    case ZelXmlParser::ENTITY_REF: return "&" + N(parser.getName()) + "=" + Utf8(parser.getText());
    case ZelXmlParser::IGNORABLE_WHITESPACE: return "W:";
    case ZelXmlParser::PROCESSING_INSTRUCTION: return "P:" + Utf8(parser.getText());
    case ZelXmlParser::COMMENT: return "!" + Utf8(parser.getText());
    case ZelXmlParser::DOCDECL: return "D:" + Utf8(parser.getText());
    case ZelXmlParser::END_DOCUMENT: return "$";
    default: return "?";
  }
}

// Every event until the end (at most `limit`), each followed by a space.
inline std::string Dump(Session& session, bool tokens, int limit = 10000) {
  for (int i = 0; i < limit; ++i) {
    auto event = tokens ? session.parser->nextToken() : session.parser->next();
    session.dump += DescribeEvent(*session.parser, event) + " ";
    if (event == ZelXmlParser::END_DOCUMENT) break;
  }
  if (!session.dump.empty()) session.dump.pop_back();
  return session.dump;
}

inline std::string Dump(const std::string& text, bool tokens) {
  Session session(text);
  return Dump(session, tokens);
}

}  // namespace xml_test
