// The XML document model: reference-counted nodes made by a ZelDocument,
// linked in intrusive lists (a parent's children form a ring through their
// next links, the last child pointing back to the first), searched by name
// numbers and walked by live lists and iterators.
//
// Ownership: a parent holds one reference on each child, an element's
// attribute map one on each attribute; children hold none on their parent
// or document. Tearing a tree down, cloning it and walking it upwards use
// loops, never recursion, so trees of any depth are safe.
//
// The virtual operations are declared in a fixed order that derived nodes
// and documents of callers rely on: never reorder or insert among them.
#pragma once

#include <cstddef>
#include <istream>
#include <ostream>
#include <vector>

#include <unicode/unistr.h>

#include "quarnel/dom_type_ids.h"
#include "quarnel/export.h"
#include "quarnel/name.h"
#include "quarnel/value.h"
#include "quarnel/xml_parser.h"
#include "quarnel/xml_serializer.h"
#include "quarnel/zel_ptr.h"

namespace ObraCommon {

using icu::UnicodeString;

class ZelNode;
class ZelDocument;
class ZelElement;
class ZelAttr;
class ZelNodeIterator;
class ZelNodeList;
class ZelNamedNodeMap;
class AttrNodeMap;
class NodeArena;

enum ZelNodeType : int {
  ELEMENT_NODE = 1,
  ATTRIBUTE_NODE = 2,
  TEXT_NODE = 3,
  PROCESSING_INSTRUCTION_NODE = 7,
  DOCUMENT_NODE = 9,
  DOCUMENT_FRAGMENT_NODE = 11,
};

// A collection walked from either end; null past both ends.
class QUARNEL_API ZelNodeIterable : public ZelRCObject {
 public:
  ~ZelNodeIterable() override;
  unsigned int getTypeID() const override;
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;
  static unsigned int getStaticTypeID() { return kTypeIdZelNodeIterable; }

  virtual ZelNodeIterator getIterator() const;
  virtual ZelNode* getFirstNode() const = 0;
  virtual ZelNode* getLastNode() const = 0;
  virtual ZelNode* getNextNode(ZelNode* node) const = 0;
  virtual ZelNode* getPreviousNode(ZelNode* node) const = 0;

 protected:
  ZelNodeIterable();
};

class QUARNEL_API ZelNodeList : public ZelNodeIterable {
 public:
  ~ZelNodeList() override;
  unsigned int getTypeID() const override;
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;
  static unsigned int getStaticTypeID() { return kTypeIdZelNodeList; }

  virtual int getLength() const = 0;
  virtual ZelNode* item(int index) const = 0;

 protected:
  ZelNodeList();
};

class QUARNEL_API ZelNamedNodeMap : public ZelNodeIterable {
 public:
  ~ZelNamedNodeMap() override;
  unsigned int getTypeID() const override;
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;
  static unsigned int getStaticTypeID() { return kTypeIdZelNamedNodeMap; }

  virtual int getLength() const = 0;
  virtual ZelNode* item(int index) const = 0;
  virtual ZelNode* getNamedItem(ZelName name) const = 0;
  virtual ZelNode* getNamedItemNS(ZelName namespaceUri, ZelName localName) const = 0;
  virtual void getNamedItemLocal(ZelName localName, std::vector<ZelPtr<ZelAttr>>* found) const = 0;
  // Both return the attribute replaced, carrying the map's former reference.
  virtual ZelPtr<ZelNode> setNamedItem(ZelNode* node) = 0;
  virtual ZelPtr<ZelNode> setNamedItemNS(ZelNode* node) = 0;
  virtual ZelPtr<ZelNode> removeNamedItem(ZelName name) = 0;
  virtual ZelPtr<ZelNode> removeNamedItemNS(ZelName namespaceUri, ZelName localName) = 0;

