// Elements, attributes and their map, text, processing-instruction and
// fragment nodes.
#include <typeinfo>

#include "dom_internal.h"
#include "error_raise.h"
#include "quarnel/builtin_names.h"
#include "quarnel/xml_parser.h"

namespace ObraCommon {

namespace {

constexpr int kOriginSetNamedItem = 2;
constexpr int kOriginSetNamedItemNS = 3;
constexpr int kOriginRemoveAttributeNode = 4;

ZelAttr* asAttr(ZelNode* node) {
  return node != nullptr && node->isA(kTypeIdZelAttr) ? static_cast<ZelAttr*>(node) : nullptr;
}

ZelPtr<ZelAttr> asAttr(const ZelPtr<ZelNode>& node) { return ZelPtr<ZelAttr>(asAttr(node.get())); }

}  // namespace

// ---- ZelElement

ZelElement::ZelElement(ZelDocument* ownerDocument)
    : ZelNode(ownerDocument),
      m_attributes(new (ownerDocument) AttrNodeMap(this)),
      m_sourceLine(-1),
      m_sourceColumn(-1) {
  m_attributes->addRef();
}

ZelElement::~ZelElement() {
  // A caller may still hold the map: it must not reach this element.
  m_attributes->dropOwner();
  m_attributes->release();
}

unsigned int ZelElement::getTypeID() const { return kTypeIdZelElement; }
bool ZelElement::isA(unsigned int id) const { return id == kTypeIdZelElement || ZelNode::isA(id); }
UnicodeString ZelElement::getTypeName() const { return UnicodeString(u"ZelElement"); }
ZelNodeType ZelElement::getNodeType() const { return ELEMENT_NODE; }
ZelNamedNodeMap* ZelElement::getAttributes() const { return m_attributes; }
bool ZelElement::hasAttributes() const { return !m_attributes->isEmpty(); }
bool ZelElement::isElementNode() const { return true; }

int ZelElement::getSourceLineNumber() const {
  return m_sourceLine != -1 ? m_sourceLine : findSourcePosition(this, true);
}
void ZelElement::setSourceLineNumber(int line) { m_sourceLine = line; }
int ZelElement::getSourceColumnNumber() const {
  return m_sourceColumn != -1 ? m_sourceColumn : findSourcePosition(this, false);
}
void ZelElement::setSourceColumnNumber(int column) { m_sourceColumn = column; }

ZelPtr<ZelNode> ZelElement::cloneNode(bool deep) const {
  ZelPtr<ZelElement> clone = getOwnerDocument() == nullptr
                                 ? ZelPtr<ZelElement>()
                                 : getOwnerDocument()->createElementNS(getNamespaceUri(), getPrefix(), getLocalName());
  if (!clone) return ZelPtr<ZelNode>();
  for (ZelNode* attr = m_attributes->getFirstNode(); attr != nullptr; attr = m_attributes->getNextNode(attr))
    clone->setAttributeNS(attr->getNamespaceUri(), attr->getPrefix(), attr->getLocalName(), attr->getNodeValue());
  // No loader feeds a clone: one taken while loading is complete (the deep
  // walk below pulls in the rest) and is marked loaded, not loading.
  unsigned int flags = m_flags & ~FLAG_LOADING;
  if (isLoading()) flags |= FLAG_LOADED;
  clone->m_flags = flags;
  if (deep) cloneChildrenInto(this, clone.get());
  return ZelPtr<ZelNode>(clone.get());
}

ZelValue ZelElement::getAttribute(ZelName name) const {
  ZelAttr* attr = asAttr(m_attributes->getNamedItem(name));
  return attr == nullptr ? ZelValue::NULL_VALUE : attr->getValue();
}

ZelValue ZelElement::getAttributeNS(ZelName namespaceUri, ZelName localName) const {
  ZelAttr* attr = asAttr(m_attributes->getNamedItemNS(namespaceUri, localName));
  return attr == nullptr ? ZelValue::NULL_VALUE : attr->getValue();
}

void ZelElement::setAttribute(ZelName name, const ZelValue& value) {
  ZelPtr<ZelAttr> attr(asAttr(m_attributes->getNamedItem(name)));
  if (!attr) {
    attr = getOwnerDocument()->createAttribute(name);
    if (!attr) return;
    m_attributes->append(attr.get());
  }
  attr->setValue(value);
}

ZelPtr<ZelAttr> ZelElement::attributeToSet(ZelName namespaceUri, ZelName prefix, ZelName localName) {
  ZelPtr<ZelAttr> attr(asAttr(m_attributes->getNamedItemNS(namespaceUri, localName)));
  if (!attr) {
    attr = getOwnerDocument()->createAttributeNS(namespaceUri, prefix, localName);
    if (attr) m_attributes->append(attr.get());
  } else {
    attr->setPrefix(prefix);
  }
  return attr;
}

void ZelElement::setAttributeNS(ZelName namespaceUri, ZelName prefix, ZelName localName, const ZelValue& value) {
  ZelPtr<ZelAttr> attr = attributeToSet(namespaceUri, prefix, localName);
  if (attr) attr->setValue(value);
}

void ZelElement::setAttributeNS(ZelName namespaceUri, ZelName qualifiedName, const ZelValue& value) {
  setAttributeNS(namespaceUri, ZelXmlUtil::getPrefixFromQName(qualifiedName),
                 ZelXmlUtil::getLocalPartFromQName(qualifiedName), value);
}

void ZelElement::removeAttribute(ZelName name) { m_attributes->removeNamedItem(name); }
void ZelElement::removeAttributeNS(ZelName namespaceUri, ZelName localName) {
  m_attributes->removeNamedItemNS(namespaceUri, localName);
}

ZelAttr* ZelElement::getAttributeNode(ZelName name) const { return asAttr(m_attributes->getNamedItem(name)); }
ZelAttr* ZelElement::getAttributeNodeNS(ZelName namespaceUri, ZelName localName) const {
  return asAttr(m_attributes->getNamedItemNS(namespaceUri, localName));
}
void ZelElement::getAttributeNodeLocal(ZelName localName, std::vector<ZelPtr<ZelAttr>>* found) const {
  m_attributes->getNamedItemLocal(localName, found);
}

ZelPtr<ZelAttr> ZelElement::setAttributeNode(ZelAttr* attr) { return asAttr(m_attributes->setNamedItem(attr)); }
ZelPtr<ZelAttr> ZelElement::setAttributeNodeNS(ZelAttr* attr) { return asAttr(m_attributes->setNamedItemNS(attr)); }

ZelPtr<ZelAttr> ZelElement::removeAttributeNode(ZelAttr* oldAttr) {
  if (oldAttr == nullptr) throwLibraryError(2051, kOriginRemoveAttributeNode, u"oldAttr");
  return asAttr(m_attributes->remove(oldAttr));
}

bool ZelElement::hasAttribute(ZelName name) const { return m_attributes->getNamedItem(name) != nullptr; }
bool ZelElement::hasAttributeNS(ZelName namespaceUri, ZelName localName) const {
  return m_attributes->getNamedItemNS(namespaceUri, localName) != nullptr;
}

bool ZelElement::hasAttributeLocal(ZelName localName) const {
  for (ZelNode* attr = m_attributes->getFirstNode(); attr != nullptr; attr = m_attributes->getNextNode(attr))
    if (attr->getLocalName() == localName) return true;
  return false;
}

void ZelElement::setAttributeEx(ZelName namespaceUri, ZelName prefix, ZelName localName, const UnicodeString& value) {
  // The library's own elements leave setAttributeNS as it is: its steps are
  // taken here, and the library's own attributes keep the text itself.
  if (typeid(*this) != typeid(ElementNS) && typeid(*this) != typeid(Element)) {
    setAttributeNS(namespaceUri, prefix, localName, ZelValue(value));
    return;
  }
  ZelPtr<ZelAttr> attr = attributeToSet(namespaceUri, prefix, localName);
  if (!attr) return;
  ZelAttr* made = attr.get();
  if (typeid(*made) == typeid(Attr) || typeid(*made) == typeid(AttrNS))
    static_cast<Attr*>(made)->setPlainText(UnicodeString(value));
  else
    made->setValue(ZelValue(value));
}

void ZelElement::getAttributeLocal(ZelName localName, std::vector<ZelValue>* found) const {
  if (found == nullptr) return;
  std::vector<ZelPtr<ZelAttr>> attrs;
  getAttributeNodeLocal(localName, &attrs);
  for (const ZelPtr<ZelAttr>& attr : attrs) found->push_back(attr->getValue());
}

// ---- Element, ElementNS

Element::Element(ZelDocument* ownerDocument, ZelName prefix, ZelName localName)
    : ZelElement(ownerDocument), m_prefix(prefix), m_localName(localName) {}
unsigned int Element::getTypeID() const { return kTypeIdElement; }
bool Element::isA(unsigned int id) const { return id == kTypeIdElement || ZelElement::isA(id); }
UnicodeString Element::getTypeName() const { return UnicodeString(u"Element"); }
ZelName Element::getLocalName() const { return m_localName; }
ZelName Element::getNamespaceUri() const { return lookupNamespaceUri(m_prefix); }
ZelName Element::getPrefix() const { return m_prefix; }
void Element::setPrefix(ZelName prefix) { m_prefix = prefix; }

ElementNS::ElementNS(ZelDocument* ownerDocument, ZelName namespaceUri, ZelName prefix, ZelName localName)
    : Element(ownerDocument, prefix, localName), m_namespaceUri(namespaceUri) {}
unsigned int ElementNS::getTypeID() const { return kTypeIdElementNS; }
bool ElementNS::isA(unsigned int id) const { return id == kTypeIdElementNS || ZelElement::isA(id); }
UnicodeString ElementNS::getTypeName() const { return UnicodeString(u"ElementNS"); }
ZelName ElementNS::getNamespaceUri() const { return m_namespaceUri; }

// ---- ZelAttr, Attr, AttrNS

ZelAttr::ZelAttr(ZelDocument* ownerDocument) : ZelNode(ownerDocument) {}
ZelAttr::~ZelAttr() = default;
unsigned int ZelAttr::getTypeID() const { return kTypeIdZelAttr; }
bool ZelAttr::isA(unsigned int id) const { return id == kTypeIdZelAttr || ZelNode::isA(id); }
UnicodeString ZelAttr::getTypeName() const { return UnicodeString(u"ZelAttr"); }

Attr::Attr(ZelDocument* ownerDocument, ZelName localName) : ZelAttr(ownerDocument) { m_value.setNameBits(localName); }
ZelName Attr::getNodeName() const { return getLocalName(); }
ZelName Attr::getLocalName() const { return ZelName(m_value.getNameBits()); }
ZelValue Attr::getNodeValue() const { return getValue(); }
void Attr::setNodeValue(const ZelValue& value) { setValue(value); }
ZelNodeType Attr::getNodeType() const { return ATTRIBUTE_NODE; }
ZelNode* Attr::getParentNode() const { return nullptr; }
ZelNode* Attr::getPreviousSibling() const { return nullptr; }
ZelNode* Attr::getNextSibling() const { return nullptr; }
UnicodeString Attr::getText() const { return m_plain ? m_text : getValue().toString(); }
void Attr::setText(const UnicodeString& text) { setValue(ZelValue(text)); }

void Attr::setPlainText(UnicodeString&& text) {
  if (!m_value.isNull()) {
    ZelNameEnum name = m_value.getNameBits();
    m_value = ZelValue::NULL_VALUE;
    m_value.setNameBits(name);
  }
  m_text = std::move(text);
  m_plain = true;
}

ZelValue Attr::getValue() const {
  if (m_plain) return ZelValue(m_text);
  NamedAttrValue value;
  value = m_value;
  value.setNameBits(ZEL_NAME_EMPTY);
  return value;
}

void Attr::setValue(const ZelValue& value) {
  ZelNameEnum name = m_value.getNameBits();
  m_value = value;
  m_value.setNameBits(name);
  if (m_plain) {
    m_plain = false;
    m_text = UnicodeString();
  }
}

ZelElement* Attr::getOwnerElement() const { return static_cast<ZelElement*>(getParentNodeFast()); }

AttrNS::AttrNS(ZelDocument* ownerDocument, ZelName namespaceUri, ZelName prefix, ZelName localName)
    : Attr(ownerDocument, localName), m_namespaceUri(namespaceUri), m_prefix(prefix) {}
unsigned int AttrNS::getTypeID() const { return kTypeIdAttrNS; }
bool AttrNS::isA(unsigned int id) const { return id == kTypeIdAttrNS || Attr::isA(id); }
UnicodeString AttrNS::getTypeName() const { return UnicodeString(u"AttrNS"); }
ZelName AttrNS::getNodeName() const { return ZelXmlUtil::makeQName(m_prefix, getLocalName()); }

ZelName AttrNS::getNamespaceUri() const {
  if (m_namespaceUri.isEmpty() && !m_prefix.isEmpty()) return lookupNamespaceUri(m_prefix);
  return m_namespaceUri;
}

ZelName AttrNS::getPrefix() const { return m_prefix; }
void AttrNS::setPrefix(ZelName prefix) { m_prefix = prefix; }

// ---- AttrNodeMap

namespace {

// Maps of at most this many attributes are only walked.
constexpr int kIndexFrom = 8;

uint64_t IndexKey(ZelName namespaceUri, ZelName localName) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(static_cast<ZelNameEnum>(namespaceUri))) << 32) |
         static_cast<uint32_t>(static_cast<ZelNameEnum>(localName));
}

}  // namespace

