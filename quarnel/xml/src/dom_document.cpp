// The document: the maker of every node, and the holder of the URIs and the
// reading mode.
#include "dom_internal.h"
#include "quarnel/builtin_names.h"
#include "quarnel/xml_parser.h"
#include "xml_names.h"

namespace ObraCommon {

ZelDocument::ZelDocument()
    : ZelNode(this), m_lastLoadingNode(nullptr), m_loadTarget(nullptr), m_skipDepth(0), m_pullMode(false) {
  ZelNameTable::addRefSharedNameTable();
}

ZelDocument::~ZelDocument() {
  // The children go first: their names must still resolve while they die.
  removeAllChildNodes();
  m_parser.reset();
  m_serializer.reset();
  ZelNameTable::releaseSharedNameTable();
}

unsigned int ZelDocument::getTypeID() const { return kTypeIdZelDocument; }
bool ZelDocument::isA(unsigned int id) const { return id == kTypeIdZelDocument || ZelNode::isA(id); }
UnicodeString ZelDocument::getTypeName() const { return UnicodeString(u"ZelDocument"); }
ZelName ZelDocument::getLocalName() const { return ZelName(NAME_NODE_DOCUMENT); }
ZelNodeType ZelDocument::getNodeType() const { return DOCUMENT_NODE; }
ZelDocument* ZelDocument::getOwnerDocument() const { return nullptr; }

ZelElement* ZelDocument::getDocumentElement() const {
  for (ZelNode* child = getFirstChild(); child != nullptr; child = child->getNextSibling())
    if (child->getNodeType() == ELEMENT_NODE && child->isA(kTypeIdZelElement)) return static_cast<ZelElement*>(child);
  return nullptr;
}

ZelPtr<ZelElement> ZelDocument::createElement(ZelName qualifiedName) {
  return ZelPtr<ZelElement>(new Element(this, ZelXmlUtil::getPrefixFromQName(qualifiedName),
                                        ZelXmlUtil::getLocalPartFromQName(qualifiedName)));
}

ZelPtr<ZelElement> ZelDocument::createElementNS(ZelName namespaceUri, ZelName prefix, ZelName localName) {
  return ZelPtr<ZelElement>(new ElementNS(this, namespaceUri, prefix, localName));
}

ZelPtr<ZelElement> ZelDocument::createElementNS(ZelName namespaceUri, ZelName qualifiedName) {
  return createElementNS(namespaceUri, ZelXmlUtil::getPrefixFromQName(qualifiedName),
                         ZelXmlUtil::getLocalPartFromQName(qualifiedName));
}

ZelPtr<ZelTextNode> ZelDocument::createTextNode(const UnicodeString& text) {
  return ZelPtr<ZelTextNode>(new ZelTextNode(this, text));
}

ZelPtr<ZelPINode> ZelDocument::createProcessingInstruction(const UnicodeString& text) {
  return ZelPtr<ZelPINode>(new ZelPINode(this, text));
}

ZelPtr<ZelDocumentFragment> ZelDocument::createDocumentFragment() {
  return ZelPtr<ZelDocumentFragment>(new ZelDocumentFragment(this));
}

ZelPtr<ZelAttr> ZelDocument::createAttribute(ZelName qualifiedName) {
  if (qualifiedName == NAME_XMLNS)
    return ZelPtr<ZelAttr>(new AttrNS(this, ZelName(kXmlnsNamespaceName), ZelName(), qualifiedName));
  ZelName prefix = ZelXmlUtil::getPrefixFromQName(qualifiedName);
  if (prefix.isEmpty()) return ZelPtr<ZelAttr>(new Attr(this, qualifiedName));
  ZelName namespaceUri;
  if (prefix == NAME_XMLNS)
    namespaceUri = kXmlnsNamespaceName;
  else if (prefix == NAME_XML)
    namespaceUri = kXmlNamespaceName;
  return ZelPtr<ZelAttr>(new AttrNS(this, namespaceUri, prefix, ZelXmlUtil::getLocalPartFromQName(qualifiedName)));
}

ZelPtr<ZelAttr> ZelDocument::createAttributeNS(ZelName namespaceUri, ZelName prefix, ZelName localName) {
  if (namespaceUri.isEmpty() && prefix.isEmpty()) return ZelPtr<ZelAttr>(new Attr(this, localName));
  return ZelPtr<ZelAttr>(new AttrNS(this, namespaceUri, prefix, localName));
}

ZelPtr<ZelAttr> ZelDocument::createAttributeNS(ZelName namespaceUri, ZelName qualifiedName) {
  return createAttributeNS(namespaceUri, ZelXmlUtil::getPrefixFromQName(qualifiedName),
                           ZelXmlUtil::getLocalPartFromQName(qualifiedName));
}

ZelPtr<ZelNode> ZelDocument::createTextNodeElement(const UnicodeString& text, ZelNode*) {
  return ZelPtr<ZelNode>(createTextNode(text).get());
}

UnicodeString ZelDocument::getBaseUri() const { return m_baseUri.isEmpty() ? m_documentUri : m_baseUri; }
void ZelDocument::setBaseUri(const UnicodeString& uri) { m_baseUri = uri; }
bool ZelDocument::isBaseUriSpecified() const { return !m_baseUri.isEmpty(); }
UnicodeString ZelDocument::getDocumentUri() const { return m_documentUri.isEmpty() ? m_baseUri : m_documentUri; }

}  // namespace ObraCommon
