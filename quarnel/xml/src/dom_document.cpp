// The document: the maker of every node, and the holder of the URIs and the
// reading mode.
#include <atomic>
#include <thread>

#ifdef __has_include
#if __has_include(<sanitizer/asan_interface.h>)
#include <sanitizer/asan_interface.h>
#endif
#endif

#include "dom_internal.h"
#include "quarnel/builtin_names.h"
#include "quarnel/xml_parser.h"
#include "xml_names.h"

namespace ObraCommon {

namespace {

// Every node starts after a header: its arena (null for one from the heap)
// and its size class. Slots are whole grains, header included; larger
// nodes come from the heap.
constexpr size_t kHeader = 16;
constexpr size_t kGrain = 16;
constexpr uint32_t kClasses = 32;
constexpr size_t kFirstBlock = 4096;
constexpr size_t kLargestBlock = 64 * 1024;

#if defined(__SANITIZE_ADDRESS__)
#define QUARNEL_ARENA_POISONS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUARNEL_ARENA_POISONS 1
#endif
#endif

void* heapNode(size_t size) {
  char* base = static_cast<char*>(::operator new(size + kHeader));
  *reinterpret_cast<NodeArena**>(base) = nullptr;
  return base + kHeader;
}

}  // namespace

// A document's nodes in blocks of slots, each size class with its list of
// free slots. Counted: one reference for the document and one for each
// slot in use, so that the blocks go when the document and all its nodes
// are gone. Nodes may be made and released on several threads: the lists
// are taken under a spin lock, held for a few instructions.
class NodeArena {
 public:
  char* take(uint32_t sizeClass) {
    const size_t slot = (sizeClass + 1) * kGrain;
    char* taken;
    {
      Hold hold(m_lock);
      taken = m_free[sizeClass];
      if (taken != nullptr) {
        m_free[sizeClass] = *reinterpret_cast<char**>(taken);
      } else {
        if (static_cast<size_t>(m_end - m_next) < slot) addBlock(slot);
        taken = m_next;
        m_next += slot;
      }
    }
    m_refs.fetch_add(1, std::memory_order_relaxed);
    return taken;
  }

  void give(char* slot, uint32_t sizeClass) {
#ifdef QUARNEL_ARENA_POISONS
    // Never reused, so that the sanitizer sees any use after the release.
    ASAN_POISON_MEMORY_REGION(slot, (sizeClass + 1) * kGrain);
#else
    Hold hold(m_lock);
    *reinterpret_cast<char**>(slot) = m_free[sizeClass];
    m_free[sizeClass] = slot;
#endif
  }

