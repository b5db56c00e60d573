// The library's error messages and the names of the operations that raise
// them. Library messages start with "SYSTEM ERROR: "; codes without a text
// of their own carry the category's name. The origin names are texts the
// library's users may have matched, so they stay exactly as they are, two
// clipped ones ("startDocumen", "endTagt") included.
#include "error_raise.h"

#include <iterator>

#include "quarnel/error.h"

namespace ObraCommon {

namespace {

const char16_t* const kOriginNames[] = {
    u"ZelDocument::loadNextNode",
    u"ZelDocument::doSave",
    u"AttrNodeMap::setNamedItem",
    u"AttrNodeMap::setNamedItemNS",
    u"ZelElement::removeAttributeNode",
    u"ZelNode::setNodeValue",
    u"ZelNode::insertBefore",
    u"ZelNode::replaceChild",
    u"ZelNode::removeChild",
    u"ZelNode::appendChild",
    u"XmlParserImpl::checkStream",
    u"XmlParserImpl::pushStream",
    u"XmlParserImpl::setInput",
    u"XmlParserImpl::isWhitespace",
    u"XmlParserImpl::isEmptyElementTag",
    u"XmlParserImpl::getAttributeNamespace",
    u"XmlParserImpl::getAttributeName",
    u"XmlParserImpl::getAttributePrefix",
    u"XmlParserImpl::getAttributeValue",
    u"XmlSerializerImpl::setOutput",
    u"XmlSerializerImpl::startDocumen",
    u"XmlSerializerImpl::attributeSub",
    u"XmlSerializerImpl::endTagt",
    nullptr,
    u"XmlSerializerImpl::checkStream",
    nullptr,
    u"ZelMemStream",
    u"ZelTempFile",
    u"ZelMSXmlParser",
    u"ZelMSXmlParser::isWhitespace",
    u"ZelMSXmlParser::isEmptyElementTag",
    u"ZelMSXmlParser::getAttributeNamespace",
    u"ZelMSXmlParser::getAttributeName",
    u"ZelMSXmlParser::getAttributePrefix",
    u"ZelMSXmlParser::getAttributeValue",
};

UnicodeString LibraryMessage(uint16_t code, const UnicodeString& given, const UnicodeString& b) {
  UnicodeString a = given.isEmpty() ? UnicodeString(u"arg") : given;
  UnicodeString text(u"SYSTEM ERROR: ");
  switch (code) {
    case 2051: return text.append(a).append(u" is null.");
    case 2054: return text.append(a).append(u" is created from a different document.");
    case 2055: return text.append(a).append(u" is not an ZelAttr object.");
    case 2056: return text.append(a).append(u" is an ZelAttr that is already an attribute of another ZelElement object.");
    case 2057: return text.append(a).append(u" is not a child of this node.");
    case 2058: return text.append(a).append(u" cannot be inserted here.");
    case 2059:
      text.append(u"Cannot set a value on node type");
      return given.isEmpty() ? text.append(u".") : text.append(u": ").append(a);
    case 2060: return text.append(u"startDocument() must be called just after setOutput().");
    case 2061: return text.append(u"attribute() must be called just after startTag().");
    case 2062: return text.append(u"Unexpected endTag().");
    case 2063: return text.append(u"End tag '").append(a).append(u"' does not match the start tag '").append(b).append(u"'.");
    case 2064: return text.append(u"Unexpected docdecl().");
    case 2065: return text.append(a).append(u" cannot be written in this encoding.");
    case 2066: return text.append(u"Unsupported node type.");
    default: return text.append(u"ZelErrorCodeOBRALIB");
  }
}

UnicodeString IOMessage(uint16_t code, const UnicodeString& a) {
  switch (code) {
    case 4099: return UnicodeString(u"Cannot open file: ") + a;
    case 4100: return u"Unexpected end of input stream.";
    case 4101: return u"Output stream is not set.";
    case 4102: return u"Input stream error.";
    case 4103: return u"Output stream error.";
    case 4109: return UnicodeString(u"Cannot remove temporary file: ") + a;
    case 4110: return UnicodeString(u"Cannot create temporary file: ") + a;
    default: return u"ZelErrorCodeIO";
  }
}

}  // namespace

UnicodeString getErrorOriginName(int origin) {
  if (origin < 0 || origin >= static_cast<int>(std::size(kOriginNames)) || kOriginNames[origin] == nullptr)
    return UnicodeString();
  return UnicodeString(u"ObraCommon::").append(kOriginNames[origin]);
}

void throwLibraryError(uint16_t code, int origin, const UnicodeString& a, const UnicodeString& b) {
  throw ZelError(code, LibraryMessage(code, a, b), getErrorOriginName(origin));
}

void throwIOError(uint16_t code, int origin, const UnicodeString& a) {
  throw ZelError(code, IOMessage(code, a), getErrorOriginName(origin));
}

}  // namespace ObraCommon