AttrNodeMap::AttrNodeMap(ZelElement* owner) : m_anchor(owner) {}

AttrNodeMap::~AttrNodeMap() { releaseAll(); }

void AttrNodeMap::releaseAll() {
  if (isEmpty()) return;
  ZelNode* attr = m_anchor->m_next;
  m_anchor->m_next = nullptr;
  while (attr != nullptr) {
    ZelNode* next = attr->m_next;
    attr->m_parent = attr->m_next = nullptr;
    attr->release();
    attr = next;
  }
}

void AttrNodeMap::dropOwner() {
  releaseAll();
  m_anchor = nullptr;
  m_index.reset();
  m_count = m_unstable = 0;
}

unsigned int AttrNodeMap::getTypeID() const { return kTypeIdAttrNodeMap; }
bool AttrNodeMap::isA(unsigned int id) const { return id == kTypeIdAttrNodeMap || ZelNamedNodeMap::isA(id); }
UnicodeString AttrNodeMap::getTypeName() const { return UnicodeString(u"AttrNodeMap"); }

bool AttrNodeMap::isEmpty() const { return m_anchor == nullptr || m_anchor->getAttributes() == this; }

ZelElement* AttrNodeMap::getOwner() const {
  return isEmpty() ? static_cast<ZelElement*>(m_anchor) : static_cast<ZelElement*>(m_anchor->m_parent);
}

