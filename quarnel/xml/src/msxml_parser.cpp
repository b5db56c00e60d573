// The pull parser over the MSXML DOM document: loading (with the retry
// without externals), the copy of a stream input to a temporary file, and
// the walk that turns the loaded tree into pull events.
#include "quarnel/msxml_parser.h"

#include <sys/stat.h>

#include <mutex>

#include "error_raise.h"
#include "quarnel/file_stream.h"
#include "quarnel/uri.h"
#include "xml_errors.h"
#include "xml_names.h"

namespace ObraCommon {

namespace {

constexpr int kOriginMsParser = 28;
constexpr int kOriginMsIsWhitespace = 29;
constexpr int kOriginMsIsEmptyElementTag = 30;
constexpr int kOriginMsGetAttributeNamespace = 31;
constexpr int kOriginMsGetAttributeName = 32;
constexpr int kOriginMsGetAttributePrefix = 33;
constexpr int kOriginMsGetAttributeValue = 34;

constexpr uint16_t kErrCreate = 0x1881;
constexpr uint16_t kErrCom = 0x1882;
constexpr uint16_t kErrParse = 0x1883;

const MSXMLGUID kSearchTable[] = {
    {CLSID_DOMDocument40,
     {0x88D969C3, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}},
     MSXMLTYPE_40},
    {CLSID_DOMDocument30,
     {0xF5078F36, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}},
     MSXMLTYPE_30},
};

UnicodeString Text(BSTR text) { return ZelCStr(text, static_cast<int32_t>(SysStringLen(text))); }

UnicodeString Text(VARIANT& value) {
  UnicodeString text = value.vt == VT_BSTR ? Text(value.bstrVal) : UnicodeString();
  VariantClear(&value);
  return text;
}

ZelName Name(const UnicodeString& text) {
  return text.isEmpty() ? ZelName() : ZelName(ZelNameTable::getSharedNameEnum(text));
}

// Whether the load running on this thread may read external subsets and
// entities beyond what the resolver serves.
thread_local bool t_externalEntities = false;

// The resources the stand-in reads, by the own parser's rules: the
// document as setInput opens it; DTDs and external entities through the
// resolver, and where the parser allows them local regular files, jar:
// and data:, and remote ones only when the process allowed remote
// entities; the document as named.
std::istream* OpenResource(const char16_t* text, int32_t length, MsxmlResourceKind kind, bool* refused) {
  *refused = false;
  ZelUri uri(UnicodeString(text, length), ZelUri::URISTR_URI);
  if (std::istream* served = uri.getStreamFromResolver()) return served;
  if (kind == MSXML_RESOURCE_EXTERNAL && !t_externalEntities) {
    *refused = true;
    return nullptr;
  }
  if (uri.isFile()) {
    // A FIFO or a device would block or never end: only regular files.
    std::string path;
    uri.getLocalPath().toUTF8String(path);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
    return uri.getStream(nullptr);
  }
  if (kind == MSXML_RESOURCE_EXTERNAL && !uri.isJarScheme() && !uri.isDataScheme() &&
      !ZelXmlUtil::getRemoteEntityLoading()) {
    *refused = true;
    return nullptr;
  }
  return uri.getStream(nullptr);
}

void InstallOpener() {
  static std::once_flag once;
  std::call_once(once, [] { MsxmlSetResourceOpener(OpenResource); });
}

