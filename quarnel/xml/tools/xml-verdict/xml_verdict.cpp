#include "xml_verdict.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "quarnel/xml_parser_impl.h"

namespace xml_verdict {

namespace {

using ObraCommon::UnicodeString;
using ObraCommon::XmlParserImpl;
using ObraCommon::ZelError;
using ObraCommon::ZelName;
using ObraCommon::ZelPtr;
using ObraCommon::ZelXmlParser;

std::string Utf8(const UnicodeString& text) {
  std::string out;
  return text.toUTF8String(out);
}

// Reports the parser would not throw have the 0x400 bit set.
bool IsFatal(uint16_t code) { return (code & 0x400) == 0; }

void Record(const ZelError& error, void* data) {
  static_cast<Verdict*>(data)->codes.push_back(error.getErrorCode());
}

std::string QName(ZelName prefix, ZelName local) {
  return prefix.isEmpty() ? Utf8(local.toString()) : Utf8(prefix.toString()) + ":" + Utf8(local.toString());
}

// The start tag with the namespace declarations made on it, which the
// parser gives as bindings rather than attributes.
std::string StartTag(XmlParserImpl& parser) {
  std::vector<std::pair<std::string, std::string>> attributes;
  const int depth = parser.getDepth();
  for (int i = parser.getNamespaceCount(depth - 1); i < parser.getNamespaceCount(depth); ++i) {
    const ZelName prefix = parser.getNamespacePrefix(i);
    attributes.emplace_back(prefix.isEmpty() ? "xmlns" : "xmlns:" + Utf8(prefix.toString()),
                            Utf8(parser.getNamespaceUri(i).toString()));
  }
  for (int i = 0; i < parser.getAttributeCount(); ++i)
    attributes.emplace_back(QName(parser.getAttributePrefix(i), parser.getAttributeName(i)),
                            Utf8(parser.getAttributeValue(i)));
  return CanonicalStartTag(QName(parser.getPrefix(), parser.getName()), std::move(attributes));
}

void Append(XmlParserImpl& parser, ZelXmlParser::EventType event, std::string& out) {
  switch (event) {
    case ZelXmlParser::START_TAG: out += StartTag(parser); break;
    case ZelXmlParser::END_TAG: out += "</" + QName(parser.getPrefix(), parser.getName()) + ">"; break;
    case ZelXmlParser::TEXT:
    case ZelXmlParser::CDSECT:
    case ZelXmlParser::ENTITY_REF: out += CanonicalEscape(Utf8(parser.getText())); break;
    case ZelXmlParser::IGNORABLE_WHITESPACE:
      // White space outside the root element is not part of the form.
      if (parser.getDepth() > 0) out += CanonicalEscape(Utf8(parser.getText()));
      break;
    case ZelXmlParser::PROCESSING_INSTRUCTION: out += "<?" + Utf8(parser.getText()) + "?>"; break;
    default: break;
  }
}

}  // namespace

Verdict Judge(const std::string& path, bool canonical) {
  Verdict verdict;
  try {
    ZelPtr<XmlParserImpl> parser(new XmlParserImpl());
    parser->setCallbackError(Record, &verdict);
    // The suite's documents are built from the files beside them.
    parser->setFeature(ZelXmlParser::LOAD_EXTERNAL_ENTITIES, true);
    parser->setInput(UnicodeString::fromUTF8("file://" + path), UnicodeString(), UnicodeString());
    for (;;) {
      const auto event = parser->next();
      if (event == ZelXmlParser::END_DOCUMENT) break;
      if (canonical) Append(*parser, event, verdict.canonical);
    }
  } catch (const ZelError& error) {
    char code[8];
    std::snprintf(code, sizeof code, "%X", error.getErrorCode());
    verdict.thrown = code;
  }
  verdict.rejected = !verdict.thrown.empty() || std::any_of(verdict.codes.begin(), verdict.codes.end(), IsFatal);
  return verdict;
}

std::string DescribeCodes(const Verdict& verdict) {
  std::string out;
  char code[12];
  for (uint16_t value : verdict.codes) {
    std::snprintf(code, sizeof code, "#%X ", value);
    out += code;
  }
  if (!verdict.thrown.empty()) out += "!" + verdict.thrown + " ";
  if (!out.empty()) out.pop_back();
  return out;
}

std::string CanonicalEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\t': out += "&#9;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string CanonicalStartTag(const std::string& name, std::vector<std::pair<std::string, std::string>> attributes) {
  std::sort(attributes.begin(), attributes.end());
  std::string out = "<" + name;
  for (const auto& [attribute, value] : attributes) out += " " + attribute + "=\"" + CanonicalEscape(value) + "\"";
  return out + ">";
}

}  // namespace xml_verdict