 protected:
  ZelNamedNodeMap();
};

// Walks a collection; holds a reference on it, none on the nodes.
class QUARNEL_API ZelNodeIterator {
 public:
  ZelNodeIterator();
  explicit ZelNodeIterator(const ZelNodeIterable* collection);
  // Over root's descendants in document order, starting after start (at the
  // first descendant when start is null).
  ZelNodeIterator(const ZelNode* root, ZelNode* start);
  ZelNodeIterator(const ZelNodeIterator& other);
  ZelNodeIterator& operator=(const ZelNodeIterator& other);
  ~ZelNodeIterator();

  ZelNode* nextNode();
  ZelNode* previousNode();
  bool hasNextNode() const;
  bool hasPreviousNode() const;
  void setToStart();
  void setToEnd();

 private:
  ZelPtr<ZelNodeIterable> m_collection;
  ZelNode* m_next;
};

class QUARNEL_API ZelNode : public ZelRCObject {
 public:
  ~ZelNode() override;
  unsigned int getTypeID() const override;
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;
  static unsigned int getStaticTypeID() { return kTypeIdZelNode; }

  virtual ZelName getNodeName() const;
  virtual ZelName getLocalName() const = 0;
  virtual ZelName getNamespaceUri() const;
  virtual ZelName getPrefix() const;
  virtual void setPrefix(ZelName prefix);
  virtual ZelValue getNodeValue() const;
  virtual void setNodeValue(const ZelValue& value);
  virtual ZelNodeType getNodeType() const = 0;
  virtual ZelNode* getParentNode() const;
  virtual bool hasChildNodes() const;
  virtual ZelPtr<ZelNodeList> getChildNodes() const;
  virtual ZelNode* getFirstChild() const;
  virtual ZelNode* getLastChild() const;
  virtual ZelNode* getPreviousSibling() const;
  virtual ZelNode* getNextSibling() const;
  virtual ZelDocument* getOwnerDocument() const;
  // Returns newChild; the caller gets no reference of its own.
  virtual ZelNode* insertBefore(ZelNode* newChild, ZelNode* refChild);
  virtual ZelPtr<ZelNode> replaceChild(ZelNode* newChild, ZelNode* oldChild);
  virtual ZelPtr<ZelNode> removeChild(ZelNode* oldChild);
  virtual ZelNode* appendChild(ZelNode* newChild);
  virtual ZelNamedNodeMap* getAttributes() const;
  virtual bool hasAttributes() const;
  virtual ZelPtr<ZelNode> cloneNode(bool deep) const;
  virtual ZelName lookupPrefix(ZelName namespaceUri) const;
  virtual bool isDefaultNamespace(ZelName namespaceUri) const;
  virtual ZelName lookupNamespaceUri(ZelName prefix) const;
  virtual void finishAttributes();
  // Class tests for the node classes of layers built on this library.
  virtual bool isElementNode() const;
  virtual bool isText() const;
  virtual bool isFO() const;
  virtual bool isNORV() const;
  virtual bool isArea() const;
  virtual bool isBlock() const;
  virtual bool isInline() const;
  virtual bool isNeutral() const;
  virtual bool isInlineBlock() const;
  virtual bool isOutOfLine() const;
  virtual UnicodeString getText() const;
  virtual void setText(const UnicodeString& text);
  virtual ZelPtr<ZelNodeList> getElementsByTagName(ZelName name) const;
  virtual ZelPtr<ZelNodeList> getElementsByTagNameNS(ZelName namespaceUri, ZelName localName) const;
  virtual ZelPtr<ZelNodeList> getDescendantNodes() const;
  virtual ZelNodeIterator getIterator() const;
  virtual ZelNode* appendChildEx(ZelNode* newChild);
  virtual ZelNode* appendChildText(const UnicodeString& text);
  virtual int getSourceLineNumber() const;
  virtual void setSourceLineNumber(int line);
  virtual int getSourceColumnNumber() const;
  virtual void setSourceColumnNumber(int column);

