// The DOM document stand-in over libxml2. A loaded document is one libxml2
// tree owned by a reference-counted Tree; every node, map and error object
// handed out holds a reference on it, so the tree lives as long as anything
// still points into it, whatever order the client releases them in.
#include "msxml/msxml.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include "win32/utf16.h"

namespace {

// ---- texts ----------------------------------------------------------------

// libxml2's texts are well-formed UTF-8.
std::u16string FromUtf8(const xmlChar* text) {
  if (text == nullptr) return std::u16string();
  return win32::Utf8ToUtf16(reinterpret_cast<const char*>(text)).value_or(std::u16string());
}

// A name with an unpaired surrogate becomes the empty name, which nothing
// opens.
std::string ToUtf8(const char16_t* text, size_t length) {
  return win32::Utf16ToUtf8(std::u16string_view(text, length)).value_or(std::string());
}

BSTR MakeBstr(const std::u16string& text) { return SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size())); }
BSTR MakeBstr(const xmlChar* text) { return MakeBstr(FromUtf8(text)); }

// ---- error descriptions and test hooks -------------------------------------

thread_local std::u16string t_description;
thread_local bool t_hasDescription = false;

HRESULT Fail(HRESULT hr, const std::u16string& description) {
  t_description = description;
  t_hasDescription = true;
  return hr;
}

struct CallHook {
  HRESULT hr;
  bool hasDescription;
  std::u16string description;
};

struct Hooks {
  std::mutex lock;
  std::map<std::string, CallHook> calls;
  std::vector<std::pair<CLSID, int32_t>> creations;
  std::atomic<bool> any{false};
};

Hooks& TheHooks() {
  static Hooks* hooks = new Hooks();
  return *hooks;
}

// The failure a test asked for on this operation, or S_OK.
HRESULT Hooked(const char* method) {
  Hooks& hooks = TheHooks();
  if (!hooks.any.load(std::memory_order_relaxed)) return S_OK;
  std::lock_guard<std::mutex> guard(hooks.lock);
  auto found = hooks.calls.find(method);
  if (found == hooks.calls.end()) return S_OK;
  t_description = found->second.description;
  t_hasDescription = found->second.hasDescription;
  return found->second.hr;
}

int32_t CreationFailureStep(const CLSID& clsid) {
  Hooks& hooks = TheHooks();
  if (!hooks.any.load(std::memory_order_relaxed)) return 0;
  std::lock_guard<std::mutex> guard(hooks.lock);
  for (const auto& entry : hooks.creations)
    if (entry.first == clsid) return entry.second;
  return 0;
}

#define MSXML_HOOK(name)                               \
  do {                                                 \
    if (HRESULT hooked_ = Hooked(name); FAILED(hooked_)) return hooked_; \
  } while (0)

// ---- reference counting ----------------------------------------------------

template <class Base>
class Counted : public Base {
 public:
  virtual ~Counted() = default;
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override {
    ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }

 private:
  ULONG m_refs = 1;
};

// A loaded tree, shared by its document and everything handed out of it.
class Tree {
 public:
  explicit Tree(xmlDocPtr doc) : doc(doc) {}
  ~Tree() { xmlFreeDoc(doc); }
  void acquire() { ++m_refs; }
  void release() {
    if (--m_refs == 0) delete this;
  }
  xmlDocPtr const doc;

 private:
  unsigned m_refs = 1;
};

class TreeRef {
 public:
  TreeRef() = default;
  // Takes over the reference a new tree starts with.
  static TreeRef adopt(Tree* tree) {
    TreeRef ref;
    ref.m_tree = tree;
    return ref;
  }
  TreeRef(const TreeRef& other) : m_tree(other.m_tree) {
    if (m_tree) m_tree->acquire();
  }
  TreeRef& operator=(const TreeRef& other) {
    if (other.m_tree) other.m_tree->acquire();
    if (m_tree) m_tree->release();
    m_tree = other.m_tree;
    return *this;
  }
  ~TreeRef() {
    if (m_tree) m_tree->release();
  }
  Tree* get() const { return m_tree; }

 private:
  Tree* m_tree = nullptr;
};