ZelNode* AttrNodeMap::getFirstNode() const { return isEmpty() ? nullptr : m_anchor->m_next; }
ZelNode* AttrNodeMap::getLastNode() const { return isEmpty() ? nullptr : m_anchor; }
ZelNode* AttrNodeMap::getNextNode(ZelNode* node) const {
  return node == nullptr || node == m_anchor ? nullptr : node->m_next;
}

ZelNode* AttrNodeMap::getPreviousNode(ZelNode* node) const {
  ZelNode* first = getFirstNode();
  if (node == nullptr || node == first) return nullptr;
  for (ZelNode* at = first; at != nullptr; at = getNextNode(at))
    if (at->m_next == node) return at;
  return nullptr;
}

int AttrNodeMap::getLength() const {
  int count = 0;
  for (ZelNode* at = getFirstNode(); at != nullptr; at = getNextNode(at)) ++count;
  return count;
}

ZelNode* AttrNodeMap::item(int index) const {
  ZelNode* at = index < 0 ? nullptr : getFirstNode();
  for (; at != nullptr && index > 0; --index) at = getNextNode(at);
  return at;
}

ZelNode* AttrNodeMap::getNamedItem(ZelName name) const {
  for (ZelNode* at = getFirstNode(); at != nullptr; at = getNextNode(at))
    if (at->getNodeName() == name) return at;
  return nullptr;
}