  void drop() {
    if (m_refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    for (char* block = m_blocks; block != nullptr;) {
      char* next = *reinterpret_cast<char**>(block);
#ifdef QUARNEL_ARENA_POISONS
      ASAN_UNPOISON_MEMORY_REGION(block, *reinterpret_cast<size_t*>(block + sizeof(char*)));
#endif
      ::operator delete(block);
      block = next;
    }
    delete this;
  }

 private:
  class Hold {
   public:
    explicit Hold(std::atomic_flag& lock) : m_lock(lock) {
      while (m_lock.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
    }
    ~Hold() { m_lock.clear(std::memory_order_release); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

   private:
    std::atomic_flag& m_lock;
  };

  // A new block heads the chain; its first grain links to the next one and
  // holds its size. What was left of the previous block stays unused.
  void addBlock(size_t slot) {
    size_t size = m_blockSize;
    while (size < slot + kHeader) size *= 2;
    char* block = static_cast<char*>(::operator new(size));
    *reinterpret_cast<char**>(block) = m_blocks;
    *reinterpret_cast<size_t*>(block + sizeof(char*)) = size;
    m_blocks = block;
    m_next = block + kHeader;
    m_end = block + size;
    if (m_blockSize < kLargestBlock) m_blockSize *= 2;
  }

  std::atomic<long> m_refs{1};
  std::atomic_flag m_lock = ATOMIC_FLAG_INIT;
  char* m_free[kClasses] = {};
  char* m_next = nullptr;
  char* m_end = nullptr;
  char* m_blocks = nullptr;
  size_t m_blockSize = kFirstBlock;
};

void* ZelNode::operator new(size_t size) { return heapNode(size); }

void* ZelNode::operator new(size_t size, ZelDocument* document) {
  NodeArena* arena = document == nullptr ? nullptr : document->m_arena;
  const size_t sizeClass = (size + kHeader + kGrain - 1) / kGrain - 1;
  if (arena == nullptr || sizeClass >= kClasses) return heapNode(size);
  char* slot = arena->take(static_cast<uint32_t>(sizeClass));
  *reinterpret_cast<NodeArena**>(slot) = arena;
  *reinterpret_cast<uint32_t*>(slot + sizeof(NodeArena*)) = static_cast<uint32_t>(sizeClass);
  return slot + kHeader;
}

void ZelNode::operator delete(void* node) {
  if (node == nullptr) return;
  char* slot = static_cast<char*>(node) - kHeader;
  NodeArena* arena = *reinterpret_cast<NodeArena**>(slot);
  if (arena == nullptr) {
    ::operator delete(slot);
    return;
  }
  arena->give(slot, *reinterpret_cast<uint32_t*>(slot + sizeof(NodeArena*)));
  arena->drop();
}

void ZelNode::operator delete(void* node, ZelDocument*) { operator delete(node); }

ZelDocument::ZelDocument()
    : ZelNode(this),
      m_arena(new NodeArena()),
      m_lastLoadingNode(nullptr),
      m_loadTarget(nullptr),
      m_skipDepth(0),
      m_pullMode(false) {
  ZelNameTable::addRefSharedNameTable();
}

ZelDocument::~ZelDocument() {
  // The children go first: their names must still resolve while they die.
  removeAllChildNodes();
  m_parser.reset();
  m_serializer.reset();
  ZelNameTable::releaseSharedNameTable();
  // Nodes still held elsewhere keep the arena.
  m_arena->drop();
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
  return ZelPtr<ZelElement>(new (this) Element(this, ZelXmlUtil::getPrefixFromQName(qualifiedName),
                                        ZelXmlUtil::getLocalPartFromQName(qualifiedName)));
}

ZelPtr<ZelElement> ZelDocument::createElementNS(ZelName namespaceUri, ZelName prefix, ZelName localName) {
  return ZelPtr<ZelElement>(new (this) ElementNS(this, namespaceUri, prefix, localName));
}

ZelPtr<ZelElement> ZelDocument::createElementNS(ZelName namespaceUri, ZelName qualifiedName) {
  return createElementNS(namespaceUri, ZelXmlUtil::getPrefixFromQName(qualifiedName),
                         ZelXmlUtil::getLocalPartFromQName(qualifiedName));
}

ZelPtr<ZelTextNode> ZelDocument::createTextNode(const UnicodeString& text) {
  return ZelPtr<ZelTextNode>(new (this) ZelTextNode(this, text));
}

ZelPtr<ZelPINode> ZelDocument::createProcessingInstruction(const UnicodeString& text) {
  return ZelPtr<ZelPINode>(new (this) ZelPINode(this, text));
}

ZelPtr<ZelDocumentFragment> ZelDocument::createDocumentFragment() {
  return ZelPtr<ZelDocumentFragment>(new (this) ZelDocumentFragment(this));
}

ZelPtr<ZelAttr> ZelDocument::createAttribute(ZelName qualifiedName) {
  if (qualifiedName == NAME_XMLNS)
    return ZelPtr<ZelAttr>(new (this) AttrNS(this, ZelName(kXmlnsNamespaceName), ZelName(), qualifiedName));
  ZelName prefix = ZelXmlUtil::getPrefixFromQName(qualifiedName);
  if (prefix.isEmpty()) return ZelPtr<ZelAttr>(new (this) Attr(this, qualifiedName));
  ZelName namespaceUri;
  if (prefix == NAME_XMLNS)
    namespaceUri = kXmlnsNamespaceName;
  else if (prefix == NAME_XML)
    namespaceUri = kXmlNamespaceName;
  return ZelPtr<ZelAttr>(
      new (this) AttrNS(this, namespaceUri, prefix, ZelXmlUtil::getLocalPartFromQName(qualifiedName)));
}

ZelPtr<ZelAttr> ZelDocument::createAttributeNS(ZelName namespaceUri, ZelName prefix, ZelName localName) {
  if (namespaceUri.isEmpty() && prefix.isEmpty()) return ZelPtr<ZelAttr>(new (this) Attr(this, localName));
  return ZelPtr<ZelAttr>(new (this) AttrNS(this, namespaceUri, prefix, localName));
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
