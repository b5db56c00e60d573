// Namespace maps and the manager's scope stack.
#include "quarnel/namespace_manager.h"

#include <iterator>

#include "xml_names.h"

namespace ObraCommon {

namespace {

// Entries of prefixes bound nowhere any more that the binding index keeps.
constexpr size_t kKeptUnboundPrefixes = 64;

}  // namespace

NamespaceMap::NamespaceMap() = default;
NamespaceMap::~NamespaceMap() = default;

unsigned int NamespaceMap::getTypeID() const { return getStaticTypeID(); }
bool NamespaceMap::isA(unsigned int id) const { return id == getStaticTypeID() || ZelRCObject::isA(id); }
UnicodeString NamespaceMap::getTypeName() const { return UnicodeString(u"NamespaceMap"); }

void NamespaceMap::declare(ZelName prefix, ZelName uri) { m_bindings[prefix] = uri; }

void NamespaceMap::undeclare(ZelName prefix, ZelName uri) {
  auto it = m_bindings.find(prefix);
  if (it != m_bindings.end() && it->second == uri) m_bindings.erase(it);
}

ZelName NamespaceMap::getUri(ZelName prefix) const {
  auto it = m_bindings.find(prefix);
  return it == m_bindings.end() ? ZelName() : ZelName(it->second);
}

bool NamespaceMap::hasPrefix(ZelName prefix) const { return m_bindings.count(prefix) != 0; }

ZelName NamespaceMap::getDefaultUri() const { return getUri(ZelName()); }

ZelName NamespaceMap::getPrefix(ZelName uri) const {
  for (const auto& [prefix, bound] : m_bindings)
    if (prefix != ZEL_NAME_EMPTY && bound == uri) return prefix;
  return ZelName();
}

int NamespaceMap::getCount() const { return static_cast<int>(m_bindings.size()); }

ZelName NamespaceMap::getPrefixAt(int i) const {
  if (i < 0 || i >= getCount()) return ZelName();
  return std::next(m_bindings.begin(), i)->first;
}

ZelName NamespaceMap::getUriAt(int i) const {
  if (i < 0 || i >= getCount()) return ZelName();
  return std::next(m_bindings.begin(), i)->second;
}

NamespaceMapIterator::NamespaceMapIterator(const NamespaceMap& map)
    : m_bindings(&map.bindings()), m_at(map.bindings().begin()) {}

bool NamespaceMapIterator::hasNext() const { return m_at != m_bindings->end(); }

NamespaceMapIterator::Pair NamespaceMapIterator::next() {
  if (m_at == m_bindings->end()) return {};
  Pair pair(m_at->first, m_at->second);
  ++m_at;
  return pair;
}

bool NamespaceMapIterator::hasPrevious() const { return m_at != m_bindings->begin(); }

NamespaceMapIterator::Pair NamespaceMapIterator::previous() {
  if (m_at == m_bindings->begin()) return {};
  --m_at;
  return Pair(m_at->first, m_at->second);
}

void NamespaceMapIterator::setToStart() { m_at = m_bindings->begin(); }
void NamespaceMapIterator::setToEnd() { m_at = m_bindings->end(); }

NamespaceManager::NamespaceManager() {
  ZelNameTable::addRefSharedNameTable();
  m_scopes.emplace_back();
  m_scopes.back().declarations = new NamespaceMap();
  m_scopes.back().declarations->declare(ZelName(NAME_XML), ZelName(kXmlNamespaceName));
  m_scopes.back().declarations->declare(ZelName(NAME_XMLNS), ZelName(kXmlnsNamespaceName));
  index(ZelName(NAME_XML), ZelName(kXmlNamespaceName));
  index(ZelName(NAME_XMLNS), ZelName(kXmlnsNamespaceName));
}

void NamespaceManager::index(ZelName prefix, ZelName uri) {
  auto& bindings = m_bindingIndex[prefix];
  const size_t scope = m_scopes.size() - 1;
  if (!bindings.empty() && bindings.back().first == scope) bindings.back().second = uri;
  else bindings.emplace_back(scope, uri);
}

void NamespaceManager::unindex(ZelName prefix) {
  auto found = m_bindingIndex.find(prefix);
  if (found == m_bindingIndex.end()) return;
  auto& bindings = found->second;
  if (!bindings.empty() && bindings.back().first == m_scopes.size() - 1) bindings.pop_back();
  // A prefix no longer bound keeps its empty entry while the index is
  // small, so that a prefix declared on element after element is not
  // made and dropped each time.
  if (bindings.empty() && m_bindingIndex.size() > kKeptUnboundPrefixes) m_bindingIndex.erase(found);
}

NamespaceManager::~NamespaceManager() {
  m_scopes.clear();
  ZelNameTable::releaseSharedNameTable();
}

unsigned int NamespaceManager::getTypeID() const { return getStaticTypeID(); }
bool NamespaceManager::isA(unsigned int id) const { return id == getStaticTypeID() || ZelRCObject::isA(id); }
UnicodeString NamespaceManager::getTypeName() const { return UnicodeString(u"NamespaceManager"); }

void NamespaceManager::pushScope() { m_scopes.emplace_back(); }

bool NamespaceManager::popScope() {
  if (m_scopes.size() < 2) return false;
  if (m_scopes.back().declarations)
    for (const auto& binding : m_scopes.back().declarations->bindings()) unindex(binding.first);
  m_scopes.pop_back();
  return true;
}

int NamespaceManager::getDepth() const { return static_cast<int>(m_scopes.size()) - 1; }

int NamespaceManager::getNamespaceCount(int depth) const {
  if (depth < 0 || depth >= static_cast<int>(m_scopes.size())) return 0;
  const auto& map = m_scopes[static_cast<size_t>(depth)].declarations;
  return map ? map->getCount() : 0;
}

ZelName NamespaceManager::getDeclaredPrefix(int pos) const {
  const auto& map = m_scopes.back().declarations;
  return map ? map->getPrefixAt(pos) : ZelName();
}

ZelName NamespaceManager::getDeclaredUri(int pos) const {
  const auto& map = m_scopes.back().declarations;
  return map ? map->getUriAt(pos) : ZelName();
}

void NamespaceManager::declarePrefix(ZelName prefix, ZelName uri) {
  if (getNamespaceUri(prefix) == uri) return;
  auto& map = m_scopes.back().declarations;
  if (!map) map = new NamespaceMap();
  map->declare(prefix, uri);
  index(prefix, uri);
}

void NamespaceManager::undeclarePrefix(ZelName prefix, ZelName uri) {
  auto& map = m_scopes.back().declarations;
  if (!map || !map->hasPrefix(prefix) || map->getUri(prefix) != uri) return;
  map->undeclare(prefix, uri);
  unindex(prefix);
}

ZelName NamespaceManager::getNamespaceUri(ZelName prefix) const {
  auto found = m_bindingIndex.find(prefix);
  if (found == m_bindingIndex.end()) return ZelName();
  for (auto it = found->second.rbegin(); it != found->second.rend(); ++it) {
    if (it->second != ZEL_NAME_EMPTY) return it->second;
    // An empty default namespace undeclares the outer ones.
    if (prefix.isEmpty()) return ZelName();
  }
  return ZelName();
}

ZelName NamespaceManager::getDefaultNamespace() const {
  auto found = m_bindingIndex.find(ZEL_NAME_EMPTY);
  return found == m_bindingIndex.end() || found->second.empty() ? ZelName() : ZelName(found->second.back().second);
}

ZelName NamespaceManager::getPrefix(ZelName uri) const {
  for (auto it = m_scopes.rbegin(); it != m_scopes.rend(); ++it) {
    if (!it->declarations) continue;
    ZelName prefix = it->declarations->getPrefix(uri);
    if (!prefix.isEmpty()) return prefix;
  }
  return ZelName();
}

bool NamespaceManager::isPrefixDeclared(ZelName prefix) const {
  auto found = m_bindingIndex.find(prefix);
  return found != m_bindingIndex.end() && !found->second.empty();
}

void NamespaceManager::setElementName(ZelName namespaceName, ZelName prefix, ZelName localName) {
  auto& scope = m_scopes.back();
  scope.elementNamespace = namespaceName;
  scope.elementPrefix = prefix;
  scope.elementLocalName = localName;
}

}  // namespace ObraCommon