ZelNode* AttrNodeMap::getNamedItemNS(ZelName namespaceUri, ZelName localName) const {
  if (m_index && m_unstable == 0) {
    auto found = m_index->find(IndexKey(namespaceUri, localName));
    return found == m_index->end() ? nullptr : found->second;
  }
  for (ZelNode* at = getFirstNode(); at != nullptr; at = getNextNode(at))
    if (at->getLocalName() == localName && at->getNamespaceUri() == namespaceUri) return at;
  return nullptr;
}

void AttrNodeMap::getNamedItemLocal(ZelName localName, std::vector<ZelPtr<ZelAttr>>* found) const {
  if (found == nullptr) return;
  for (ZelNode* at = getFirstNode(); at != nullptr; at = getNextNode(at))
    if (at->getLocalName() == localName) found->push_back(ZelPtr<ZelAttr>(asAttr(at)));
}

bool AttrNodeMap::stableKey(const ZelNode* attr, uint64_t* key) {
  if (typeid(*attr) == typeid(Attr)) {
    *key = IndexKey(ZelName(), attr->getLocalName());
    return true;
  }
  if (typeid(*attr) == typeid(AttrNS)) {
    ZelName stored = static_cast<const AttrNS*>(attr)->getStoredNamespaceUri();
    if (stored.isEmpty()) return false;
    *key = IndexKey(stored, attr->getLocalName());
    return true;
  }
  return false;
}