// libxml2's node types as DOM node types; 0 for those of its own, which
// never surface.
DOMNodeType DomType(xmlElementType type) {
  switch (type) {
    case XML_ELEMENT_NODE: return NODE_ELEMENT;
    case XML_ATTRIBUTE_NODE: return NODE_ATTRIBUTE;
    case XML_TEXT_NODE: return NODE_TEXT;
    case XML_CDATA_SECTION_NODE: return NODE_CDATA_SECTION;
    case XML_ENTITY_REF_NODE: return NODE_ENTITY_REFERENCE;
    case XML_ENTITY_NODE: return NODE_ENTITY;
    case XML_PI_NODE: return NODE_PROCESSING_INSTRUCTION;
    case XML_COMMENT_NODE: return NODE_COMMENT;
    case XML_DOCUMENT_NODE: return NODE_DOCUMENT;
    case XML_DOCUMENT_TYPE_NODE:
    case XML_DTD_NODE: return NODE_DOCUMENT_TYPE;
    case XML_DOCUMENT_FRAG_NODE: return NODE_DOCUMENT_FRAGMENT;
    case XML_NOTATION_NODE: return NODE_NOTATION;
    default: return NODE_INVALID;
  }
}

xmlNodePtr Visible(xmlNodePtr node) {
  while (node != nullptr && DomType(node->type) == NODE_INVALID) node = node->next;
  return node;
}

// The namespace a prefix (null: the default) is bound to at node, from the
// declarations of node and its ancestors; declarations without a name
// (libxml2 makes them up for prefixed names in entity text) do not count.
const xmlChar* LookUpNamespace(xmlNodePtr node, const xmlChar* prefix) {
  for (; node != nullptr && node->type == XML_ELEMENT_NODE; node = node->parent) {
    for (xmlNsPtr ns = node->nsDef; ns != nullptr; ns = ns->next) {
      if (ns->href == nullptr) continue;
      if (prefix == nullptr ? ns->prefix == nullptr : ns->prefix != nullptr && xmlStrEqual(ns->prefix, prefix))
        return ns->href[0] ? ns->href : nullptr;
    }
  }
  if (prefix != nullptr && xmlStrEqual(prefix, BAD_CAST "xml")) return XML_XML_NAMESPACE;
  return nullptr;
}

// An element's prefix. libxml2 leaves an element of entity text that
// names its prefix without a namespace, keeping the prefix in a
// declaration without a name among the element's own.
const xmlChar* ElementPrefix(xmlNodePtr node) {
  if (node->ns) return node->ns->prefix;
  for (xmlNsPtr ns = node->nsDef; ns != nullptr; ns = ns->next)
    if (ns->href == nullptr) return ns->prefix;
  return nullptr;
}

const xmlChar* kXmlnsName = BAD_CAST "http://www.w3.org/2000/xmlns/";

HRESULT Out(BSTR* out, const std::u16string& text) {
  if (out == nullptr) return Fail(E_POINTER, u"A null out pointer.");
  *out = MakeBstr(text);
  return S_OK;
}

template <class I>
HRESULT NoNode(I** out) {
  *out = nullptr;
  return S_FALSE;
}

class NodeObject;
HRESULT Wrap(const TreeRef& tree, xmlNodePtr node, IXMLDOMNode** out);

// ---- nodes -----------------------------------------------------------------

// What a node object stands for: a libxml2 node, or one namespace
// declaration of an element listed as its attribute.
struct Target {
  xmlNodePtr node = nullptr;
  xmlNsPtr decl = nullptr;
};