  // A document's factories make its nodes in the document's own arena
  // (the form with the document); any other node comes from the heap.
  // delete finds where either came from, and a node may outlive its
  // document: the arena goes with the last of them.
  static void* operator new(size_t size);
  static void* operator new(size_t size, ZelDocument* document);
  static void operator delete(void* node);
  static void operator delete(void* node, ZelDocument* document);

  enum : unsigned int { FLAG_LOADING = 1u, FLAG_LOADED = 2u, FLAG_COMPLEMENTAL = 4u };
  bool getFlag(int mask) const { return (m_flags & static_cast<unsigned int>(mask)) != 0; }
  void setFlag(int mask, bool on);
  bool isLoading() const { return getFlag(FLAG_LOADING); }
  bool isLoaded() const { return getFlag(FLAG_LOADING | FLAG_LOADED); }

  // The links as they stand, never loading.
  ZelNode* getParentNodeFast() const { return m_parent; }
  bool hasChildNodesFast() const { return m_lastChild != nullptr; }
  ZelNode* getFirstChildFast() const { return m_lastChild == nullptr ? nullptr : m_lastChild->m_next; }
  ZelNode* getLastChildFast() const { return m_lastChild; }
  ZelNode* getNextSiblingFast() const {
    return m_parent == nullptr || m_parent->m_lastChild == this ? nullptr : m_next;
  }
  ZelNode* getParentNodeUncomplemental() const;

  void removeAllChildNodes();
  // Takes every descendant apart, even those held elsewhere; the number of
  // nodes released.
  long deleteAllChildNodes();
  bool isDescendantOf(const ZelNode* other) const;
  bool isDescendantOrSelfOf(const ZelNode* other) const;
  bool isFollowingOf(const ZelNode* other) const;
  bool isPrecedingOf(const ZelNode* other) const;
  int countPrecedingSiblings() const;
  int countFollowingSiblings() const;
  int getChildNodeCount() const;
  int getNodeDepth() const;
  ZelNode* getChildNodeByName(ZelName name) const;
  ZelNode* getChildNodeByNameNS(ZelName namespaceUri, ZelName localName) const;
  ZelNode* getChildNodeByTypeID(unsigned int id) const;
  ZelNode* getAncestorByName(ZelName name) const;
  ZelNode* getAncestorOrSelfByName(ZelName name) const;
  ZelNode* getAncestorByNameNS(ZelName namespaceUri, ZelName localName) const;
  ZelNode* getAncestorByTypeID(unsigned int id) const;
  ZelNode* getCommonAncestor(const ZelNode* other) const;
  ZelNode* getCommonAncestorOrSelf(const ZelNode* other) const;
  UnicodeString getInnerText() const;

 protected:
  explicit ZelNode(ZelDocument* ownerDocument);
  ZelNode(const ZelNode&) = delete;
  ZelNode& operator=(const ZelNode&) = delete;

  // Appends to clone a copy of every child of source, and of theirs, in
  // order; children whose clone comes back empty are left out.
  static void cloneChildrenInto(const ZelNode* source, ZelNode* clone);
  // The position rule shared by every node: the nearest stored position
  // among the preceding siblings, then the parent and its predecessors.
  static int findSourcePosition(const ZelNode* node, bool line);

 private:
  friend class ZelElement;
  friend class ZelDocument;
  friend class AttrNodeMap;

  void checkInsertable(ZelNode* newChild, int origin) const;
  void detachFromParent(ZelNode* child);
  const ZelElement* namespaceContext() const;

  unsigned int m_flags;
  ZelNode* m_parent;
  ZelNode* m_next;
  ZelNode* m_previous;
  ZelNode* m_lastChild;
  ZelDocument* m_ownerDocument;
};

class QUARNEL_API ZelElement : public ZelNode {
 public:
  ~ZelElement() override;
  unsigned int getTypeID() const override;
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;
  static unsigned int getStaticTypeID() { return kTypeIdZelElement; }