void AttrNodeMap::indexAdd(ZelNode* attr) {
  ++m_count;
  uint64_t key;
  if (!stableKey(attr, &key)) {
    ++m_unstable;
    return;
  }
  if (m_index) {
    m_index->emplace(key, attr);
  } else if (m_count > kIndexFrom) {
    m_index = std::make_unique<std::unordered_map<uint64_t, ZelNode*>>();
    for (ZelNode* at = getFirstNode(); at != nullptr; at = getNextNode(at))
      if (stableKey(at, &key)) m_index->emplace(key, at);
  }
}

void AttrNodeMap::indexRemove(ZelNode* attr) {
  --m_count;
  uint64_t key;
  if (!stableKey(attr, &key)) {
    --m_unstable;
    return;
  }
  if (!m_index) return;
  auto found = m_index->find(key);
  if (found != m_index->end() && found->second == attr) m_index->erase(found);
}

void AttrNodeMap::append(ZelNode* attr) {
  attr->addRef();
  bool empty = isEmpty();
  attr->m_parent = getOwner();
  if (empty) {
    attr->m_next = attr;
  } else {
    attr->m_next = m_anchor->m_next;
    m_anchor->m_next = attr;
  }
  m_anchor = attr;
  indexAdd(attr);
}

ZelPtr<ZelNode> AttrNodeMap::setItem(ZelNode* node, int origin, bool byNamespace) {
  if (node == nullptr) throwLibraryError(2051, origin);
  ZelElement* owner = getOwner();
  if (owner == nullptr) throwLibraryError(2058, origin);
  if (node->m_ownerDocument != owner->m_ownerDocument) throwLibraryError(2054, origin);
  if (node->getNodeType() != ATTRIBUTE_NODE) throwLibraryError(2055, origin);
  if (node->m_parent != nullptr) throwLibraryError(2056, origin);
  // An attribute holding the element, or one of its ancestors, among its own
  // children would keep itself alive through the map.
  if (node->m_lastChild != nullptr) {
    for (const ZelNode* up = owner; up != nullptr; up = up->m_parent)
      if (up == node) throwLibraryError(2058, origin);
  }
  ZelNode* match = byNamespace ? getNamedItemNS(node->getNamespaceUri(), node->getLocalName())
                               : getNamedItem(node->getNodeName());
  if (match == nullptr) {
    append(node);
    return ZelPtr<ZelNode>();
  }
  indexRemove(match);
  indexAdd(node);
  node->addRef();
  node->m_parent = owner;
  ZelNode* previous = match == m_anchor->m_next ? m_anchor : getPreviousNode(match);
  node->m_next = match->m_next == match ? node : match->m_next;
  previous->m_next = node;
  if (m_anchor == match) m_anchor = node;
  match->m_parent = match->m_next = nullptr;
  ZelPtr<ZelNode> replaced(match);
  match->removeRef();
  return replaced;
}

ZelPtr<ZelNode> AttrNodeMap::setNamedItem(ZelNode* node) { return setItem(node, kOriginSetNamedItem, false); }
ZelPtr<ZelNode> AttrNodeMap::setNamedItemNS(ZelNode* node) { return setItem(node, kOriginSetNamedItemNS, true); }

