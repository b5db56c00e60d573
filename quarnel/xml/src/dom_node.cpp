// The node base: links, tree operations, searches, namespace lookups and
// source positions, all walked with loops so that no depth of tree can
// exhaust the stack.
#include <vector>

#include "dom_internal.h"
#include "error_raise.h"
#include "quarnel/builtin_names.h"
#include "quarnel/xml_parser.h"

namespace ObraCommon {

namespace {

// Origins of the errors the tree operations raise.
constexpr int kOriginSetNodeValue = 5;
constexpr int kOriginInsertBefore = 6;
constexpr int kOriginReplaceChild = 7;
constexpr int kOriginRemoveChild = 8;
constexpr int kOriginAppendChild = 9;

// Children of nodes being destroyed wait here for their release, so that
// freeing a subtree of any depth runs as a loop rather than one destructor
// nested in the next.
thread_local std::vector<ZelNode*> t_pendingRelease;
thread_local bool t_releasing = false;

const ZelElement* asElement(const ZelNode* node) {
  return node != nullptr && node->isA(kTypeIdZelElement) ? static_cast<const ZelElement*>(node) : nullptr;
}

const ZelElement* parentElement(const ZelNode* node) {
  const ZelNode* parent = node->getParentNode();
  return parent != nullptr && parent->getNodeType() == ELEMENT_NODE ? asElement(parent) : nullptr;
}

bool isAttribute(const ZelNode* node) { return node->getNodeType() == ATTRIBUTE_NODE; }

// A pointer that takes over a reference already counted.
ZelPtr<ZelNode> adopt(ZelNode* node) {
  ZelPtr<ZelNode> held(node);
  node->removeRef();
  return held;
}

}  // namespace

ZelNode::ZelNode(ZelDocument* ownerDocument)
    : m_flags(0),
      m_parent(nullptr),
      m_next(nullptr),
      m_previous(nullptr),
      m_lastChild(nullptr),
      m_ownerDocument(ownerDocument) {}

ZelNode::~ZelNode() {
  // A leaf has nothing to hand on (and no thread's list to look up).
  if (m_lastChild == nullptr) return;
  for (ZelNode* child = m_lastChild; child != nullptr;) {
    ZelNode* previous = child->m_previous;
    child->m_parent = child->m_next = child->m_previous = nullptr;
    t_pendingRelease.push_back(child);
    child = previous;
  }
  m_lastChild = nullptr;
  if (t_releasing) return;
  t_releasing = true;
  while (!t_pendingRelease.empty()) {
    ZelNode* node = t_pendingRelease.back();
    t_pendingRelease.pop_back();
    node->release();
  }
  t_releasing = false;
}

unsigned int ZelNode::getTypeID() const { return kTypeIdZelNode; }
bool ZelNode::isA(unsigned int id) const { return id == kTypeIdZelNode || ZelRCObject::isA(id); }
UnicodeString ZelNode::getTypeName() const { return UnicodeString(u"ZelNode"); }

ZelName ZelNode::getNodeName() const { return ZelXmlUtil::makeQName(getPrefix(), getLocalName()); }
ZelName ZelNode::getNamespaceUri() const { return ZelName(); }
ZelName ZelNode::getPrefix() const { return ZelName(); }
void ZelNode::setPrefix(ZelName) {}
ZelValue ZelNode::getNodeValue() const { return ZelValue::NULL_VALUE; }

void ZelNode::setNodeValue(const ZelValue&) { throwLibraryError(2059, kOriginSetNodeValue, getTypeName()); }

ZelNode* ZelNode::getParentNode() const { return m_parent; }

bool ZelNode::hasChildNodes() const {
  if (m_lastChild != nullptr) return true;
  if (!isLoading()) return false;
  m_ownerDocument->loadNextNode();
  return m_lastChild != nullptr;
}

ZelPtr<ZelNodeList> ZelNode::getChildNodes() const { return ZelPtr<ZelNodeList>(new ChildNodeList(this)); }

ZelNode* ZelNode::getFirstChild() const {
  if (m_lastChild != nullptr) return m_lastChild->m_next;
  if (!isLoading() || m_ownerDocument->loadNextNode() == nullptr) return nullptr;
  return m_lastChild == nullptr ? nullptr : m_lastChild->m_next;
}

ZelNode* ZelNode::getLastChild() const {
  while (isLoading() && m_ownerDocument->loadNextNode() != nullptr) {
  }
  return m_lastChild;
}

ZelNode* ZelNode::getPreviousSibling() const { return m_previous; }

ZelNode* ZelNode::getNextSibling() const {
  if (m_parent == nullptr) return nullptr;
  while (m_parent->m_lastChild == this) {
    if (!m_parent->isLoading() || m_ownerDocument->loadNextNode() == nullptr) return nullptr;
  }
  return m_next;
}

ZelDocument* ZelNode::getOwnerDocument() const { return m_ownerDocument; }

void ZelNode::checkInsertable(ZelNode* newChild, int origin) const {
  if (newChild->m_ownerDocument != m_ownerDocument && static_cast<const ZelNode*>(newChild->m_ownerDocument) != this)
    throwLibraryError(2054, origin);
  // A node under itself would hold its own last reference, and an attribute
  // among children would join two rings; both are refused. Only a node with
  // children or attributes (an attribute's parent link is its owner) can be
  // an ancestor, so building a tree never walks upwards.
  bool refused = newChild == this || isAttribute(newChild);
  if (!refused && (newChild->m_lastChild != nullptr || newChild->hasAttributes())) {
    for (const ZelNode* up = m_parent; up != nullptr && !refused; up = up->m_parent) refused = up == newChild;
  }
  if (refused) throwLibraryError(2058, origin, u"newChild");
}

void ZelNode::detachFromParent(ZelNode* child) {
  if (child->m_parent != nullptr) child->m_parent->removeChild(child);
}

ZelNode* ZelNode::appendChild(ZelNode* newChild) {
  if (newChild == nullptr) throwLibraryError(2051, kOriginAppendChild, u"newChild");
  checkInsertable(newChild, kOriginAppendChild);
  ZelPtr<ZelNode> held(newChild);
  detachFromParent(newChild);
  newChild->addRef();
  newChild->m_parent = this;
  newChild->m_previous = m_lastChild;
  if (m_lastChild == nullptr) {
    newChild->m_next = newChild;
  } else {
    newChild->m_next = m_lastChild->m_next;
    m_lastChild->m_next = newChild;
  }
  m_lastChild = newChild;
  return newChild;
}

ZelNode* ZelNode::insertBefore(ZelNode* newChild, ZelNode* refChild) {
  if (newChild == nullptr) throwLibraryError(2051, kOriginInsertBefore, u"newChild");
  if (refChild == nullptr) return appendChild(newChild);
  if (refChild->m_parent != this || isAttribute(refChild)) throwLibraryError(2057, kOriginInsertBefore, u"refChild");
  if (newChild == refChild) return newChild;
  checkInsertable(newChild, kOriginInsertBefore);
  ZelPtr<ZelNode> held(newChild);
  detachFromParent(newChild);
  newChild->addRef();
  newChild->m_parent = this;
  newChild->m_next = refChild;
  ZelNode* previous = refChild->m_previous;
  newChild->m_previous = previous;
  refChild->m_previous = newChild;
  if (previous == nullptr)
    m_lastChild->m_next = newChild;
  else
    previous->m_next = newChild;
  return newChild;
}

ZelPtr<ZelNode> ZelNode::replaceChild(ZelNode* newChild, ZelNode* oldChild) {
  if (newChild == nullptr) throwLibraryError(2051, kOriginReplaceChild, u"newChild");
  if (oldChild == nullptr) throwLibraryError(2051, kOriginReplaceChild, u"oldChild");
  if (oldChild->m_parent != this || isAttribute(oldChild)) throwLibraryError(2057, kOriginReplaceChild, u"oldChild");
  if (newChild == oldChild) return ZelPtr<ZelNode>(oldChild);
  checkInsertable(newChild, kOriginReplaceChild);
  ZelPtr<ZelNode> held(newChild);
  detachFromParent(newChild);
  newChild->addRef();
  ZelNode* next = oldChild->m_next;
  ZelNode* previous = oldChild->m_previous;
  oldChild->m_parent = oldChild->m_next = oldChild->m_previous = nullptr;
  newChild->m_parent = this;
  newChild->m_next = next == oldChild ? newChild : next;
  newChild->m_previous = previous;
  if (m_lastChild == oldChild)
    m_lastChild = newChild;
  else
    next->m_previous = newChild;
  (previous == nullptr ? m_lastChild : previous)->m_next = newChild;
  return adopt(oldChild);
}

ZelPtr<ZelNode> ZelNode::removeChild(ZelNode* oldChild) {
  if (oldChild == nullptr) throwLibraryError(2051, kOriginRemoveChild, u"oldChild");
  if (oldChild->m_parent != this || isAttribute(oldChild)) throwLibraryError(2057, kOriginRemoveChild, u"oldChild");
  ZelNode* next = oldChild->m_next;
  ZelNode* previous = oldChild->m_previous;
  oldChild->m_parent = oldChild->m_next = oldChild->m_previous = nullptr;
  if (m_lastChild == oldChild)
    m_lastChild = previous;
  else
    next->m_previous = previous;
  if (previous == nullptr) {
    if (m_lastChild != nullptr) m_lastChild->m_next = next;
  } else {
    previous->m_next = next;
  }
  return adopt(oldChild);
}

ZelNamedNodeMap* ZelNode::getAttributes() const { return nullptr; }
bool ZelNode::hasAttributes() const { return false; }
ZelPtr<ZelNode> ZelNode::cloneNode(bool) const { return ZelPtr<ZelNode>(); }

void ZelNode::cloneChildrenInto(const ZelNode* source, ZelNode* clone) {
  struct Pending {
    const ZelNode* next;  // the next source child to copy
    ZelPtr<ZelNode> into;
  };
  std::vector<Pending> work;
  work.push_back({source->getFirstChild(), ZelPtr<ZelNode>(clone)});
  while (!work.empty()) {
    Pending& top = work.back();
    const ZelNode* child = top.next;
    if (child == nullptr) {
      work.pop_back();
      continue;
    }
    top.next = child->getNextSibling();
    // Elements are copied one level at a time here; any other node copies
    // whatever its own deep clone holds.
    bool descend = child->isElementNode();
    ZelPtr<ZelNode> copy = child->cloneNode(!descend);
    if (!copy) continue;
    ZelPtr<ZelNode> into = top.into;
    into->appendChild(copy.get());
    if (descend) work.push_back({child->getFirstChild(), copy});
  }
}

const ZelElement* ZelNode::namespaceContext() const {
  // Entity, document type, fragment and notation nodes are never in scope.
  int type = getNodeType();
  if (type == ELEMENT_NODE) return asElement(this);
  if (type == DOCUMENT_NODE) return static_cast<const ZelDocument*>(this)->getDocumentElement();
  if (type == ATTRIBUTE_NODE) return static_cast<const ZelAttr*>(this)->getOwnerElement();
  if (type == 6 || type == 10 || type == DOCUMENT_FRAGMENT_NODE || type == 12) return nullptr;
  return parentElement(this);
}

ZelName ZelNode::lookupNamespaceUri(ZelName prefix) const {
  for (const ZelElement* element = namespaceContext(); element != nullptr; element = parentElement(element)) {
    if (element->getTypeID() != kTypeIdElement) {
      ZelName uri = element->getNamespaceUri();
      if (!uri.isEmpty() && element->getPrefix() == prefix) return uri;
    }
    ZelPtr<ZelNamedNodeMap> map(element->getAttributes());
    if (!map) continue;
    for (ZelNode* attr = map->getFirstNode(); attr != nullptr; attr = map->getNextNode(attr)) {
      ZelName local = attr->getLocalName();
      if ((attr->getPrefix() == NAME_XMLNS && local == prefix) || (local == NAME_XMLNS && prefix.isEmpty()))
        return ZelName(attr->getNodeValue());
    }
  }
  return ZelName();
}

ZelName ZelNode::lookupPrefix(ZelName namespaceUri) const {
  const ZelElement* origin = namespaceContext();
  for (const ZelElement* element = origin; element != nullptr; element = parentElement(element)) {
    if (element->getTypeID() != kTypeIdElement) {
      ZelName prefix = element->getPrefix();
      if (element->getNamespaceUri() == namespaceUri && !prefix.isEmpty() &&
          origin->lookupNamespaceUri(prefix) == namespaceUri)
        return prefix;
    }
    ZelPtr<ZelNamedNodeMap> map(element->getAttributes());
    if (!map) continue;
    for (ZelNode* attr = map->getFirstNode(); attr != nullptr; attr = map->getNextNode(attr)) {
      if (attr->getPrefix() != NAME_XMLNS || ZelName(attr->getNodeValue()) != namespaceUri) continue;
      ZelName local = attr->getLocalName();
      if (origin->lookupNamespaceUri(local) == namespaceUri) return local;
    }
  }
  return ZelName();
}

bool ZelNode::isDefaultNamespace(ZelName namespaceUri) const {
  for (const ZelElement* element = namespaceContext(); element != nullptr; element = parentElement(element)) {
    if (element->getPrefix().isEmpty()) return element->getNamespaceUri() == namespaceUri;
    ZelPtr<ZelNamedNodeMap> map(element->getAttributes());
    if (!map) continue;
    for (ZelNode* attr = map->getFirstNode(); attr != nullptr; attr = map->getNextNode(attr))
      if (attr->getLocalName() == NAME_XMLNS) return ZelName(attr->getNodeValue()) == namespaceUri;
  }
  return false;
}

void ZelNode::finishAttributes() {}
bool ZelNode::isElementNode() const { return false; }
bool ZelNode::isText() const { return false; }
bool ZelNode::isFO() const { return false; }
bool ZelNode::isNORV() const { return false; }
bool ZelNode::isArea() const { return false; }
bool ZelNode::isBlock() const { return false; }
bool ZelNode::isInline() const { return false; }
bool ZelNode::isNeutral() const { return false; }
bool ZelNode::isInlineBlock() const { return false; }
bool ZelNode::isOutOfLine() const { return false; }
UnicodeString ZelNode::getText() const { return UnicodeString(); }
void ZelNode::setText(const UnicodeString&) {}

ZelPtr<ZelNodeList> ZelNode::getElementsByTagName(ZelName name) const {
  return ZelPtr<ZelNodeList>(new TreeNodeList(this, 1, ZelName(), name));
}

ZelPtr<ZelNodeList> ZelNode::getElementsByTagNameNS(ZelName namespaceUri, ZelName localName) const {
  return ZelPtr<ZelNodeList>(new TreeNodeList(this, 2, namespaceUri, localName));
}

ZelPtr<ZelNodeList> ZelNode::getDescendantNodes() const {
  return ZelPtr<ZelNodeList>(new TreeNodeList(this, 0, ZelName(), ZelName()));
}

ZelNodeIterator ZelNode::getIterator() const { return ZelNodeIterator(this, nullptr); }

ZelNode* ZelNode::appendChildEx(ZelNode* newChild) { return appendChild(newChild); }

ZelNode* ZelNode::appendChildText(const UnicodeString& text) {
  ZelPtr<ZelNode> created = m_ownerDocument->createTextNodeElement(text, this);
  return appendChild(created.get());
}

int ZelNode::findSourcePosition(const ZelNode* node, bool line) {
  // Each step moves to the previous sibling, or to the parent when there is
  // none, and stops at the first element that knows its position.
  for (;;) {
    const ZelNode* next = node->getPreviousSibling();
    if (next == nullptr) next = node->getParentNode();
    if (next == nullptr) return -1;
    node = next;
    if (const ZelElement* element = asElement(node)) {
      int stored = line ? element->m_sourceLine : element->m_sourceColumn;
      if (stored != -1) return stored;
    }
  }
}

int ZelNode::getSourceLineNumber() const { return findSourcePosition(this, true); }
void ZelNode::setSourceLineNumber(int) {}
int ZelNode::getSourceColumnNumber() const { return findSourcePosition(this, false); }
void ZelNode::setSourceColumnNumber(int) {}

void ZelNode::setFlag(int mask, bool on) {
  if (on)
    m_flags |= static_cast<unsigned int>(mask);
  else
    m_flags &= ~static_cast<unsigned int>(mask);
}

ZelNode* ZelNode::getParentNodeUncomplemental() const {
  ZelNode* parent = getParentNode();
  while (parent != nullptr && parent->getFlag(FLAG_COMPLEMENTAL)) parent = parent->getParentNode();
  return parent;
}

void ZelNode::removeAllChildNodes() {
  ZelNode* child = m_lastChild;
  m_lastChild = nullptr;
  while (child != nullptr) {
    ZelNode* previous = child->m_previous;
    child->m_parent = child->m_next = child->m_previous = nullptr;
    child->release();
    child = previous;
  }
}

long ZelNode::deleteAllChildNodes() {
  // Each entry starts a chain walked through previous links; a node's own
  // children are taken apart before its preceding sibling.
  long count = 0;
  std::vector<ZelNode*> chains;
  if (m_lastChild != nullptr) chains.push_back(m_lastChild);
  m_lastChild = nullptr;
  while (!chains.empty()) {
    ZelNode* node = chains.back();
    chains.pop_back();
    if (node->m_previous != nullptr) chains.push_back(node->m_previous);
    ZelNode* lastChild = node->m_lastChild;
    node->m_parent = node->m_next = node->m_previous = node->m_lastChild = nullptr;
    if (lastChild != nullptr) chains.push_back(lastChild);
    node->release();
    ++count;
  }
  return count;
}

bool ZelNode::isDescendantOf(const ZelNode* other) const {
  for (const ZelNode* up = getParentNode(); up != nullptr; up = up->getParentNode())
    if (up == other) return true;
  return false;
}

bool ZelNode::isDescendantOrSelfOf(const ZelNode* other) const { return other == this || isDescendantOf(other); }

bool ZelNode::isFollowingOf(const ZelNode* other) const {
  for (const ZelNode* at = this; at != nullptr;) {
    if (at == other) return false;
    if (const ZelNode* previous = at->getPreviousSibling()) {
      if (other != nullptr && other->isDescendantOrSelfOf(previous)) return true;
      at = previous;
    } else {
      at = at->getParentNode();
    }
  }
  return false;
}

bool ZelNode::isPrecedingOf(const ZelNode* other) const {
  for (const ZelNode* at = this;;) {
    if (at == other) return false;
    const ZelNode* parent = at->getParentNode();
    if (parent == nullptr) return false;
    const ZelNode* next = at->getNextSibling();
    if (next == nullptr) {
      at = parent;
      continue;
    }
    if (other != nullptr && other->isDescendantOrSelfOf(next)) return true;
    at = next;
  }
}

int ZelNode::countPrecedingSiblings() const {
  int count = 0;
  for (const ZelNode* at = getPreviousSibling(); at != nullptr; at = at->getPreviousSibling()) ++count;
  return count;
}

int ZelNode::countFollowingSiblings() const {
  int count = 0;
  for (const ZelNode* at = getNextSibling(); at != nullptr; at = at->getNextSibling()) ++count;
  return count;
}

int ZelNode::getChildNodeCount() const {
  int count = 0;
  for (const ZelNode* at = getFirstChild(); at != nullptr; at = at->getNextSibling()) ++count;
  return count;
}

int ZelNode::getNodeDepth() const {
  int depth = 0;
  for (const ZelNode* up = getParentNode(); up != nullptr && up->getNodeType() != DOCUMENT_NODE;
       up = up->getParentNode())
    ++depth;
  return depth;
}

ZelNode* ZelNode::getChildNodeByName(ZelName name) const {
  for (ZelNode* at = getFirstChild(); at != nullptr; at = at->getNextSibling())
    if (at->getLocalName() == name) return at;
  return nullptr;
}

ZelNode* ZelNode::getChildNodeByNameNS(ZelName namespaceUri, ZelName localName) const {
  for (ZelNode* at = getFirstChild(); at != nullptr; at = at->getNextSibling())
    if (at->getLocalName() == localName && at->getNamespaceUri() == namespaceUri) return at;
  return nullptr;
}

ZelNode* ZelNode::getChildNodeByTypeID(unsigned int id) const {
  for (ZelNode* at = getFirstChild(); at != nullptr; at = at->getNextSibling())
    if (at->isA(id)) return at;
  return nullptr;
}

ZelNode* ZelNode::getAncestorByName(ZelName name) const {
  for (ZelNode* up = getParentNode(); up != nullptr; up = up->getParentNode())
    if (up->getLocalName() == name) return up;
  return nullptr;
}

ZelNode* ZelNode::getAncestorOrSelfByName(ZelName name) const {
  if (getLocalName() == name) return const_cast<ZelNode*>(this);
  return getAncestorByName(name);
}

ZelNode* ZelNode::getAncestorByNameNS(ZelName namespaceUri, ZelName localName) const {
  for (ZelNode* up = getParentNode(); up != nullptr; up = up->getParentNode())
    if (up->getLocalName() == localName && up->getNamespaceUri() == namespaceUri) return up;
  return nullptr;
}

ZelNode* ZelNode::getAncestorByTypeID(unsigned int id) const {
  for (ZelNode* up = getParentNode(); up != nullptr; up = up->getParentNode())
    if (up->isA(id)) return up;
  return nullptr;
}

ZelNode* ZelNode::getCommonAncestorOrSelf(const ZelNode* other) const {
  for (const ZelNode* up = other; up != nullptr; up = up->getParentNode())
    if (isDescendantOrSelfOf(up)) return const_cast<ZelNode*>(up);
  return nullptr;
}

ZelNode* ZelNode::getCommonAncestor(const ZelNode* other) const {
  if (other == nullptr) return nullptr;
  for (ZelNode* up = other->getParentNode(); up != nullptr; up = up->getParentNode())
    if (isDescendantOf(up)) return up;
  return nullptr;
}

UnicodeString ZelNode::getInnerText() const {
  if (isText() || !isElementNode()) return getText();
  UnicodeString text;
  ZelNodeIterator it = getIterator();
  while (ZelNode* node = it.nextNode())
    if (node->getNodeType() == TEXT_NODE) text.append(node->getText());
  return text;
}

}  // namespace ObraCommon