  ZelNodeType getNodeType() const override;
  ZelNamedNodeMap* getAttributes() const override;
  bool hasAttributes() const override;
  ZelPtr<ZelNode> cloneNode(bool deep) const override;
  bool isElementNode() const override;
  int getSourceLineNumber() const override;
  void setSourceLineNumber(int line) override;
  int getSourceColumnNumber() const override;
  void setSourceColumnNumber(int column) override;

  virtual ZelValue getAttribute(ZelName name) const;
  virtual ZelValue getAttributeNS(ZelName namespaceUri, ZelName localName) const;
  virtual void setAttribute(ZelName name, const ZelValue& value);
  virtual void setAttributeNS(ZelName namespaceUri, ZelName prefix, ZelName localName, const ZelValue& value);
  virtual void setAttributeNS(ZelName namespaceUri, ZelName qualifiedName, const ZelValue& value);
  virtual void removeAttribute(ZelName name);
  virtual void removeAttributeNS(ZelName namespaceUri, ZelName localName);
  virtual ZelAttr* getAttributeNode(ZelName name) const;
  virtual ZelAttr* getAttributeNodeNS(ZelName namespaceUri, ZelName localName) const;
  virtual void getAttributeNodeLocal(ZelName localName, std::vector<ZelPtr<ZelAttr>>* found) const;
  virtual ZelPtr<ZelAttr> setAttributeNode(ZelAttr* attr);
  virtual ZelPtr<ZelAttr> setAttributeNodeNS(ZelAttr* attr);
  virtual ZelPtr<ZelAttr> removeAttributeNode(ZelAttr* oldAttr);
  virtual bool hasAttribute(ZelName name) const;
  virtual bool hasAttributeNS(ZelName namespaceUri, ZelName localName) const;
  virtual bool hasAttributeLocal(ZelName localName) const;
  virtual void setAttributeEx(ZelName namespaceUri, ZelName prefix, ZelName localName, const UnicodeString& value);

  void getAttributeLocal(ZelName localName, std::vector<ZelValue>* found) const;

 protected:
  explicit ZelElement(ZelDocument* ownerDocument);

 private:
  // The attribute of that namespace and local name, made and linked when
  // missing (null when the document makes none), its prefix set when found.
  ZelPtr<ZelAttr> attributeToSet(ZelName namespaceUri, ZelName prefix, ZelName localName);

  AttrNodeMap* m_attributes;
  int m_sourceLine;
  int m_sourceColumn;

  friend class ZelNode;
};

class QUARNEL_API ZelAttr : public ZelNode {
 public:
  ~ZelAttr() override;
  unsigned int getTypeID() const override;
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;
  static unsigned int getStaticTypeID() { return kTypeIdZelAttr; }

  virtual ZelValue getValue() const = 0;
  virtual void setValue(const ZelValue& value) = 0;
  virtual ZelElement* getOwnerElement() const = 0;

 protected:
  explicit ZelAttr(ZelDocument* ownerDocument);
};

class QUARNEL_API ZelTextNode : public ZelNode {
 public:
  ZelTextNode(ZelDocument* ownerDocument, const UnicodeString& text);
  ~ZelTextNode() override;
  unsigned int getTypeID() const override;
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;
  static unsigned int getStaticTypeID() { return kTypeIdZelTextNode; }

  ZelName getLocalName() const override;
  ZelValue getNodeValue() const override;
  void setNodeValue(const ZelValue& value) override;
  ZelNodeType getNodeType() const override;
  ZelPtr<ZelNode> cloneNode(bool deep) const override;
  bool isText() const override;
  UnicodeString getText() const override;
  void setText(const UnicodeString& text) override;

  // UTF-16 code units.
  virtual int getLength() const;
  virtual UnicodeString getData() const;
  virtual void setData(const UnicodeString& text);

 private:
  friend class ZelDocument;