VARIANT BoolVariant(bool value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

bool IsDelivered(DOMNodeType type) {
  return type == NODE_ELEMENT || type == NODE_TEXT || type == NODE_CDATA_SECTION ||
         type == NODE_PROCESSING_INSTRUCTION || type == NODE_COMMENT;
}

ZelXmlParser::EventType EventOf(DOMNodeType type) {
  switch (type) {
    case NODE_ELEMENT: return ZelXmlParser::START_TAG;
    case NODE_TEXT: return ZelXmlParser::TEXT;
    case NODE_CDATA_SECTION: return ZelXmlParser::CDSECT;
    case NODE_PROCESSING_INSTRUCTION: return ZelXmlParser::PROCESSING_INSTRUCTION;
    default: return ZelXmlParser::COMMENT;
  }
}

DOMNodeType TypeOf(const ComPtr<IXMLDOMNode>& node) {
  DOMNodeType type = NODE_INVALID;
  node.call(&IXMLDOMNode::get_nodeType, &type);
  return type;
}

bool HasChildren(const ComPtr<IXMLDOMNode>& node) {
  VARIANT_BOOL has = VARIANT_FALSE;
  node.call(&IXMLDOMNode::hasChildNodes, &has);
  return has != VARIANT_FALSE;
}

// Copies what the stream still holds into the file: 4102 when reading
// fails, 4103 when the file cannot be opened, written whole or closed.
void CopyToFile(std::istream& in, ZelCStr name) {
  ZelFileStreamBuf file;
  auto mode = static_cast<short>(std::ios_base::out | std::ios_base::binary);
  bool written = file.open(name.getCString().c_str(), mode) != nullptr;
  char buffer[16384];
  while (written) {
    in.read(buffer, sizeof buffer);
    std::streamsize got = in.gcount();
    if (got > 0 && file.sputn(buffer, got) != got) written = false;
    if (in.bad()) {
      file.close();
      throwIOError(4102, kOriginMsParser);
    }
    if (got < static_cast<std::streamsize>(sizeof buffer)) break;
  }
  if (written && file.pubsync() != 0) written = false;
  if (file.is_open() && file.close() == nullptr) written = false;
  if (!written) throwIOError(4103, kOriginMsParser);
}

}  // namespace

ZelMSXmlParser::ZelMSXmlParser() : m_namespaces(new NamespaceManager()) {
  InstallOpener();
  closeStream();
}

ZelMSXmlParser::~ZelMSXmlParser() {
  try {
    closeStream();
  } catch (const ZelError&) {
    // A temporary file that cannot be removed is left behind.
  }
}

unsigned int ZelMSXmlParser::getTypeID() const { return getStaticTypeID(); }
bool ZelMSXmlParser::isA(unsigned int id) const { return id == getStaticTypeID() || ZelXmlParser::isA(id); }
UnicodeString ZelMSXmlParser::getTypeName() const { return u"ZelMSXmlParser"; }

void ZelMSXmlParser::setFeature(Feature feature, bool value) {
  if (feature == SKIP_EXTERNAL_DTD) m_skipExternalDtd = value;
  if (feature == IGNORE_DTD_FAILURE) m_ignoreDtdFailure = value;
  if (feature == LOAD_EXTERNAL_ENTITIES) m_loadExternalEntities = value;
}

bool ZelMSXmlParser::getFeature(Feature feature) {
  if (feature == SKIP_EXTERNAL_DTD) return m_skipExternalDtd;
  if (feature == IGNORE_DTD_FAILURE) return m_ignoreDtdFailure;
  if (feature == LOAD_EXTERNAL_ENTITIES) return m_loadExternalEntities;
  return false;
}

const MSXMLGUID* ZelMSXmlParser::searchMSXml(ComPtr<IXMLDOMDocument2>& document, MSXMLTYPE type) {
  for (const MSXMLGUID& entry : kSearchTable) {
    if (entry.type > type) continue;
    document.Release();
    IUnknown* unknown = nullptr;
    if (FAILED(CoCreateInstance(entry.clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                                IID_IUnknown, reinterpret_cast<void**>(&unknown))))
      continue;
    bool made = SUCCEEDED(OleRun(unknown)) &&
                SUCCEEDED(unknown->QueryInterface(IID_IXMLDOMDocument2, reinterpret_cast<void**>(&document)));
    unknown->Release();
    if (made) return &entry;
  }
  return nullptr;
}

void ZelMSXmlParser::closeStream() {
  m_document.Release();
  m_uri.remove();
  m_currentNode.Release();
  m_lookaheadNode.Release();
  m_lookaheadPending = false;
  m_parseError.Release();
  m_eventType = END_DOCUMENT;
  while (m_namespaces->popScope()) {
  }
  // Last, so that a file that cannot be removed leaves the parser closed.
  m_tempFile.setFileName(static_cast<const char*>(nullptr));
}