ZelPtr<ZelNode> AttrNodeMap::remove(ZelNode* attr) {
  if (isEmpty() || attr == nullptr) return ZelPtr<ZelNode>();
  ZelNode* previous = m_anchor;
  for (ZelNode* at = m_anchor->m_next;; previous = at, at = at->m_next) {
    if (at == attr) break;
    if (at == m_anchor) return ZelPtr<ZelNode>();
  }
  indexRemove(attr);
  ZelElement* owner = getOwner();
  if (previous == attr) {
    m_anchor = owner;
  } else {
    previous->m_next = attr->m_next;
    if (m_anchor == attr) m_anchor = previous;
  }
  attr->m_parent = attr->m_next = nullptr;
  ZelPtr<ZelNode> removed(attr);
  attr->removeRef();
  return removed;
}

ZelPtr<ZelNode> AttrNodeMap::removeNamedItem(ZelName name) { return remove(getNamedItem(name)); }
ZelPtr<ZelNode> AttrNodeMap::removeNamedItemNS(ZelName namespaceUri, ZelName localName) {
  return remove(getNamedItemNS(namespaceUri, localName));
}

// ---- Text, processing instructions, fragments

ZelTextNode::ZelTextNode(ZelDocument* ownerDocument, const UnicodeString& text)
    : ZelNode(ownerDocument), m_data(text) {}
ZelTextNode::~ZelTextNode() = default;
unsigned int ZelTextNode::getTypeID() const { return kTypeIdZelTextNode; }
bool ZelTextNode::isA(unsigned int id) const { return id == kTypeIdZelTextNode || ZelNode::isA(id); }
UnicodeString ZelTextNode::getTypeName() const { return UnicodeString(u"ZelTextNode"); }
ZelName ZelTextNode::getLocalName() const { return ZelName(NAME_NODE_TEXT); }
ZelValue ZelTextNode::getNodeValue() const { return ZelValue(m_data); }
void ZelTextNode::setNodeValue(const ZelValue& value) { m_data = value.toString(); }
ZelNodeType ZelTextNode::getNodeType() const { return TEXT_NODE; }
bool ZelTextNode::isText() const { return true; }
UnicodeString ZelTextNode::getText() const { return m_data; }
void ZelTextNode::setText(const UnicodeString& text) { m_data = text; }
int ZelTextNode::getLength() const { return m_data.length(); }
UnicodeString ZelTextNode::getData() const { return m_data; }
void ZelTextNode::setData(const UnicodeString& text) { m_data = text; }

ZelPtr<ZelNode> ZelTextNode::cloneNode(bool) const {
  if (getOwnerDocument() == nullptr) return ZelPtr<ZelNode>();
  return ZelPtr<ZelNode>(getOwnerDocument()->createTextNode(m_data).get());
}

ZelPINode::ZelPINode(ZelDocument* ownerDocument, const UnicodeString& text) : ZelTextNode(ownerDocument, text) {}
ZelPINode::~ZelPINode() = default;
unsigned int ZelPINode::getTypeID() const { return kTypeIdZelPINode; }
bool ZelPINode::isA(unsigned int id) const { return id == kTypeIdZelPINode || ZelTextNode::isA(id); }
UnicodeString ZelPINode::getTypeName() const { return UnicodeString(u"ZelPINode"); }
ZelNodeType ZelPINode::getNodeType() const { return PROCESSING_INSTRUCTION_NODE; }

// An instruction stays an instruction, so a saved copy writes it as one.
ZelPtr<ZelNode> ZelPINode::cloneNode(bool) const {
  if (getOwnerDocument() == nullptr) return ZelPtr<ZelNode>();
  return ZelPtr<ZelNode>(getOwnerDocument()->createProcessingInstruction(getData()).get());
}

ZelDocumentFragment::ZelDocumentFragment(ZelDocument* ownerDocument) : ZelNode(ownerDocument) {}
ZelDocumentFragment::~ZelDocumentFragment() = default;
unsigned int ZelDocumentFragment::getTypeID() const { return kTypeIdZelDocumentFragment; }
bool ZelDocumentFragment::isA(unsigned int id) const { return id == kTypeIdZelDocumentFragment || ZelNode::isA(id); }
UnicodeString ZelDocumentFragment::getTypeName() const { return UnicodeString(u"ZelDocumentFragment"); }
ZelName ZelDocumentFragment::getLocalName() const { return ZelName(NAME_NODE_DOCUMENT_FRAGMENT); }
ZelNodeType ZelDocumentFragment::getNodeType() const { return DOCUMENT_FRAGMENT_NODE; }

}  // namespace ObraCommon