  UnicodeString m_data;
};

// One processing instruction, kept as one text.
class QUARNEL_API ZelPINode : public ZelTextNode {
 public:
  ZelPINode(ZelDocument* ownerDocument, const UnicodeString& text);
  ~ZelPINode() override;
  unsigned int getTypeID() const override;
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;
  static unsigned int getStaticTypeID() { return kTypeIdZelPINode; }

  ZelNodeType getNodeType() const override;
  ZelPtr<ZelNode> cloneNode(bool deep) const override;
};

class QUARNEL_API ZelDocumentFragment : public ZelNode {
 public:
  explicit ZelDocumentFragment(ZelDocument* ownerDocument);
  ~ZelDocumentFragment() override;
  unsigned int getTypeID() const override;
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;
  static unsigned int getStaticTypeID() { return kTypeIdZelDocumentFragment; }

  ZelName getLocalName() const override;
  ZelNodeType getNodeType() const override;
};

// The root of a tree and the maker of its nodes. Every factory is virtual,
// so a derived document may make its own node classes or none (an empty
// pointer).
class QUARNEL_API ZelDocument : public ZelNode {
 public:
  ZelDocument();
  ~ZelDocument() override;
  unsigned int getTypeID() const override;
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;
  static unsigned int getStaticTypeID() { return kTypeIdZelDocument; }

  ZelName getLocalName() const override;
  ZelNodeType getNodeType() const override;
  ZelDocument* getOwnerDocument() const override;

  virtual ZelElement* getDocumentElement() const;
  virtual ZelPtr<ZelElement> createElement(ZelName qualifiedName);
  virtual ZelPtr<ZelElement> createElementNS(ZelName namespaceUri, ZelName prefix, ZelName localName);
  virtual ZelPtr<ZelElement> createElementNS(ZelName namespaceUri, ZelName qualifiedName);
  virtual ZelPtr<ZelTextNode> createTextNode(const UnicodeString& text);
  virtual ZelPtr<ZelPINode> createProcessingInstruction(const UnicodeString& text);
  virtual ZelPtr<ZelDocumentFragment> createDocumentFragment();
  virtual ZelPtr<ZelAttr> createAttribute(ZelName qualifiedName);
  virtual ZelPtr<ZelAttr> createAttributeNS(ZelName namespaceUri, ZelName prefix, ZelName localName);
  virtual ZelPtr<ZelAttr> createAttributeNS(ZelName namespaceUri, ZelName qualifiedName);
  // contextNode is a hook for derived documents that wrap text.
  virtual ZelPtr<ZelNode> createTextNodeElement(const UnicodeString& text, ZelNode* contextNode);

  UnicodeString getBaseUri() const;
  void setBaseUri(const UnicodeString& uri);
  bool isBaseUriSpecified() const;
  UnicodeString getDocumentUri() const;
  bool getPullMode() const { return m_pullMode; }
  void setPullMode(bool pull) { m_pullMode = pull; }
  ZelNode* getLastLoadingNode() const { return m_lastLoadingNode; }

  // Loading replaces the children of node (the whole document when node is
  // null or the document). In pull mode load returns at once and nodes are
  // read as navigation asks for them; loadXml always reads everything. A
  // parse error ends loading, keeps what was read, and passes through.
  void load(const UnicodeString& uri, ZelNode* node);
  void load(std::istream& in, ZelNode* node);
  // Reads the input already set on the parser into the whole document.
  void load();
  void loadXml(const UnicodeString& text, ZelNode* node);
  // The node just read into the tree, or null when loading is over.
  ZelNode* loadNextNode();
  // Stops loading; what was read stays.
  void abort();

  ZelXmlParser* getParser();
  void setParser(ZelXmlParser* parser);
  // Whether loading may read external subsets and entities from outside
  // the document (files, jar: entries); off by default, when only what the
  // URI resolver serves is read. Sets the feature on the current parser.
  void setExternalEntityLoading(bool allowed);
  ZelXmlSerializer* getSerializer();
  void setSerializer(ZelXmlSerializer* serializer);

