// Node collections, the live child and descendant lists, and the two
// iterators. Lists hold no reference on their nodes: every call walks the
// tree as it stands.
#include "dom_internal.h"

namespace ObraCommon {

ZelNodeIterable::ZelNodeIterable() = default;
ZelNodeIterable::~ZelNodeIterable() = default;
unsigned int ZelNodeIterable::getTypeID() const { return kTypeIdZelNodeIterable; }
bool ZelNodeIterable::isA(unsigned int id) const { return id == kTypeIdZelNodeIterable || ZelRCObject::isA(id); }
UnicodeString ZelNodeIterable::getTypeName() const { return UnicodeString(u"ZelNodeIterable"); }
ZelNodeIterator ZelNodeIterable::getIterator() const { return ZelNodeIterator(this); }

ZelNodeList::ZelNodeList() = default;
ZelNodeList::~ZelNodeList() = default;
unsigned int ZelNodeList::getTypeID() const { return kTypeIdZelNodeList; }
bool ZelNodeList::isA(unsigned int id) const { return id == kTypeIdZelNodeList || ZelNodeIterable::isA(id); }
UnicodeString ZelNodeList::getTypeName() const { return UnicodeString(u"ZelNodeList"); }

ZelNamedNodeMap::ZelNamedNodeMap() = default;
ZelNamedNodeMap::~ZelNamedNodeMap() = default;
unsigned int ZelNamedNodeMap::getTypeID() const { return kTypeIdZelNamedNodeMap; }
bool ZelNamedNodeMap::isA(unsigned int id) const { return id == kTypeIdZelNamedNodeMap || ZelNodeIterable::isA(id); }
UnicodeString ZelNamedNodeMap::getTypeName() const { return UnicodeString(u"ZelNamedNodeMap"); }

ZelNodeIterator::ZelNodeIterator() : m_next(nullptr) {}

ZelNodeIterator::ZelNodeIterator(const ZelNodeIterable* collection)
    : m_collection(const_cast<ZelNodeIterable*>(collection)),
      m_next(collection == nullptr ? nullptr : collection->getFirstNode()) {}

ZelNodeIterator::ZelNodeIterator(const ZelNode* root, ZelNode* start)
    : m_collection(root->getDescendantNodes()),
      m_next(start == nullptr ? m_collection->getFirstNode() : m_collection->getNextNode(start)) {}

ZelNodeIterator::ZelNodeIterator(const ZelNodeIterator& other) = default;
ZelNodeIterator& ZelNodeIterator::operator=(const ZelNodeIterator& other) = default;
ZelNodeIterator::~ZelNodeIterator() = default;

ZelNode* ZelNodeIterator::nextNode() {
  ZelNode* node = m_next;
  if (node != nullptr) m_next = m_collection->getNextNode(node);
  return node;
}

ZelNode* ZelNodeIterator::previousNode() {
  if (!m_collection) return nullptr;
  m_next = m_next == nullptr ? m_collection->getLastNode() : m_collection->getPreviousNode(m_next);
  return m_next;
}

bool ZelNodeIterator::hasNextNode() const { return m_next != nullptr; }
bool ZelNodeIterator::hasPreviousNode() const { return m_collection && m_next != m_collection->getFirstNode(); }
void ZelNodeIterator::setToStart() { m_next = m_collection ? m_collection->getFirstNode() : nullptr; }
void ZelNodeIterator::setToEnd() { m_next = nullptr; }

ChildNodeList::ChildNodeList(const ZelNode* node) : m_node(node) {}
unsigned int ChildNodeList::getTypeID() const { return kTypeIdChildNodeList; }
bool ChildNodeList::isA(unsigned int id) const { return id == kTypeIdChildNodeList || ZelNodeList::isA(id); }
UnicodeString ChildNodeList::getTypeName() const { return UnicodeString(u"ChildNodeList"); }
ZelNode* ChildNodeList::getFirstNode() const { return m_node->getFirstChild(); }
ZelNode* ChildNodeList::getLastNode() const { return m_node->getLastChild(); }
ZelNode* ChildNodeList::getNextNode(ZelNode* node) const { return node == nullptr ? nullptr : node->getNextSibling(); }
ZelNode* ChildNodeList::getPreviousNode(ZelNode* node) const {
  return node == nullptr ? nullptr : node->getPreviousSibling();
}
int ChildNodeList::getLength() const { return m_node->getChildNodeCount(); }

ZelNode* ChildNodeList::item(int index) const {
  ZelNode* node = index < 0 ? nullptr : m_node->getFirstChild();
  for (; node != nullptr && index > 0; --index) node = node->getNextSibling();
  return node;
}

TreeNodeList::TreeNodeList(const ZelNode* root, int mode, ZelName namespaceUri, ZelName localName)
    : m_root(root),
      m_mode(mode),
      m_namespaceUri(namespaceUri),
      m_localName(localName),
      m_anyName(UnicodeString(u"*")) {}

unsigned int TreeNodeList::getTypeID() const { return kTypeIdTreeNodeList; }
bool TreeNodeList::isA(unsigned int id) const { return id == kTypeIdTreeNodeList || ZelNodeList::isA(id); }
UnicodeString TreeNodeList::getTypeName() const { return UnicodeString(u"TreeNodeList"); }

bool TreeNodeList::matches(const ZelNode* node) const {
  if (m_mode == 0) return true;
  if (node->getNodeType() != ELEMENT_NODE) return false;
  if (m_localName != m_anyName && m_localName != node->getLocalName()) return false;
  return m_mode != 2 || m_namespaceUri == m_anyName || m_namespaceUri == node->getNamespaceUri();
}

ZelNode* TreeNodeList::stepForward(ZelNode* node) const {
  if (node->hasChildNodes()) return node->getFirstChild();
  for (const ZelNode* at = node; at != m_root;) {
    if (ZelNode* next = at->getNextSibling()) return next;
    at = at->getParentNode();
    if (at == nullptr) return nullptr;
  }
  return nullptr;
}

ZelNode* TreeNodeList::stepBackward(ZelNode* node) const {
  if (node == m_root) return nullptr;
  ZelNode* previous = node->getPreviousSibling();
  if (previous == nullptr) {
    ZelNode* parent = node->getParentNode();
    return parent == m_root ? nullptr : parent;
  }
  while (previous->hasChildNodes()) previous = previous->getLastChild();
  return previous;
}

ZelNode* TreeNodeList::getFirstNode() const { return getNextNode(const_cast<ZelNode*>(m_root)); }

ZelNode* TreeNodeList::getLastNode() const {
  ZelNode* node = m_root->getLastChild();
  if (node == nullptr) return nullptr;
  while (node->hasChildNodes()) node = node->getLastChild();
  return matches(node) ? node : getPreviousNode(node);
}

ZelNode* TreeNodeList::getNextNode(ZelNode* node) const {
  while (node != nullptr) {
    node = stepForward(node);
    if (node != nullptr && matches(node)) return node;
  }
  return nullptr;
}

ZelNode* TreeNodeList::getPreviousNode(ZelNode* node) const {
  while (node != nullptr) {
    node = stepBackward(node);
    if (node != nullptr && matches(node)) return node;
  }
  return nullptr;
}

int TreeNodeList::getLength() const {
  int count = 0;
  for (ZelNode* node = getFirstNode(); node != nullptr; node = getNextNode(node)) ++count;
  return count;
}

ZelNode* TreeNodeList::item(int index) const {
  ZelNode* node = index < 0 ? nullptr : getFirstNode();
  for (; node != nullptr && index > 0; --index) node = getNextNode(node);
  return node;
}

ZelTreeIterator::ZelTreeIterator() : m_root(nullptr), m_current(nullptr), m_atPostVisit(true), m_order(PRE_AND_POST_ORDER) {}

ZelTreeIterator::ZelTreeIterator(const ZelNode* root, const ZelNode* current, bool atPostVisit, TraversalOrder order)
    : m_root(root), m_current(const_cast<ZelNode*>(current)), m_atPostVisit(atPostVisit), m_order(order) {}

namespace {

// Whether a node without children is reported when the walk turns around
// on it: entered in pre-order, left in post-order, both for elements.
bool reportedAtTurn(const ZelNode* node, ZelTreeIterator::TraversalOrder order, bool forward) {
  if (order == ZelTreeIterator::PRE_AND_POST_ORDER) return node->isElementNode();
  return order == (forward ? ZelTreeIterator::POST_ORDER : ZelTreeIterator::PRE_ORDER);
}

}  // namespace

ZelNode* ZelTreeIterator::nextNode() {
  if (m_current == nullptr) {
    if (m_root == nullptr || m_atPostVisit) return nullptr;
    m_current = const_cast<ZelNode*>(m_root);
    if (m_order != POST_ORDER) return m_current;
  }
  for (;;) {
    if (!m_atPostVisit) {
      if (ZelNode* child = m_current->getFirstChild()) {
        m_current = child;
        if (m_order != POST_ORDER) return child;
        continue;
      }
      m_atPostVisit = true;
      if (reportedAtTurn(m_current, m_order, true)) return m_current;
      continue;
    }
    if (m_current == m_root) {
      m_current = nullptr;
      return nullptr;
    }
    if (ZelNode* next = m_current->getNextSibling()) {
      m_current = next;
      m_atPostVisit = false;
      if (m_order != POST_ORDER) return next;
      continue;
    }
    m_current = m_current->getParentNode();
    if (m_current == nullptr) return nullptr;
    if (m_order != PRE_ORDER) return m_current;
  }
}

ZelNode* ZelTreeIterator::previousNode() {
  if (m_current == nullptr) {
    if (m_root == nullptr || !m_atPostVisit) return nullptr;
    m_current = const_cast<ZelNode*>(m_root);
    if (m_order != PRE_ORDER) return m_current;
  }
  for (;;) {
    if (m_atPostVisit) {
      if (ZelNode* child = m_current->getLastChild()) {
        m_current = child;
        if (m_order != PRE_ORDER) return child;
        continue;
      }
      m_atPostVisit = false;
      if (reportedAtTurn(m_current, m_order, false)) return m_current;
      continue;
    }
    if (m_current == m_root) {
      m_current = nullptr;
      return nullptr;
    }
    if (ZelNode* previous = m_current->getPreviousSibling()) {
      m_current = previous;
      m_atPostVisit = true;
      if (m_order != PRE_ORDER) return previous;
      continue;
    }
    m_current = m_current->getParentNode();
    if (m_current == nullptr) return nullptr;
    if (m_order != POST_ORDER) return m_current;
  }
}

// At the root, a root without children is still reported once more when
// the walk turns on it (an element left after being entered), so the
// answer agrees with what the next step returns.
bool ZelTreeIterator::hasNextNode() const {
  if (m_root == nullptr) return false;
  if (m_current == nullptr) return !m_atPostVisit;
  if (m_current == m_root)
    return !m_atPostVisit && (m_root->hasChildNodes() || reportedAtTurn(m_root, m_order, true));
  if (m_order != PRE_ORDER) return true;
  if (!m_atPostVisit && m_current->hasChildNodes()) return true;
  for (const ZelNode* at = m_current; at != nullptr && at != m_root; at = at->getParentNode())
    if (at->getNextSibling() != nullptr) return true;
  return false;
}

bool ZelTreeIterator::hasPreviousNode() const {
  if (m_root == nullptr) return false;
  if (m_current == nullptr) return m_atPostVisit;
  if (m_current == m_root)
    return m_atPostVisit && (m_root->hasChildNodes() || reportedAtTurn(m_root, m_order, false));
  if (m_order != POST_ORDER) return true;
  if (m_atPostVisit && m_current->hasChildNodes()) return true;
  for (const ZelNode* at = m_current; at != nullptr && at != m_root; at = at->getParentNode())
    if (at->getPreviousSibling() != nullptr) return true;
  return false;
}

void ZelTreeIterator::setCurrentNode(const ZelNode* node, bool atPostVisit) {
  m_current = const_cast<ZelNode*>(node);
  m_atPostVisit = atPostVisit;
}

void ZelTreeIterator::setToStart() {
  m_current = const_cast<ZelNode*>(m_root);
  m_atPostVisit = false;
}

void ZelTreeIterator::setToEnd() {
  m_current = const_cast<ZelNode*>(m_root);
  m_atPostVisit = true;
}

bool ZelTreeIterator::operator==(const ZelTreeIterator& other) const {
  return m_root == other.m_root && m_current == other.m_current && m_atPostVisit == other.m_atPostVisit &&
         m_order == other.m_order;
}

}  // namespace ObraCommon
