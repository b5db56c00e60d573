// The document model's own node and collection classes, hidden from the
// library's users: they reach them through the exported abstract classes.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>

#include "quarnel/dom.h"

namespace ObraCommon {

// An element made from a qualified name: its namespace is whatever the
// declarations in scope bind its prefix to, asked anew at every call.
class Element : public ZelElement {
 public:
  Element(ZelDocument* ownerDocument, ZelName prefix, ZelName localName);
  unsigned int getTypeID() const override;
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;

  ZelName getLocalName() const override;
  ZelName getNamespaceUri() const override;
  ZelName getPrefix() const override;
  void setPrefix(ZelName prefix) override;

 protected:
  ZelName m_prefix;
  ZelName m_localName;
};

class ElementNS : public Element {
 public:
  ElementNS(ZelDocument* ownerDocument, ZelName namespaceUri, ZelName prefix, ZelName localName);
  unsigned int getTypeID() const override;
  // Answers as an element with a namespace, never as a plain Element.
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;
  ZelName getNamespaceUri() const override;

 private:
  ZelName m_namespaceUri;
};

// A value whose name bits carry the attribute's local name.
class NamedAttrValue : public ZelValue {
 public:
  using ZelValue::getNameBits;
  using ZelValue::operator=;
  using ZelValue::setNameBits;
};

// The attribute's local name rides in the name bits of its value.
class Attr : public ZelAttr {
 public:
  Attr(ZelDocument* ownerDocument, ZelName localName);
  ZelName getNodeName() const override;
  ZelName getLocalName() const override;
  ZelValue getNodeValue() const override;
  void setNodeValue(const ZelValue& value) override;
  ZelNodeType getNodeType() const override;
  ZelNode* getParentNode() const override;
  ZelNode* getPreviousSibling() const override;
  ZelNode* getNextSibling() const override;
  UnicodeString getText() const override;
  void setText(const UnicodeString& text) override;
  ZelValue getValue() const override;
  void setValue(const ZelValue& value) override;
  ZelElement* getOwnerElement() const override;

  // A value that is an unknown string (as loading sets it) is kept as its
  // text alone: the value object is made when one is asked for.
  void setPlainText(UnicodeString&& text);
  // The text of such a value, or null for any other.
  const UnicodeString* getPlainText() const { return m_plain ? &m_text : nullptr; }

 private:
  // Null with the local name in its name bits while the value is plain.
  NamedAttrValue m_value;
  UnicodeString m_text;
  bool m_plain = false;
};

class AttrNS : public Attr {
 public:
  AttrNS(ZelDocument* ownerDocument, ZelName namespaceUri, ZelName prefix, ZelName localName);
  unsigned int getTypeID() const override;
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;
  ZelName getNodeName() const override;
  ZelName getNamespaceUri() const override;
  ZelName getPrefix() const override;
  void setPrefix(ZelName prefix) override;
  // The namespace given at creation, before any lookup through the prefix.
  ZelName getStoredNamespaceUri() const { return m_namespaceUri; }

 private:
  ZelName m_namespaceUri;
  ZelName m_prefix;
};

// An element's attributes: a ring through the attributes' next links,
// anchored on the last attribute, or on the owner element when empty.
class AttrNodeMap : public ZelNamedNodeMap {
 public:
  // Made beside its element, in the element's document's arena.
  static void* operator new(size_t size, ZelDocument* document) { return ZelNode::operator new(size, document); }
  static void operator delete(void* map) { ZelNode::operator delete(map); }
  static void operator delete(void* map, ZelDocument*) { ZelNode::operator delete(map); }

  explicit AttrNodeMap(ZelElement* owner);
  ~AttrNodeMap() override;
  unsigned int getTypeID() const override;
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;

  ZelNode* getFirstNode() const override;
  ZelNode* getLastNode() const override;
  ZelNode* getNextNode(ZelNode* node) const override;
  ZelNode* getPreviousNode(ZelNode* node) const override;
  int getLength() const override;
  ZelNode* item(int index) const override;
  ZelNode* getNamedItem(ZelName name) const override;
  ZelNode* getNamedItemNS(ZelName namespaceUri, ZelName localName) const override;
  void getNamedItemLocal(ZelName localName, std::vector<ZelPtr<ZelAttr>>* found) const override;
  ZelPtr<ZelNode> setNamedItem(ZelNode* node) override;
  ZelPtr<ZelNode> setNamedItemNS(ZelNode* node) override;
  ZelPtr<ZelNode> removeNamedItem(ZelName name) override;
  ZelPtr<ZelNode> removeNamedItemNS(ZelName namespaceUri, ZelName localName) override;

  bool isEmpty() const;
  ZelElement* getOwner() const;
  // Links a new attribute at the end; the map takes its reference.
  void append(ZelNode* attr);
  // Unlinks attr when it is in the map; its reference passes to the result.
  ZelPtr<ZelNode> remove(ZelNode* attr);
  // The owner element is going: its attributes are let go, and a map a
  // caller still holds reads as empty and takes no attribute.
  void dropOwner();

 private:
  ZelPtr<ZelNode> setItem(ZelNode* node, int origin, bool byNamespace);
  void releaseAll();
  // The index key of an attribute whose namespace and local name cannot
  // change while it is in the map: the library's own plain attributes, and
  // its namespaced ones created with their namespace. False for any other.
  static bool stableKey(const ZelNode* attr, uint64_t* key);
  void indexAdd(ZelNode* attr);
  void indexRemove(ZelNode* attr);

  ZelNode* m_anchor;
  // Beside the ring, past a few attributes: the attributes with stable keys
  // by (namespace, local name), so that a loader setting n attributes does
  // not walk the ring n times. Lookups use it only while every attribute
  // in the map has a stable key, so answers stay those of the ring walk.
  std::unique_ptr<std::unordered_map<uint64_t, ZelNode*>> m_index;
  int m_count = 0;
  int m_unstable = 0;
};

class ChildNodeList : public ZelNodeList {
 public:
  explicit ChildNodeList(const ZelNode* node);
  unsigned int getTypeID() const override;
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;
  ZelNode* getFirstNode() const override;
  ZelNode* getLastNode() const override;
  ZelNode* getNextNode(ZelNode* node) const override;
  ZelNode* getPreviousNode(ZelNode* node) const override;
  int getLength() const override;
  ZelNode* item(int index) const override;

 private:
  const ZelNode* m_node;
};

// The descendants of a root in document order, every node (mode 0), the
// elements of a local name (1) or of a namespace and local name (2); "*"
// matches any name.
class TreeNodeList : public ZelNodeList {
 public:
  TreeNodeList(const ZelNode* root, int mode, ZelName namespaceUri, ZelName localName);
  unsigned int getTypeID() const override;
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;
  ZelNode* getFirstNode() const override;
  ZelNode* getLastNode() const override;
  ZelNode* getNextNode(ZelNode* node) const override;
  ZelNode* getPreviousNode(ZelNode* node) const override;
  int getLength() const override;
  ZelNode* item(int index) const override;

 private:
  bool matches(const ZelNode* node) const;
  ZelNode* stepForward(ZelNode* node) const;
  ZelNode* stepBackward(ZelNode* node) const;

  const ZelNode* m_root;
  int m_mode;
  ZelName m_namespaceUri;
  ZelName m_localName;
  ZelName m_anyName;
};

}  // namespace ObraCommon