  // Saving writes node's subtree (the whole document when node is null).
  // Encodings: "UTF-8" (also for any name the writer does not know) and
  // "SHIFT_JIS".
  void save(const UnicodeString& uri, ZelNode* node);
  void save(const UnicodeString& uri, ZelNode* node, const UnicodeString& encoding);
  void save(const UnicodeString& uri, ZelNode* node, const UnicodeString& encoding, const UnicodeString& instruction);
  void save(std::ostream& out, ZelNode* node, const UnicodeString& encoding);
  void save(std::ostream& out, ZelNode* node, const UnicodeString& encoding, const UnicodeString& instruction);
  void save(const UnicodeString& comment, const UnicodeString& doctype, std::ostream& out, ZelNode* node,
            const UnicodeString& encoding);
  // The subtree as text; only the whole document gets an XML declaration.
  UnicodeString saveXml(ZelNode* node);
  // A large document written piece by piece: the document element's start
  // tag, then any number of complete subtrees, then its end.
  void saveDocumentElement(const UnicodeString& uri);
  void saveDocumentElement(std::ostream& out);
  void saveChildElement(ZelNode* node);
  void closeDocumentElement();

 private:
  void doLoad(ZelNode* node, bool pull);
  ZelNode* readNextNode();
  bool ownLoading(const ZelNode* current) const;
  void linkLoaded(ZelNode* parent, ZelNode* child);
  ZelNode* loadOwnElement(ZelXmlParser* parser, ZelNode* parent);
  void doSave(ZelNode* node);
  void doSave(ZelNode* node, bool startTagOnly);
  void writeAttributes(ZelElement* element);
  // Runs a save's body; on failure the output is still released.
  template <class Body>
  void guardedSave(Body body);

  friend class ZelNode;

  // Where the factories make nodes; held by the document and by each node
  // made there.
  NodeArena* m_arena;
  ZelPtr<ZelXmlParser> m_parser;
  ZelPtr<ZelXmlSerializer> m_serializer;
  UnicodeString m_baseUri;
  UnicodeString m_documentUri;
  ZelNode* m_lastLoadingNode;
  // Where loading started: the loader never climbs above it.
  ZelNode* m_loadTarget;
  int m_skipDepth;
  bool m_pullMode;
};

// Walks a subtree visiting each node before and after its children. Holds
// no references: the tree must outlive it.
class QUARNEL_API ZelTreeIterator {
 public:
  enum TraversalOrder { PRE_ORDER = 1, POST_ORDER = 2, PRE_AND_POST_ORDER = 3 };

  ZelTreeIterator();
  ZelTreeIterator(const ZelNode* root, const ZelNode* current, bool atPostVisit, TraversalOrder order);

  ZelNode* nextNode();
  ZelNode* previousNode();
  bool hasNextNode() const;
  bool hasPreviousNode() const;
  bool atPreVisit() const { return !m_atPostVisit; }
  bool atPostVisit() const { return m_atPostVisit; }
  void setAtPreVisit(bool b) { m_atPostVisit = !b; }
  void setAtPostVisit(bool b) { m_atPostVisit = b; }
  const ZelNode* getRootNode() const { return m_root; }
  ZelNode* getCurrentNode() const { return m_current; }
  void setCurrentNode(const ZelNode* node, bool atPostVisit);
  TraversalOrder getTraversalOrder() const { return m_order; }
  void setTraversalOrder(TraversalOrder order) { m_order = order; }
  void setToStart();
  void setToEnd();
  bool operator==(const ZelTreeIterator& other) const;
  bool operator!=(const ZelTreeIterator& other) const { return !(*this == other); }

 private:
  const ZelNode* m_root;
  ZelNode* m_current;
  bool m_atPostVisit;
  TraversalOrder m_order;
};

}  // namespace ObraCommon