// The node operations, over the target the derived object names.
template <class I>
class NodeOps : public Counted<I> {
 public:
  HRESULT get_nodeType(DOMNodeType* type) override {
    MSXML_HOOK("get_nodeType");
    if (type == nullptr) return Fail(E_POINTER, u"A null out pointer.");
    Target t = target();
    *type = t.decl ? NODE_ATTRIBUTE : t.node ? DomType(t.node->type) : NODE_DOCUMENT;
    return S_OK;
  }
  HRESULT get_nodeValue(VARIANT* value) override {
    MSXML_HOOK("get_nodeValue");
    if (value == nullptr) return Fail(E_POINTER, u"A null out pointer.");
    VariantInit(value);
    value->vt = VT_NULL;
    Target t = target();
    if (t.decl) return textValue(value, t.decl->href);
    if (t.node == nullptr) return S_OK;
    switch (t.node->type) {
      case XML_TEXT_NODE:
      case XML_CDATA_SECTION_NODE:
      case XML_COMMENT_NODE:
      case XML_PI_NODE: return textValue(value, t.node->content);
      case XML_ATTRIBUTE_NODE: {
        xmlChar* text = xmlNodeGetContent(t.node);
        textValue(value, text);
        xmlFree(text);
        return S_OK;
      }
      default: return S_OK;
    }
  }
  HRESULT get_parentNode(IXMLDOMNode** parent) override {
    MSXML_HOOK("get_parentNode");
    if (parent == nullptr) return Fail(E_POINTER, u"A null out pointer.");
    Target t = target();
    // Attributes have no parent in the DOM.
    if (t.decl || t.node == nullptr || t.node->type == XML_ATTRIBUTE_NODE || t.node->parent == nullptr)
      return NoNode(parent);
    return Wrap(tree(), t.node->parent, parent);
  }
  HRESULT get_firstChild(IXMLDOMNode** child) override {
    MSXML_HOOK("get_firstChild");
    if (child == nullptr) return Fail(E_POINTER, u"A null out pointer.");
    xmlNodePtr first = firstChild();
    return first ? Wrap(tree(), first, child) : NoNode(child);
  }
  HRESULT get_nextSibling(IXMLDOMNode** sibling) override {
    MSXML_HOOK("get_nextSibling");
    if (sibling == nullptr) return Fail(E_POINTER, u"A null out pointer.");
    Target t = target();
    if (t.decl || t.node == nullptr || t.node->type == XML_ATTRIBUTE_NODE) return NoNode(sibling);
    xmlNodePtr next = Visible(t.node->next);
    return next ? Wrap(tree(), next, sibling) : NoNode(sibling);
  }
  HRESULT hasChildNodes(VARIANT_BOOL* has) override {
    MSXML_HOOK("hasChildNodes");
    if (has == nullptr) return Fail(E_POINTER, u"A null out pointer.");
    *has = firstChild() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT get_attributes(IXMLDOMNamedNodeMap** map) override;
  HRESULT get_baseName(BSTR* name) override {
    MSXML_HOOK("get_baseName");
    Target t = target();
    if (t.decl) return Out(name, FromUtf8(t.decl->prefix ? t.decl->prefix : BAD_CAST "xmlns"));
    bool named = t.node && (t.node->type == XML_ELEMENT_NODE || t.node->type == XML_ATTRIBUTE_NODE ||
                            t.node->type == XML_PI_NODE);
    return Out(name, named ? FromUtf8(t.node->name) : std::u16string());
  }
  HRESULT get_prefix(BSTR* prefix) override {
    MSXML_HOOK("get_prefix");
    Target t = target();
    if (t.decl) return Out(prefix, t.decl->prefix ? u"xmlns" : u"");
    if (t.node && t.node->type == XML_ELEMENT_NODE) return Out(prefix, FromUtf8(ElementPrefix(t.node)));
    bool named = t.node && t.node->type == XML_ATTRIBUTE_NODE;
    return Out(prefix, named && t.node->ns ? FromUtf8(t.node->ns->prefix) : std::u16string());
  }
  HRESULT get_namespaceURI(BSTR* uri) override {
    MSXML_HOOK("get_namespaceURI");
    Target t = target();
    if (t.decl) return Out(uri, FromUtf8(kXmlnsName));
    if (t.node == nullptr) return Out(uri, u"");
    if (t.node->type == XML_ELEMENT_NODE) {
      if (t.node->ns && t.node->ns->href) return Out(uri, FromUtf8(t.node->ns->href));
      return Out(uri, FromUtf8(LookUpNamespace(t.node, ElementPrefix(t.node))));
    }
    if (t.node->type == XML_ATTRIBUTE_NODE && t.node->ns) {
      if (t.node->ns->href) return Out(uri, FromUtf8(t.node->ns->href));
      return Out(uri, FromUtf8(LookUpNamespace(t.node->parent, t.node->ns->prefix)));
    }
    return Out(uri, u"");
  }

 protected:
  virtual Target target() const = 0;
  virtual TreeRef tree() const = 0;

 private:
  static HRESULT textValue(VARIANT* value, const xmlChar* text) {
    value->vt = VT_BSTR;
    value->bstrVal = MakeBstr(text);
    return S_OK;
  }
  xmlNodePtr firstChild() const {
    Target t = target();
    if (t.decl || t.node == nullptr || t.node->type == XML_ATTRIBUTE_NODE) return nullptr;
    return Visible(t.node->children);
  }
};

class NodeObject : public NodeOps<IXMLDOMAttribute> {
 public:
  NodeObject(const TreeRef& tree, Target target) : m_tree(tree), m_target(target) {}

