// Finding out what kind of XML document a resource holds by reading it only
// as far as its root element, and spelling namespace-qualified names.
#include <memory>

#include "error_raise.h"
#include "quarnel/mem_stream.h"
#include "quarnel/uri.h"
#include "quarnel/xml_parser.h"
#include "xml_errors.h"
#include "xml_names.h"

namespace ObraCommon {

namespace {

const char16_t kFormattingObjectsNamespace[] = u"http://www.w3.org/1999/XSL/Format";
const char16_t kXsltNamespace[] = u"http://www.w3.org/1999/XSL/Transform";

ZelPtr<ZelXmlParser> makeRootParser() {
  ZelPtr<ZelXmlParser> parser = ZelXmlUtil::createXmlParser();
  parser->setFeature(ZelXmlParser::SKIP_EXTERNAL_DTD, true);
  parser->setFeature(ZelXmlParser::LENIENT_ENTITIES, true);
  parser->setFeature(ZelXmlParser::LENIENT_PREFIXES, true);
  parser->setFeature(ZelXmlParser::IGNORE_UNKNOWN_ENCODING, true);
  return parser;
}

// Reads on to the first start tag; the parser when there is one.
ZelPtr<ZelXmlParser> standOnRoot(ZelPtr<ZelXmlParser> parser) {
  while (parser->next() != ZelXmlParser::END_DOCUMENT)
    if (parser->getEventType() == ZelXmlParser::START_TAG) return parser;
  return ZelPtr<ZelXmlParser>();
}

ZelName nameOfRoot(ZelName& localName, const ZelPtr<ZelXmlParser>& parser) {
  if (!parser) {
    localName = ZelName();
    return ZelName();
  }
  localName = parser->getName();
  return parser->getNamespace();
}

}  // namespace

ZelPtr<ZelXmlParser> ZelXmlUtil::getRootParser(const UnicodeString& uri) {
  ZelPtr<ZelXmlParser> parser = makeRootParser();
  parser->setInput(uri, UnicodeString(), UnicodeString());
  return standOnRoot(parser);
}

ZelPtr<ZelXmlParser> ZelXmlUtil::getRootParser(std::istream& in, const UnicodeString& mediaType,
                                               const UnicodeString& extension) {
  ZelPtr<ZelXmlParser> parser = makeRootParser();
  parser->setStreamType(mediaType, extension);
  parser->setInput(in, UnicodeString(), UnicodeString());
  return standOnRoot(parser);
}

ZelName ZelXmlUtil::getRootName(ZelName& localName, const UnicodeString& uri) {
  return nameOfRoot(localName, getRootParser(uri));
}

ZelName ZelXmlUtil::getRootName(ZelName& localName, std::istream& in, const UnicodeString& mediaType,
                                const UnicodeString& extension) {
  return nameOfRoot(localName, getRootParser(in, mediaType, extension));
}

ZelName ZelXmlUtil::getXSLStylesheetNamespace(ZelName& localName, std::istream& in, const UnicodeString& mediaType,
                                              const UnicodeString& extension) {
  ZelName ns = getRootName(localName, in, mediaType, extension);
  if (ns != ZelName(UnicodeString(kFormattingObjectsNamespace)) || localName.toString() != u"root") return ns;
  // A simplified stylesheet whose literal result element is the FO root
  // says so with the XSLT version attribute: read the root tag again.
  if (in.fail()) in.clear(in.rdbuf() == nullptr ? std::ios_base::badbit : std::ios_base::goodbit);
  in.seekg(0);
  ZelPtr<ZelXmlParser> parser = getRootParser(in, mediaType, extension);
  if (parser) {
    ZelName xslt{UnicodeString(kXsltNamespace)};
    for (int i = parser->getAttributeCount() - 1; i >= 0; --i) {
      if (parser->getAttributeName(i).toString() == u"version" && parser->getAttributeNamespace(i) == xslt) {
        ns = xslt;
        break;
      }
    }
  }
  return ns;
}

ZelName ZelXmlUtil::getXSLStylesheetNamespace(ZelName& localName, const UnicodeString& uri) {
  ZelUri resource(uri, static_cast<ZelUri::URISTRTYPE>(3));
  UnicodeString extension = resource.getExtension();
  UnicodeString mediaType;
  std::istream* source = resource.getStream(&mediaType);
  if (source == nullptr) throwIOError(4099, kOriginSetInput, uri);
  ZelMemStream memory(source, 8192, true);
  return getXSLStylesheetNamespace(localName, memory, mediaType, extension);
}

UnicodeString ZelXmlUtil::makeNSQNameStr(const UnicodeString& namespaceUri, const UnicodeString& localName) {
  if (namespaceUri.isEmpty()) return localName;
  ZelNameEnum reserved = ZelNameTable::getBuiltinNameEnum(namespaceUri);
  if (reserved == kXmlNamespaceName) return makeQNameStr(UnicodeString(u"xml"), localName);
  if (reserved == kXmlnsNamespaceName)
    return localName == u"xmlns" ? localName : UnicodeString(u"xmlns:").append(localName);
  return UnicodeString(u"{").append(namespaceUri).append(u"}:").append(localName);
}

}  // namespace ObraCommon