bool ZelMSXmlParser::load(const ComPtr<IXMLDOMDocument2>& document, const UnicodeString& uri) {
  VARIANT source;
  VariantInit(&source);
  source.vt = VT_BSTR;
  source.bstrVal = SysAllocStringLen(uri.getBuffer(), static_cast<uint32_t>(uri.length()));
  VARIANT_BOOL ok = VARIANT_FALSE;
  const bool outer = t_externalEntities;
  t_externalEntities = m_loadExternalEntities;
  try {
    document.call(&IXMLDOMDocument::load, source, &ok);
  } catch (...) {
    t_externalEntities = outer;
    VariantClear(&source);
    throw;
  }
  t_externalEntities = outer;
  VariantClear(&source);
  return ok != VARIANT_FALSE;
}

void ZelMSXmlParser::setInput(const UnicodeString& uri, const UnicodeString&, const UnicodeString&) {
  closeStream();
  ComPtr<IXMLDOMDocument2> document;
  if (searchMSXml(document, MSXMLTYPE_40) == nullptr) throwError(kErrCreate, UnicodeString());
  try {
    document.call(&IXMLDOMDocument::put_async, VARIANT_FALSE);
    ComBstr property(u"ServerHTTPRequest");
    document.call(&IXMLDOMDocument2::setProperty, property.get(), BoolVariant(true));
    document.call(&IXMLDOMDocument::put_preserveWhiteSpace, VARIANT_TRUE);
    document.call(&IXMLDOMDocument::put_validateOnParse, VARIANT_FALSE);
    document.call(&IXMLDOMDocument::put_resolveExternals, m_skipExternalDtd ? VARIANT_FALSE : VARIANT_TRUE);
    ZelUri named(uri, ZelUri::URISTR_CSS_URI);
    bool loaded = load(document, named.toString());
    if (!loaded && !m_skipExternalDtd && m_ignoreDtdFailure) {
      document.call(&IXMLDOMDocument::put_resolveExternals, VARIANT_FALSE);
      loaded = load(document, named.toString());
    }
    if (!loaded) {
      ComPtr<IXMLDOMParseError> error;
      document.call(&IXMLDOMDocument::get_parseError, &error);
      throwParseError(error);
    }
    ComPtr<IXMLDOMDocument> loadedDocument;
    document.queryInto(IID_IXMLDOMDocument, loadedDocument);
    setInput(loadedDocument.get());
  } catch (const ComError& error) {
    throwError(kErrCom, Text(error.Description()));
  }
  m_uri = uri;
}

void ZelMSXmlParser::setInput(std::istream& in, const UnicodeString& encoding, const UnicodeString& baseUri) {
  closeStream();
  ZelTempFile copy(UnicodeString(), UnicodeString(u"xml"), UnicodeString(u"xml"));
  CopyToFile(in, copy.getFileName());
  setInput(copy.getFileName(), encoding, baseUri);
  m_tempFile.setFileName(copy.releaseFileName());
}

void ZelMSXmlParser::setInput(IXMLDOMDocument* document) {
  closeStream();
  m_document = document;
  m_eventType = START_DOCUMENT;
}

void ZelMSXmlParser::throwParseError(const ComPtr<IXMLDOMParseError>& error) {
  m_parseError = error.get();
  ComBstr reason;
  error.call(&IXMLDOMParseError::get_reason, &reason);
  throwError(kErrParse, Text(reason.get()));
}

void ZelMSXmlParser::throwError(uint16_t code, const UnicodeString& text) const {
  UnicodeString message;
  switch (code) {
    case kErrCreate: message = u"MSXML CreateInstance is failed."; break;
    case kErrCom:
      message = u"MSXML COM interfase exception.";
      if (!text.isEmpty()) message.append(u"\nDescription :").append(text);
      break;
    case kErrParse:
      message = u"MSXML parse error.";
      if (!text.isEmpty()) message.append(u"\nReason :").append(text);
      break;
    default: message = u"MSXML parser error."; break;
  }
  UnicodeString position = getPositionDescription();
  if (!position.isEmpty()) message.append(u"\n").append(position);
  throw ZelError(code, message, getErrorOriginName(kOriginMsParser));
}