  HRESULT QueryInterface(const IID& iid, void** object) override {
    if (object == nullptr) return Fail(E_POINTER, u"A null out pointer.");
    bool attribute = m_target.decl || (m_target.node && m_target.node->type == XML_ATTRIBUTE_NODE);
    if (iid == IID_IUnknown || iid == IID_IXMLDOMNode || (attribute && iid == IID_IXMLDOMAttribute)) {
      AddRef();
      *object = static_cast<IXMLDOMAttribute*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT get_value(VARIANT* value) override {
    MSXML_HOOK("get_value");
    return get_nodeValue(value);
  }

 protected:
  Target target() const override { return m_target; }
  TreeRef tree() const override { return m_tree; }

 private:
  TreeRef m_tree;
  Target m_target;
};

HRESULT Wrap(const TreeRef& tree, xmlNodePtr node, IXMLDOMNode** out) {
  *out = new NodeObject(tree, Target{node, nullptr});
  return S_OK;
}

// An element's attributes: its namespace declarations first (libxml2 keeps
// them apart, so their place among the others is lost), then the rest in
// document order.
class MapObject : public Counted<IXMLDOMNamedNodeMap> {
 public:
  MapObject(const TreeRef& tree, xmlNodePtr element) : m_tree(tree) {
    for (xmlNsPtr ns = element->nsDef; ns != nullptr; ns = ns->next)
      if (ns->href != nullptr) m_entries.push_back(Target{element, ns});
    for (xmlAttrPtr attr = element->properties; attr != nullptr; attr = attr->next)
      m_entries.push_back(Target{reinterpret_cast<xmlNodePtr>(attr), nullptr});
  }
  HRESULT QueryInterface(const IID& iid, void** object) override {
    if (object == nullptr) return Fail(E_POINTER, u"A null out pointer.");
    if (iid == IID_IUnknown || iid == IID_IXMLDOMNamedNodeMap) {
      AddRef();
      *object = static_cast<IXMLDOMNamedNodeMap*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT reset() override {
    MSXML_HOOK("reset");
    m_next = 0;
    return S_OK;
  }
  HRESULT nextNode(IXMLDOMNode** node) override {
    MSXML_HOOK("nextNode");
    if (node == nullptr) return Fail(E_POINTER, u"A null out pointer.");
    if (m_next >= m_entries.size()) return NoNode(node);
    *node = new NodeObject(m_tree, m_entries[m_next++]);
    return S_OK;
  }

 private:
  TreeRef m_tree;
  std::vector<Target> m_entries;
  size_t m_next = 0;
};

template <class I>
HRESULT NodeOps<I>::get_attributes(IXMLDOMNamedNodeMap** map) {
  MSXML_HOOK("get_attributes");
  if (map == nullptr) return Fail(E_POINTER, u"A null out pointer.");
  Target t = target();
  if (t.decl || t.node == nullptr || t.node->type != XML_ELEMENT_NODE) return NoNode(map);
  *map = new MapObject(tree(), t.node);
  return S_OK;
}

class ParseErrorObject : public Counted<IXMLDOMParseError> {
 public:
  ParseErrorObject(std::u16string reason, LONG line, LONG column)
      : m_reason(std::move(reason)), m_line(line), m_column(column) {}
  HRESULT QueryInterface(const IID& iid, void** object) override {
    if (object == nullptr) return Fail(E_POINTER, u"A null out pointer.");
    if (iid == IID_IUnknown || iid == IID_IXMLDOMParseError) {
      AddRef();
      *object = static_cast<IXMLDOMParseError*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT get_reason(BSTR* reason) override {
    MSXML_HOOK("get_reason");
    return Out(reason, m_reason);
  }
  HRESULT get_line(LONG* line) override {
    MSXML_HOOK("get_line");
    if (line == nullptr) return Fail(E_POINTER, u"A null out pointer.");
    *line = m_line;
    return S_OK;
  }
  HRESULT get_linepos(LONG* column) override {
    MSXML_HOOK("get_linepos");
    if (column == nullptr) return Fail(E_POINTER, u"A null out pointer.");
    *column = m_column;
    return S_OK;
  }

 private:
  std::u16string m_reason;
  LONG m_line;
  LONG m_column;
};

// ---- reading resources -----------------------------------------------------

std::atomic<MsxmlResourceOpener> g_opener{nullptr};

// A resource as libxml2 reads it. A declaration naming Shift_JIS is handed
// on as CP932, the code page MSXML reads for that name (libxml2's own
// Shift_JIS lacks the vendor rows and reads 0x5C as the yen sign).
struct Source {
  std::unique_ptr<std::istream> in;
  std::string head;
  size_t headAt = 0;
  bool failed = false;

  explicit Source(std::istream* stream) : in(stream) {
    char buffer[256];
    in->read(buffer, sizeof buffer);
    head.assign(buffer, static_cast<size_t>(in->gcount()));
    failed = in->bad();
    renameShiftJis();
  }

  void renameShiftJis() {
    if (head.compare(0, 5, "<?xml") != 0) return;
    size_t end = head.find("?>");
    size_t at = head.find("encoding", 5);
    if (end == std::string::npos || at == std::string::npos || at > end) return;
    size_t quote = head.find_first_of("\"'", at);
    if (quote == std::string::npos || quote > end) return;
    size_t close = head.find(head[quote], quote + 1);
    if (close == std::string::npos || close > end) return;
    std::string name = head.substr(quote + 1, close - quote - 1);
    for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c == '-' ? '_' : c);
    if (name == "SHIFT_JIS") head.replace(quote + 1, close - quote - 1, "CP932");
  }

  static int Read(void* context, char* buffer, int length) {
    auto* source = static_cast<Source*>(context);
    if (source->failed) return -1;
    int given = 0;
    if (source->headAt < source->head.size()) {
      given = static_cast<int>(std::min<size_t>(length, source->head.size() - source->headAt));
      std::memcpy(buffer, source->head.data() + source->headAt, given);
      source->headAt += given;
      return given;
    }
    source->in->read(buffer, length);
    if (source->in->bad()) {
      source->failed = true;
      return -1;
    }
    return static_cast<int>(source->in->gcount());
  }
  static int Close(void* context) {
    delete static_cast<Source*>(context);
    return 0;
  }
};

// The load in progress on this thread, so the process-wide entity loader
// can tell its parses from anyone else's.
struct LoadState {
  xmlParserCtxtPtr ctxt = nullptr;
  bool resolveExternals = true;
  bool resourceFailed = false;
  std::u16string reason;
  LONG line = 0;
  LONG column = 0;
  bool hasError = false;
};
thread_local LoadState* t_load = nullptr;

xmlExternalEntityLoader g_previousLoader = nullptr;

std::istream* Open(const std::string& uri, MsxmlResourceKind kind, bool* refused) {
  *refused = false;
  MsxmlResourceOpener opener = g_opener.load();
  if (opener == nullptr) return nullptr;
  std::u16string text = FromUtf8(BAD_CAST uri.c_str());
  return opener(text.data(), static_cast<int32_t>(text.size()), kind, refused);
}

xmlParserInputPtr LoadEntity(const char* url, const char* id, xmlParserCtxtPtr ctxt) {
  // Every load on this thread while a document loads is that document's:
  // an external entity is parsed in a context of its own, which must not
  // reach libxml2's own loader and the file system through it.
  LoadState* load = t_load;
  if (load == nullptr) return g_previousLoader ? g_previousLoader(url, id, ctxt) : nullptr;
  if (!load->resolveExternals || url == nullptr) return nullptr;
  bool refused = false;
  std::istream* stream = Open(url, MSXML_RESOURCE_EXTERNAL, &refused);
  if (stream == nullptr) {
    if (!refused && !load->resourceFailed) {
      load->resourceFailed = true;
      if (!load->hasError) {
        load->reason = u"Failed to load external entity \"" + FromUtf8(BAD_CAST url) + u"\"";
        load->line = ctxt->input ? ctxt->input->line : 0;
        load->column = ctxt->input ? ctxt->input->col : 0;
        load->hasError = true;
      }
    }
    return nullptr;
  }
  auto* source = new Source(stream);
  xmlParserInputBufferPtr buffer =
      xmlParserInputBufferCreateIO(Source::Read, Source::Close, source, XML_CHAR_ENCODING_NONE);
  if (buffer == nullptr) {
    delete source;
    return nullptr;
  }
  xmlParserInputPtr input = xmlNewIOInputStream(ctxt, buffer, XML_CHAR_ENCODING_NONE);
  if (input == nullptr) {
    xmlFreeParserInputBuffer(buffer);
    return nullptr;
  }
  input->filename = reinterpret_cast<const char*>(xmlStrdup(BAD_CAST url));
  return input;
}

void InstallLoader() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmlInitParser();
    g_previousLoader = xmlGetExternalEntityLoader();
    xmlSetExternalEntityLoader(LoadEntity);
  });
}

// The first error of a load, its text without the line end.
void Collect(void*, xmlErrorPtr error) {
  LoadState* load = t_load;
  if (load == nullptr || error == nullptr || load->hasError) return;
  if (error->level < XML_ERR_ERROR) return;
  std::u16string reason = FromUtf8(BAD_CAST error->message);
  while (!reason.empty() && (reason.back() == u'\n' || reason.back() == u'\r')) reason.pop_back();
  load->reason = reason;
  load->line = error->line;
  load->column = error->int2;
  load->hasError = true;
}

// libxml2 reports some problems (input it cannot decode, for one) through
// its generic handler, which writes to stderr; a load keeps them quiet and
// puts back whatever handler the thread had.
void Silent(void*, const char*, ...) {}

class QuietGenericErrors {
 public:
  QuietGenericErrors() : m_function(xmlGenericError), m_context(xmlGenericErrorContext) {
    xmlSetGenericErrorFunc(nullptr, Silent);
  }
  ~QuietGenericErrors() { xmlSetGenericErrorFunc(m_context, m_function); }
  QuietGenericErrors(const QuietGenericErrors&) = delete;
  QuietGenericErrors& operator=(const QuietGenericErrors&) = delete;

 private:
  xmlGenericErrorFunc m_function;
  void* m_context;
};

// ---- the document ----------------------------------------------------------

class DocumentObject : public NodeOps<IXMLDOMDocument2> {
 public:
  explicit DocumentObject(const CLSID& clsid) : m_clsid(clsid) {}
  ~DocumentObject() override {
    if (m_parseError) m_parseError->Release();
  }
  const CLSID& clsid() const { return m_clsid; }

  HRESULT QueryInterface(const IID& iid, void** object) override {
    if (object == nullptr) return Fail(E_POINTER, u"A null out pointer.");
    *object = nullptr;
    if (iid == IID_IXMLDOMDocument2 && CreationFailureStep(m_clsid) == 3) return E_NOINTERFACE;
    if (iid == IID_IUnknown || iid == IID_IXMLDOMNode || iid == IID_IXMLDOMDocument || iid == IID_IXMLDOMDocument2) {
      AddRef();
      *object = static_cast<IXMLDOMDocument2*>(this);
      return S_OK;
    }
    return E_NOINTERFACE;
  }

  HRESULT get_documentElement(IXMLDOMNode** element) override {
    MSXML_HOOK("get_documentElement");
    if (element == nullptr) return Fail(E_POINTER, u"A null out pointer.");
    xmlNodePtr root = m_tree.get() ? xmlDocGetRootElement(m_tree.get()->doc) : nullptr;
    return root ? Wrap(m_tree, root, element) : NoNode(element);
  }
  HRESULT put_async(VARIANT_BOOL async) override {
    MSXML_HOOK("put_async");
    // Loading is always synchronous here.
    if (async != VARIANT_FALSE) return Fail(E_NOTIMPL, u"Only synchronous loading is offered.");
    return S_OK;
  }
  HRESULT put_preserveWhiteSpace(VARIANT_BOOL preserve) override {
    MSXML_HOOK("put_preserveWhiteSpace");
    m_preserveWhiteSpace = preserve != VARIANT_FALSE;
    return S_OK;
  }
  HRESULT put_validateOnParse(VARIANT_BOOL validate) override {
    MSXML_HOOK("put_validateOnParse");
    m_validate = validate != VARIANT_FALSE;
    return S_OK;
  }
  HRESULT put_resolveExternals(VARIANT_BOOL resolve) override {
    MSXML_HOOK("put_resolveExternals");
    m_resolveExternals = resolve != VARIANT_FALSE;
    return S_OK;
  }
  HRESULT setProperty(BSTR name, VARIANT value) override {
    MSXML_HOOK("setProperty");
    (void)value;
    std::u16string text(name ? name : u"", SysStringLen(name));
    // Requests go through the host's opener whatever transport is asked.
    if (text == u"ServerHTTPRequest") return S_OK;
    return Fail(E_INVALIDARG, u"Unknown property: " + text);
  }
  HRESULT get_parseError(IXMLDOMParseError** error) override {
    MSXML_HOOK("get_parseError");
    if (error == nullptr) return Fail(E_POINTER, u"A null out pointer.");
    if (m_parseError == nullptr) m_parseError = new ParseErrorObject(u"", 0, 0);
    m_parseError->AddRef();
    *error = m_parseError;
    return S_OK;
  }
  HRESULT load(VARIANT source, VARIANT_BOOL* ok) override;

 protected:
  Target target() const override {
    return Target{m_tree.get() ? reinterpret_cast<xmlNodePtr>(m_tree.get()->doc) : nullptr, nullptr};
  }
  TreeRef tree() const override { return m_tree; }

 private:
  void setParseError(std::u16string reason, LONG line, LONG column) {
    if (m_parseError) m_parseError->Release();
    m_parseError = new ParseErrorObject(std::move(reason), line, column);
  }

  CLSID m_clsid;
  TreeRef m_tree;
  ParseErrorObject* m_parseError = nullptr;
  bool m_preserveWhiteSpace = false;
  bool m_validate = true;
  bool m_resolveExternals = true;
};

HRESULT DocumentObject::load(VARIANT source, VARIANT_BOOL* ok) {
  MSXML_HOOK("load");
  if (ok == nullptr) return Fail(E_POINTER, u"A null out pointer.");
  if (source.vt != VT_BSTR) return Fail(E_INVALIDARG, u"The source must be a URL.");
  InstallLoader();
  m_tree = TreeRef();
  setParseError(u"", 0, 0);
  *ok = VARIANT_FALSE;
  std::string url = ToUtf8(source.bstrVal, SysStringLen(source.bstrVal));
  bool refused = false;
  std::istream* stream = Open(url, MSXML_RESOURCE_DOCUMENT, &refused);
  if (stream == nullptr) {
    setParseError(u"The system cannot locate the object specified.", 0, 0);
    return S_FALSE;
  }
  auto* input = new Source(stream);
  xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
  if (ctxt == nullptr) {
    delete input;
    return Fail(E_OUTOFMEMORY, u"Out of memory.");
  }
  LoadState state;
  state.ctxt = ctxt;
  state.resolveExternals = m_resolveExternals;
  ctxt->sax->serror = Collect;
  LoadState* outer = t_load;
  t_load = &state;
  QuietGenericErrors quiet;
  int options = XML_PARSE_NOENT | XML_PARSE_DTDATTR;
  if (m_resolveExternals) options |= XML_PARSE_DTDLOAD;
  if (!m_preserveWhiteSpace) options |= XML_PARSE_NOBLANKS;
  if (m_validate) options |= XML_PARSE_DTDVALID;
  xmlDocPtr doc = xmlCtxtReadIO(ctxt, Source::Read, Source::Close, input, url.c_str(), nullptr, options);
  t_load = outer;
  // Validation needs a DTD to check against; a document without one passes.
  bool invalid = m_validate && doc != nullptr && (doc->intSubset || doc->extSubset) && !ctxt->valid;
  bool accepted = doc != nullptr && ctxt->wellFormed && ctxt->nsWellFormed && !state.resourceFailed && !invalid;
  xmlFreeParserCtxt(ctxt);
  if (!accepted) {
    if (doc) xmlFreeDoc(doc);
    if (!state.hasError) state.reason = u"The document could not be read.";
    setParseError(state.reason, state.line, state.column);
    return S_FALSE;
  }
  m_tree = TreeRef::adopt(new Tree(doc));
  *ok = VARIANT_TRUE;
  return S_OK;
}

}  // namespace

// ---- exported functions ----------------------------------------------------

extern "C" {

HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, uint32_t context, const IID& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  if (!(clsid == CLSID_DOMDocument40 || clsid == CLSID_DOMDocument30) || !(context & CLSCTX_INPROC_SERVER))
    return REGDB_E_CLASSNOTREG;
  if (CreationFailureStep(clsid) == 1) return REGDB_E_CLASSNOTREG;
  auto* document = new DocumentObject(clsid);
  HRESULT hr = document->QueryInterface(iid, object);
  document->Release();
  return hr;
}

HRESULT OleRun(IUnknown* object) {
  if (object == nullptr) return E_INVALIDARG;
  IXMLDOMDocument* document = nullptr;
  if (SUCCEEDED(object->QueryInterface(IID_IXMLDOMDocument, reinterpret_cast<void**>(&document)))) {
    // Every document of the registry is a DocumentObject.
    bool fail = CreationFailureStep(static_cast<DocumentObject*>(static_cast<IXMLDOMDocument2*>(
                                        static_cast<IXMLDOMDocument*>(document)))->clsid()) == 2;
    document->Release();
    if (fail) return E_FAIL;
  }
  return S_OK;
}

BSTR SysAllocStringLen(const char16_t* text, uint32_t length) {
  // The length in bytes goes before the text, a terminator after it.
  auto* block = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) + (size_t{length} + 1) * sizeof(char16_t)));
  if (block == nullptr) return nullptr;
  block[0] = length * sizeof(char16_t);
  auto* out = reinterpret_cast<char16_t*>(block + 1);
  if (text != nullptr) std::memcpy(out, text, length * sizeof(char16_t));
  else std::memset(out, 0, length * sizeof(char16_t));
  out[length] = 0;
  return out;
}

