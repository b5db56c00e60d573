// The abstract pull parser's defaults, its factory and the qualified-name
// operations.
#include "quarnel/xml_parser.h"

#include "quarnel/shared_strings.h"
#include "quarnel/xml_parser_impl.h"

namespace ObraCommon {

ZelXmlParser::ZelXmlParser() = default;
ZelXmlParser::~ZelXmlParser() = default;

unsigned int ZelXmlParser::getTypeID() const { return getStaticTypeID(); }
bool ZelXmlParser::isA(unsigned int id) const { return id == getStaticTypeID() || ZelRCObject::isA(id); }
UnicodeString ZelXmlParser::getTypeName() const { return UnicodeString(u"ZelXmlParser"); }

void ZelXmlParser::setStreamType(const UnicodeString&, const UnicodeString&) {}
void ZelXmlParser::setCallbackError(ZelXmlErrorCallback, void*) {}
UnicodeString ZelXmlParser::getBaseUri() const { return ZelEmptyString::EMPTY_VALUE; }
void ZelXmlParser::addMathMLEntityMap() {}

ZelPtr<ZelXmlParser> ZelXmlUtil::createXmlParser() { return ZelPtr<ZelXmlParser>(new XmlParserImpl()); }

UnicodeString ZelXmlUtil::getPrefixFromQNameStr(const UnicodeString& qname) {
  int32_t colon = qname.indexOf(u':');
  return colon >= 1 ? UnicodeString(qname, 0, colon) : UnicodeString();
}

UnicodeString ZelXmlUtil::getLocalPartFromQNameStr(const UnicodeString& qname) {
  int32_t colon = qname.indexOf(u':');
  return colon >= 0 ? UnicodeString(qname, colon + 1) : qname;
}

ZelName ZelXmlUtil::getPrefixFromQName(ZelName qname) {
  UnicodeString prefix = getPrefixFromQNameStr(qname.toString());
  return prefix.isEmpty() ? ZelName() : ZelName(ZelNameTable::getSharedNameEnum(prefix));
}

ZelName ZelXmlUtil::getLocalPartFromQName(ZelName qname) {
  const UnicodeString& text = qname.toString();
  if (text.indexOf(u':') < 0) return qname;
  return ZelName(ZelNameTable::getSharedNameEnum(getLocalPartFromQNameStr(text)));
}

UnicodeString ZelXmlUtil::makeQNameStr(const UnicodeString& prefix, const UnicodeString& local) {
  if (prefix.isEmpty()) return local;
  return UnicodeString(prefix).append(u':').append(local);
}

ZelName ZelXmlUtil::makeQName(ZelName prefix, ZelName local) {
  if (prefix.isEmpty()) return local;
  return ZelName(ZelNameTable::getSharedNameEnum(makeQNameStr(prefix.toString(), local.toString())));
}

}  // namespace ObraCommon