UnicodeString ZelMSXmlParser::getInputEncoding() const { return UnicodeString(); }
void ZelMSXmlParser::defineEntityReplacementText(ZelName, const UnicodeString&) {}
int ZelMSXmlParser::getNamespaceCount(int depth) const { return m_namespaces->getNamespaceCount(depth); }
ZelName ZelMSXmlParser::getNamespacePrefix(int pos) const { return m_namespaces->getDeclaredPrefix(pos); }
ZelName ZelMSXmlParser::getNamespaceUri(int pos) const { return m_namespaces->getDeclaredUri(pos); }
ZelName ZelMSXmlParser::getNamespace(ZelName prefix) const { return m_namespaces->getNamespaceUri(prefix); }
int ZelMSXmlParser::getDepth() const { return m_namespaces->getDepth(); }

ZelName ZelMSXmlParser::getNamespace() const {
  return m_eventType == START_TAG || m_eventType == END_TAG ? m_namespaces->getElementNamespace() : ZelName();
}
ZelName ZelMSXmlParser::getName() const {
  return m_eventType == START_TAG || m_eventType == END_TAG ? m_namespaces->getElementLocalName() : ZelName();
}
ZelName ZelMSXmlParser::getPrefix() const {
  return m_eventType == START_TAG || m_eventType == END_TAG ? m_namespaces->getElementPrefix() : ZelName();
}

UnicodeString ZelMSXmlParser::getPositionDescription() const {
  UnicodeString text(xmlEventName(m_eventType));
  if (!m_uri.isEmpty() && !m_tempFile.isTempFile()) text.append(u", '").append(m_uri).append(u"'");
  return text.append(u".");
}

int ZelMSXmlParser::getLineNumber() const {
  if (!m_parseError) return -1;
  LONG line = -1;
  m_parseError.call(&IXMLDOMParseError::get_line, &line);
  return line;
}

int ZelMSXmlParser::getColumnNumber() const {
  if (!m_parseError) return -1;
  LONG column = -1;
  m_parseError.call(&IXMLDOMParseError::get_linepos, &column);
  return column;
}

bool ZelMSXmlParser::isWhitespace() const {
  if (m_eventType != TEXT) throwLibraryError(2059, kOriginMsIsWhitespace);
  for (int32_t i = 0; i < m_text.length(); ++i) {
    char16_t c = m_text.charAt(i);
    if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r') return false;
  }
  return true;
}

UnicodeString ZelMSXmlParser::getText() {
  if (m_eventType == TEXT) return m_text;
  if (!m_currentNode) return UnicodeString();
  VARIANT value;
  VariantInit(&value);
  m_currentNode.call(&IXMLDOMNode::get_nodeValue, &value);
  return Text(value);
}

bool ZelMSXmlParser::isEmptyElementTag() const {
  if (m_eventType != START_TAG) throwLibraryError(2059, kOriginMsIsEmptyElementTag);
  return !HasChildren(m_currentNode);
}

int ZelMSXmlParser::getAttributeCount() const {
  return m_eventType == START_TAG ? static_cast<int>(m_attributes.size()) : -1;
}

ZelName ZelMSXmlParser::getAttributeNamespace(int index) const {
  if (index < 0 || index >= getAttributeCount()) throwLibraryError(2052, kOriginMsGetAttributeNamespace);
  return m_attributes[index].namespaceName;
}

ZelName ZelMSXmlParser::getAttributeName(int index) const {
  if (index < 0 || index >= getAttributeCount()) throwLibraryError(2052, kOriginMsGetAttributeName);
  return m_attributes[index].localName;
}

ZelName ZelMSXmlParser::getAttributePrefix(int index) const {
  if (index < 0 || index >= getAttributeCount()) throwLibraryError(2052, kOriginMsGetAttributePrefix);
  return m_attributes[index].prefix;
}

UnicodeString ZelMSXmlParser::getAttributeValue(int index) const {
  if (index < 0 || index >= getAttributeCount()) throwLibraryError(2052, kOriginMsGetAttributeValue);
  return m_attributes[index].value;
}