BSTR SysAllocString(const char16_t* text) {
  if (text == nullptr) return nullptr;
  uint32_t length = 0;
  while (text[length]) ++length;
  return SysAllocStringLen(text, length);
}

uint32_t SysStringLen(BSTR text) {
  return text ? reinterpret_cast<const uint32_t*>(text)[-1] / sizeof(char16_t) : 0;
}

void SysFreeString(BSTR text) {
  if (text) std::free(reinterpret_cast<uint32_t*>(text) - 1);
}

void VariantInit(VARIANT* value) {
  value->vt = VT_EMPTY;
  value->bstrVal = nullptr;
}

HRESULT VariantClear(VARIANT* value) {
  if (value == nullptr) return E_INVALIDARG;
  if (value->vt == VT_BSTR) SysFreeString(value->bstrVal);
  VariantInit(value);
  return S_OK;
}

BSTR TakeErrorDescription() {
  if (!t_hasDescription) return nullptr;
  t_hasDescription = false;
  return MakeBstr(std::exchange(t_description, std::u16string()));
}

void MsxmlSetResourceOpener(MsxmlResourceOpener opener) { g_opener.store(opener); }

void MsxmlTestFailCreation(const CLSID& clsid, int32_t step) {
  Hooks& hooks = TheHooks();
  std::lock_guard<std::mutex> guard(hooks.lock);
  std::erase_if(hooks.creations, [&](const auto& entry) { return entry.first == clsid; });
  if (step != 0) hooks.creations.emplace_back(clsid, step);
  hooks.any = true;
}

void MsxmlTestFailCall(const char* method, HRESULT hr, const char16_t* description) {
  Hooks& hooks = TheHooks();
  std::lock_guard<std::mutex> guard(hooks.lock);
  if (!FAILED(hr)) hooks.calls.erase(method);
  else hooks.calls[method] = CallHook{hr, description != nullptr, description ? description : u""};
  hooks.any = true;
}

void MsxmlTestReset() {
  Hooks& hooks = TheHooks();
  std::lock_guard<std::mutex> guard(hooks.lock);
  hooks.calls.clear();
  hooks.creations.clear();
  hooks.any = false;
}

}  // extern "C"
