// Namespace scopes shared by the XML parsers and the writer: a stack of
// scopes, each with the prefix bindings its start tag declared (made on the
// first declaration) and the name of its element. The base scope binds
// "xml" and "xmlns" and is never removed.
#pragma once

#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

#include "quarnel/export.h"
#include "quarnel/name.h"
#include "quarnel/zel_ptr.h"

namespace ObraCommon {

// Prefix to namespace name, ordered by the prefix's name number; the empty
// prefix is the default namespace.
class QUARNEL_API NamespaceMap : public ZelRCObject {
 public:
  NamespaceMap();
  ~NamespaceMap() override;

  unsigned int getTypeID() const override;
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;
  static unsigned int getStaticTypeID() { return 0xFD41C124u; }

  void declare(ZelName prefix, ZelName uri);
  // Erases the prefix only when it is bound to exactly uri.
  void undeclare(ZelName prefix, ZelName uri);
  ZelName getUri(ZelName prefix) const;
  bool hasPrefix(ZelName prefix) const;
  ZelName getDefaultUri() const;
  // The first non-empty prefix in map order bound to uri, or the empty name.
  ZelName getPrefix(ZelName uri) const;
  int getCount() const;
  ZelName getPrefixAt(int i) const;
  ZelName getUriAt(int i) const;

  using Bindings = std::map<ZelNameEnum, ZelNameEnum>;
  const Bindings& bindings() const { return m_bindings; }

 private:
  Bindings m_bindings;
};

// Walks a map's bindings in map order as (prefix, uri) pairs.
class QUARNEL_API NamespaceMapIterator {
 public:
  using Pair = std::pair<ZelName, ZelName>;
  explicit NamespaceMapIterator(const NamespaceMap& map);
  bool hasNext() const;
  Pair next();
  bool hasPrevious() const;
  Pair previous();
  void setToStart();
  void setToEnd();

 private:
  const NamespaceMap::Bindings* m_bindings;
  NamespaceMap::Bindings::const_iterator m_at;
};

class QUARNEL_API NamespaceManager : public ZelRCObject {
 public:
  NamespaceManager();
  ~NamespaceManager() override;
  NamespaceManager(const NamespaceManager&) = delete;
  NamespaceManager& operator=(const NamespaceManager&) = delete;

  unsigned int getTypeID() const override;
  bool isA(unsigned int id) const override;
  UnicodeString getTypeName() const override;
  static unsigned int getStaticTypeID() { return 0x6066CC3Au; }

  void pushScope();
  // False, and nothing removed, when only the base scope is left.
  bool popScope();
  int getDepth() const;
  int getNamespaceCount(int depth) const;
  ZelName getDeclaredPrefix(int pos) const;
  ZelName getDeclaredUri(int pos) const;
  // Records the binding in the innermost scope unless it is already the
  // one in force.
  void declarePrefix(ZelName prefix, ZelName uri);
  void undeclarePrefix(ZelName prefix, ZelName uri);
  ZelName getNamespaceUri(ZelName prefix) const;
  ZelName getDefaultNamespace() const;
  ZelName getPrefix(ZelName uri) const;
  bool isPrefixDeclared(ZelName prefix) const;
  void setElementName(ZelName namespaceName, ZelName prefix, ZelName localName);

  // The element name fields of the innermost scope.
  ZelName getElementNamespace() const { return m_scopes.back().elementNamespace; }
  ZelName getElementPrefix() const { return m_scopes.back().elementPrefix; }
  ZelName getElementLocalName() const { return m_scopes.back().elementLocalName; }

 private:
  struct Scope {
    ZelPtr<NamespaceMap> declarations;
    ZelName elementPrefix;
    ZelName elementLocalName;
    ZelName elementNamespace;
  };
  void index(ZelName prefix, ZelName uri);
  void unindex(ZelName prefix);

  std::vector<Scope> m_scopes;
  // Per prefix, the bindings in force from the outermost scope to the
  // innermost (scope index, namespace name), so that a lookup does not walk
  // every open scope.
  std::unordered_map<ZelNameEnum, std::vector<std::pair<size_t, ZelNameEnum>>> m_bindingIndex;
};

}  // namespace ObraCommon