// An unprefixed attribute is in no namespace, whatever the default
// namespace in scope: it matches by the namespace name it was recorded
// with. A prefixed one matches also through its prefix's binding.
UnicodeString ZelMSXmlParser::getAttributeValue(ZelName namespaceName, ZelName localName) const {
  if (m_eventType != START_TAG) throwLibraryError(2052, kOriginMsGetAttributeValue);
  for (const AttributeRecord& record : m_attributes) {
    if (record.localName != localName) continue;
    if (record.namespaceName == namespaceName ||
        (!record.prefix.isEmpty() && m_namespaces->getNamespaceUri(record.prefix) == namespaceName))
      return record.value;
  }
  return ZelBogusString::BOGUS_VALUE;
}

ZelXmlParser::EventType ZelMSXmlParser::getEventType() const { return m_eventType; }

void ZelMSXmlParser::readStartTag() {
  m_namespaces->pushScope();
  m_attributes.clear();
  ComPtr<IXMLDOMNamedNodeMap> map;
  m_currentNode.call(&IXMLDOMNode::get_attributes, &map);
  if (map) {
    map.call(&IXMLDOMNamedNodeMap::reset);
    for (;;) {
      ComPtr<IXMLDOMNode> node;
      if (map.call(&IXMLDOMNamedNodeMap::nextNode, &node) != S_OK || !node) break;
      ComPtr<IXMLDOMAttribute> attribute;
      node.queryInto(IID_IXMLDOMAttribute, attribute);
      ComBstr local, prefix, ns;
      attribute.call(&IXMLDOMNode::get_baseName, &local);
      attribute.call(&IXMLDOMNode::get_prefix, &prefix);
      attribute.call(&IXMLDOMNode::get_namespaceURI, &ns);
      VARIANT value;
      VariantInit(&value);
      attribute.call(&IXMLDOMAttribute::get_value, &value);
      AttributeRecord record{Name(Text(prefix.get())), Name(Text(local.get())), Name(Text(ns.get())), Text(value)};
      bool prefixDeclaration = record.prefix == ZelName(NAME_XMLNS);
      bool defaultDeclaration = record.prefix.isEmpty() && record.localName == ZelName(NAME_XMLNS);
      if (prefixDeclaration || defaultDeclaration) {
        m_namespaces->declarePrefix(prefixDeclaration ? record.localName : ZelName(), Name(record.value));
        record.namespaceName = ZelName(kXmlnsNamespaceName);
      }
      m_attributes.push_back(std::move(record));
    }
  }
  ComBstr local, prefix, ns;
  m_currentNode.call(&IXMLDOMNode::get_baseName, &local);
  m_currentNode.call(&IXMLDOMNode::get_prefix, &prefix);
  m_currentNode.call(&IXMLDOMNode::get_namespaceURI, &ns);
  m_namespaces->setElementName(Name(Text(ns.get())), Name(Text(prefix.get())), Name(Text(local.get())));
}

ZelXmlParser::EventType ZelMSXmlParser::nextToken() {
  try {
    if (m_eventType == END_TAG) m_namespaces->popScope();
    nextEvent();
    m_currentNode = m_lookaheadNode;
    m_eventType = m_lookaheadType;
    m_lookaheadNode.Release();
    m_lookaheadPending = false;
    if (m_eventType == START_TAG) {
      readStartTag();
    } else if (m_eventType == TEXT || m_eventType == CDSECT) {
      if (!m_collecting) m_text.remove();
      VARIANT value;
      VariantInit(&value);
      m_currentNode.call(&IXMLDOMNode::get_nodeValue, &value);
      UnicodeString piece = Text(value);
      if (m_eventType == TEXT && piece.indexOf(u'\r') >= 0) {
        piece.findAndReplace(u"\r\n", u"\n");
        piece.findAndReplace(u"\r", u"\n");
      }
      m_text.append(piece);
    }
  } catch (const ComError& error) {
    throwError(kErrCom, Text(error.Description()));
  }
  return m_eventType;
}

ZelXmlParser::EventType ZelMSXmlParser::next() {
  m_text.remove();
  struct Collecting {
    bool& flag;
    ~Collecting() { flag = false; }
  } collecting{m_collecting};
  m_collecting = true;
  EventType event = nextToken();
  for (;;) {
    bool textual = event == TEXT || event == CDSECT;
    bool skipped = event == IGNORABLE_WHITESPACE || event == PROCESSING_INSTRUCTION || event == COMMENT ||
                   event == DOCDECL;
    if (!textual && !skipped) return event;
    if (skipped && m_text.isEmpty()) {
      event = nextToken();
      continue;
    }
    m_eventType = TEXT;
    EventType coming;
    try {
      coming = nextEvent();
    } catch (const ComError& error) {
      throwError(kErrCom, Text(error.Description()));
    }
    if (coming != TEXT && coming != CDSECT && coming != IGNORABLE_WHITESPACE && coming != PROCESSING_INSTRUCTION &&
        coming != COMMENT && coming != DOCDECL)
      return TEXT;
    event = nextToken();
  }
}

ZelXmlParser::EventType ZelMSXmlParser::lookAhead(EventType type, IXMLDOMNode* node) {
  m_lookaheadNode = node;
  m_lookaheadType = type;
  m_lookaheadPending = true;
  return type;
}

// Moves node to what follows it and everything under it: its next
// sibling, or the next sibling of the nearest non-element above it. False
// when the end tag of an element above it, or the end of the document,
// comes first; that is then the look-ahead.
bool ZelMSXmlParser::advance(ComPtr<IXMLDOMNode>& node) {
  for (;;) {
    ComPtr<IXMLDOMNode> sibling;
    node.call(&IXMLDOMNode::get_nextSibling, &sibling);
    if (sibling) {
      node = sibling;
      return true;
    }
    ComPtr<IXMLDOMNode> parent;
    node.call(&IXMLDOMNode::get_parentNode, &parent);
    if (!parent) {
      lookAhead(END_DOCUMENT, nullptr);
      return false;
    }
    if (TypeOf(parent) == NODE_ELEMENT) {
      lookAhead(END_TAG, parent.get());
      return false;
    }
    node = parent;
  }
}

// The first delivered node from candidate on, in document order; nodes of
// other types are passed through, so an entity reference's children stand
// in its place.
ZelXmlParser::EventType ZelMSXmlParser::searchFrom(ComPtr<IXMLDOMNode> candidate) {
  for (;;) {
    DOMNodeType type = TypeOf(candidate);
    if (IsDelivered(type)) return lookAhead(EventOf(type), candidate.get());
    ComPtr<IXMLDOMNode> child;
    candidate.call(&IXMLDOMNode::get_firstChild, &child);
    if (child) candidate = child;
    else if (!advance(candidate)) return m_lookaheadType;
  }
}

ZelXmlParser::EventType ZelMSXmlParser::nextEvent() {
  if (m_lookaheadPending) return m_lookaheadType;
  switch (m_eventType) {
    case START_DOCUMENT: {
      if (!m_document) return lookAhead(END_DOCUMENT, nullptr);
      ComPtr<IXMLDOMNode> root;
      m_document.call(&IXMLDOMDocument::get_documentElement, &root);
      if (!root) return lookAhead(END_DOCUMENT, nullptr);
      return searchFrom(root);
    }
    case END_DOCUMENT: return lookAhead(END_DOCUMENT, nullptr);
    case START_TAG: {
      ComPtr<IXMLDOMNode> child;
      m_currentNode.call(&IXMLDOMNode::get_firstChild, &child);
      if (!child) return lookAhead(END_TAG, m_currentNode.get());
      return searchFrom(child);
    }
    case END_TAG: {
      ComPtr<IXMLDOMNode> node = m_currentNode;
      return advance(node) ? searchFrom(node) : m_lookaheadType;
    }
    default: {
      ComPtr<IXMLDOMNode> child;
      m_currentNode.call(&IXMLDOMNode::get_firstChild, &child);
      if (child) return searchFrom(child);
      ComPtr<IXMLDOMNode> node = m_currentNode;
      return advance(node) ? searchFrom(node) : m_lookaheadType;
    }
  }
}

}  // namespace ObraCommon
