// The own pull parser: input and decoding, the token readers, next's text
// joining and error reports.
#include "quarnel/xml_parser_impl.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdio>
#include <cstring>
#include <new>
#include <streambuf>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "error_raise.h"
#include "quarnel/kvb_stream.h"
#include "quarnel/shared_strings.h"
#include "quarnel/uri.h"
#include "quarnel/xml_limits.h"
#include "xml_errors.h"
#include "xml_input.h"
#include "xml_names.h"

namespace ObraCommon {

namespace {

using namespace XmlInput;

constexpr size_t kByteBufferSize = 1 << 16;
// Slots of the per-parser name cache (a power of two): a document's names
// are few, so two slots per hash are enough.
constexpr size_t kNameCacheSlots = 1 << 10;

// The first of the two slots a name's hash may take.
size_t NameCachePair(uint32_t hash) { return 2 * ((hash ^ (hash >> 15)) & (kNameCacheSlots / 2 - 1)); }

const char16_t kChartNamespace[] = u"http://quarnel.invalid/names/Grafeln";
const char16_t kXhtmlNamespace[] = u"http://www.w3.org/1999/xhtml";

bool IsNameStart(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
  return (c >= 0xC0 && c <= 0x2FF) || (c >= 0x370 && c <= 0x37D) ||
         (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
         (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xEFFFF);
}

bool IsNameChar(char32_t c) {
  if (c < 0x80)
    return IsNameStart(c) || c == '-' || c == '.' || (c >= '0' && c <= '9');
  return IsNameStart(c) || c == 0xB7 || (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// IsNameChar of every ASCII code, for the byte scans.
struct AsciiNameChars {
  bool table[128] = {};
  constexpr AsciiNameChars() {
    for (int c = 0; c < 128; ++c)
      table[c] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '-' || c == '.' ||
                 (c >= '0' && c <= '9');
  }
};
constexpr AsciiNameChars kAsciiNameChars;

// IsNameStart of an ASCII code.
bool IsAsciiNameStart(unsigned c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }

// The hash the name cache files a name under, one unit at a time.
constexpr uint32_t kNameHashStart = 2166136261u;
uint32_t NameHash(uint32_t hash, char16_t unit) { return (hash ^ unit) * 16777619u; }

bool IsXmlChar(uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

UnicodeString QName(ZelName prefix, ZelName local) {
  return ZelXmlUtil::makeQNameStr(prefix.toString(), local.toString());
}

const char16_t* EventName(ZelXmlParser::EventType type) {
  static const char16_t* const names[] = {u"START_DOCUMENT", u"END_DOCUMENT", u"START_TAG", u"END_TAG",
                                          u"TEXT", u"CDSECT", u"ENTITY_REF", u"IGNORABLE_WHITESPACE",
                                          u"PROCESSING_INSTRUCTION", u"COMMENT", u"DOCDECL"};
  return type >= 0 && type <= 10 ? names[type] : u"";
}

// Keeps the markup look-ahead at 1 while a report runs, so that a callback
// calling next meets the end of the document, and puts it back afterwards.
class PendingMarkupGuard {
 public:
  explicit PendingMarkupGuard(int& pending) : m_pending(pending), m_saved(pending) { pending = 1; }
  ~PendingMarkupGuard() { m_pending = m_saved; }
  PendingMarkupGuard(const PendingMarkupGuard&) = delete;
  PendingMarkupGuard& operator=(const PendingMarkupGuard&) = delete;

 private:
  int& m_pending;
  int m_saved;
};

std::atomic<bool> g_remoteEntityLoading{false};

// The bytes already taken into the parser's buffer, then the rest of the
// source: a converter put in after the XML declaration must see both.
class PrefixedBuf : public std::streambuf {
 public:
  PrefixedBuf(std::string head, std::istream* rest) : m_head(std::move(head)), m_rest(rest) {
    setg(m_head.data(), m_head.data(), m_head.data() + m_head.size());
  }

 protected:
  int_type underflow() override {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (m_rest == nullptr) return traits_type::eof();
    m_rest->read(m_block, sizeof m_block);
    std::streamsize got = m_rest->gcount();
    if (got <= 0) return traits_type::eof();
    setg(m_block, m_block, m_block + got);
    return traits_type::to_int_type(*gptr());
  }

 private:
  std::string m_head;
  std::istream* m_rest;
  char m_block[8192];
};

class PrefixedStream : public std::istream {
 public:
  PrefixedStream(std::string head, std::istream* rest) : std::istream(nullptr), m_buf(std::move(head), rest) {
    rdbuf(&m_buf);
  }

 private:
  PrefixedBuf m_buf;
};

struct EncodingName {
  const char16_t* name;
  int mode;
};

// Names decoded without a converter. Mode 2 and 5 stand for "UTF-16" and
// "UTF-32" without a byte order, which keep a detected one.
constexpr EncodingName kEncodingNames[] = {
    {u"ANSI_X3.4", 8},        {u"ANSI_X3.4-1968", 8},   {u"ANSI_X3.4-1986", 8}, {u"ASCII", 8},
    {u"ISO646-US", 8},        {u"ISO_646.IRV", 8},      {u"ISO_646.IRV:1991", 8}, {u"US-ASCII", 8},
    {u"ISO-8859-1", 9},       {u"ISO_8859-1", 9},       {u"ISO_8859-1:1987", 9}, {u"LATIN1", 9},
    {u"UTF-8", 1},            {u"UTF-16LE", 3},         {u"UTF-16BE", 4},       {u"UTF-32LE", 6},
    {u"UTF-32BE", 7},         {u"ISO-10646-UCS-2", 2},  {u"UCS-2", 2},          {u"UNICODE", 2},
    {u"UTF-16", 2},           {u"ISO-10646-UCS-4", 5},  {u"UCS-4", 5},          {u"UTF-32", 5},
};

// The decoder mode of a name the parser reads itself, or 0.
int BuiltInMode(const UnicodeString& name) {
  UnicodeString key(name);
  key.trim().toUpper();
  for (const EncodingName& entry : kEncodingNames)
    if (key == entry.name) return entry.mode;
  return 0;
}

// "&name;", or "%name;" for a parameter entity (kept under "%name").
UnicodeString ReferenceText(ZelName entity) {
  const UnicodeString& name = entity.toString();
  return (name.startsWith(u"%") ? UnicodeString(name) : UnicodeString(u"&").append(name)).append(u';');
}

bool IsWideMode(int mode) { return mode == 3 || mode == 4 || mode == 6 || mode == 7; }

// The byte buffer of UTF-8 or UTF-16 input seen as units of `width` bytes,
// for the scans that take ASCII runs whole.
template <size_t width>
struct UnitBytes {
  // The low byte of each unit; its high byte is zero for ASCII.
  const unsigned char* bytes;
  // 1 for big-endian UTF-16, where the low byte comes second.
  size_t low;
  // Where a unit can start with all of its bytes in the buffer.
  size_t end;

  UnitBytes(const std::vector<char>& buffer, size_t byteEnd, int decoderMode)
      : low(width == 2 && decoderMode == 4 ? 1 : 0),
        end(byteEnd >= width ? byteEnd + 1 - width : 0) {
    bytes = reinterpret_cast<const unsigned char*>(buffer.data()) + low;
  }
  bool ascii(size_t at) const {
    if constexpr (width == 1) return bytes[at] < 0x80;
    else return bytes[at] < 0x80 && bytes[at + 1 - 2 * low] == 0;
  }
};

}  // namespace

const char16_t* xmlEventName(int type) { return EventName(static_cast<ZelXmlParser::EventType>(type)); }

void ZelXmlUtil::setRemoteEntityLoading(bool allowed) { g_remoteEntityLoading = allowed; }
bool ZelXmlUtil::getRemoteEntityLoading() { return g_remoteEntityLoading; }

XmlParserImpl::XmlParserImpl()
    : m_valueLimit(XmlLimits::kMaxValueLength), m_pushbackChar(kNoChar), m_crLookahead(kNoChar) {
  m_bytes.resize(kByteBufferSize);
  reset();
}

XmlParserImpl::~XmlParserImpl() { closeStream(); }

unsigned int XmlParserImpl::getTypeID() const { return getStaticTypeID(); }
bool XmlParserImpl::isA(unsigned int id) const { return id == getStaticTypeID() || ZelXmlParser::isA(id); }
UnicodeString XmlParserImpl::getTypeName() const { return UnicodeString(u"XmlParserImpl"); }

// ---------------------------------------------------------------------------
// Set-up and input

void XmlParserImpl::reset() {
  m_eventType = START_DOCUMENT;
  m_pendingMarkup = 0;
  m_xmlDeclSeen = m_doctypeSeen = m_rootSeen = false;
  m_emptyElementTag = false;
  m_rootNamespace = m_rootLocalName = ZelName();
  m_input = m_source = nullptr;
  m_ownsSource = false;
  m_stopAtEnd = false;
  m_inputEntity = ZelName();
  m_bytePos = m_byteEnd = 0;
  m_inputEnded = false;
  m_bytesRead = 0;
  m_decoderMode = 0;
  m_inputEncoding.remove();
  m_byteOrderMarkSeen = false;
  m_lineNumber = m_columnNumber = -1;
  m_systemId.remove();
  m_baseUri.remove();
  m_pushbackChar = m_crLookahead = kNoChar;
  m_segments.clear();
  m_entityUnits = 0;
  m_expansionStopped = false;
  m_textBuffer.remove();
  m_cachedText.setToBogus();
  m_tokenStart = 0;
  m_entityName = ZelName();
  m_charRef = 0;
  // Always exactly the predefined five, so that no definition of an earlier
  // document (an overwritten "amp" among them) leaks into the next.
  m_generalEntities.clear();
  m_parameterEntities.clear();
  m_externalGeneralEntities.clear();
  m_externalParameterEntities.clear();
  m_attributeLists.clear();
  m_declarationsStopped = false;
  m_subsetUnread = false;
  m_generalEntities[ZelName(UnicodeString(u"lt"))] = u"&#60;";
  m_generalEntities[ZelName(UnicodeString(u"gt"))] = u">";
  m_generalEntities[ZelName(UnicodeString(u"amp"))] = u"&#38;";
  m_generalEntities[ZelName(UnicodeString(u"apos"))] = u"'";
  m_generalEntities[ZelName(UnicodeString(u"quot"))] = u"\"";
  m_attributes.clear();
  if (!m_namespaces) {
    m_namespaces = new NamespaceManager();
  } else {
    while (m_namespaces->popScope()) {
    }
  }
}

void XmlParserImpl::setFeature(Feature feature, bool value) {
  if (feature >= 0 && feature <= LOAD_EXTERNAL_ENTITIES) m_features[feature] = value;
}

bool XmlParserImpl::getFeature(Feature feature) {
  return feature >= 0 && feature <= LOAD_EXTERNAL_ENTITIES && m_features[feature];
}

void XmlParserImpl::setStreamType(const UnicodeString& mediaType, const UnicodeString& name) {
  m_streamMediaType = mediaType;
  m_streamMediaType.toLower();
  m_streamExtension = name;
  m_streamExtension.toLower();
}

void XmlParserImpl::setCallbackError(ZelXmlErrorCallback callback, void* userData) {
  m_errorCallback = callback;
  m_callbackData = userData;
}

void XmlParserImpl::setInput(std::istream& in, const UnicodeString& encoding, const UnicodeString& baseUri) {
  closeStream();
  reset();
  m_input = m_source = &in;
  applyEncoding(encoding);
  m_baseUri = baseUri;
  checkStream();
}

void XmlParserImpl::setInput(const UnicodeString& uri, const UnicodeString& encoding, const UnicodeString& baseUri) {
  closeStream();
  reset();
  ZelUri resource(uri, ZelUri::URISTR_CSS_URI);
  std::istream* stream = resource.getStream(nullptr);
  if (stream == nullptr) throwIOError(4099, kOriginSetInput, uri);
  m_input = m_source = stream;
  m_ownsSource = true;
  m_systemId = uri;
  m_baseUri = baseUri;
  if (m_baseUri.isEmpty() && resource.isAbsolute() && !resource.isDataScheme()) m_baseUri = resource.getBaseString();
  applyEncoding(encoding);
  checkStream();
}

void XmlParserImpl::applyEncoding(const UnicodeString& encoding) {
  if (!encoding.isEmpty()) switchEncoding(encoding);
}

void XmlParserImpl::closeStream() {
  while (!m_inputStack.empty()) popStream();
  m_converter.reset();
  m_converterFeed.reset();
  if (m_source != nullptr && m_ownsSource) delete m_source;
  m_input = m_source = nullptr;
  m_ownsSource = false;
  m_bytePos = m_byteEnd = 0;
  m_inputEnded = true;
  // Whatever was put back belongs to the closed input: a token interrupted
  // by a callback that closed it reads on to the end of input.
  m_segments.clear();
  m_pushbackChar = m_crLookahead = kNoChar;
}

void XmlParserImpl::checkStream() {
  if (m_input == nullptr) throwLibraryError(2059, kOriginCheckStream);
  if (readByte() >= 0) {
    unreadByte();
    return;
  }
  throwIOError(m_input->bad() ? 4102 : 4100, kOriginCheckStream);
}

void XmlParserImpl::stopInput() { closeStream(); }

UnicodeString XmlParserImpl::getInputEncoding() const { return m_inputEncoding; }
UnicodeString XmlParserImpl::getBaseUri() const { return m_baseUri; }

void XmlParserImpl::defineEntityReplacementText(ZelName entityName, const UnicodeString& text) {
  m_generalEntities[entityName] = text;
}


// ---------------------------------------------------------------------------
// Bytes and code points

int XmlParserImpl::readByte() {
  if (m_bytePos < m_byteEnd) return static_cast<unsigned char>(m_bytes[m_bytePos++]);
  if (m_input == nullptr || m_inputEnded) return -1;
  m_input->read(m_bytes.data(), static_cast<std::streamsize>(m_bytes.size()));
  std::streamsize got = m_input->gcount();
  if (got <= 0) {
    m_inputEnded = true;
    return -1;
  }
  m_bytePos = 0;
  m_byteEnd = static_cast<size_t>(got);
  if (m_inputStack.empty()) {
    m_bytesRead += got;
  } else {
    // An external entity's text is delivered like an internal one's.
    m_entityUnits += got;
    if (m_entityUnits > XmlLimits::kMaxEntityUnits &&
        m_entityUnits > XmlLimits::kMaxExpansionRatio * m_bytesRead) {
      m_byteEnd = 0;
      m_inputEnded = true;
      if (!m_expansionStopped) {
        m_expansionStopped = true;
        reportError(kErrEntityExpansion);
      }
      return -1;
    }
  }
  return static_cast<unsigned char>(m_bytes[m_bytePos++]);
}

// Only right after a readByte that gave a byte.
void XmlParserImpl::unreadByte() {
  if (m_bytePos > 0) --m_bytePos;
}

// Every character read from an input passes here: one that XML has no
// place for in any construct (C0 controls but tab, line feed and carriage
// return; U+FFFE and U+FFFF) is reported and dropped.
char32_t XmlParserImpl::decodeChar() {
  for (;;) {
    const char32_t c = decodeUnit();
    if ((c >= 0x20 && c < 0xFFFE) || c == 0x0A || c == 0x09 || c == 0x0D || c > 0xFFFF) return c;
    reportError(0x1834);
  }
}

char32_t XmlParserImpl::decodeUnit() {
  if (m_crLookahead != kNoChar) {
    char32_t c = m_crLookahead;
    m_crLookahead = kNoChar;
    return c;
  }
  int b = readByte();
  if (b < 0) return kEnd;
  switch (m_decoderMode) {
    case 1: {
      if (b < 0x80) return static_cast<char32_t>(b);
      int need;
      char32_t cp;
      char32_t least;
      if ((b & 0xE0) == 0xC0) {
        need = 1, cp = b & 0x1F, least = 0x80;
      } else if ((b & 0xF0) == 0xE0) {
        need = 2, cp = b & 0x0F, least = 0x800;
      } else if ((b & 0xF8) == 0xF0) {
        need = 3, cp = b & 0x07, least = 0x10000;
      } else {
        return 0xFFFD;
      }
      for (int i = 0; i < need; ++i) {
        int n = readByte();
        if (n < 0) return 0xFFFD;
        if ((n & 0xC0) != 0x80) {
          // Not a continuation: it starts the next character.
          unreadByte();
          return 0xFFFD;
        }
        cp = (cp << 6) | static_cast<char32_t>(n & 0x3F);
      }
      if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
      return cp;
    }
    case 3:
    case 4: {
      auto unit = [&](int first) -> int {
        int second = readByte();
        if (second < 0) return -1;
        return m_decoderMode == 3 ? (first | (second << 8)) : ((first << 8) | second);
      };
      int u = unit(b);
      if (u < 0) return 0xFFFD;
      if (u < 0xD800 || u > 0xDBFF) return static_cast<char32_t>(u);
      int first = readByte();
      int low = first < 0 ? -1 : unit(first);
      if (low < 0xDC00 || low > 0xDFFF) return 0xFFFD;
      return static_cast<char32_t>(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
    }
    case 6:
    case 7: {
      uint32_t v = static_cast<uint32_t>(b);
      for (int i = 1; i < 4; ++i) {
        int n = readByte();
        if (n < 0) return 0xFFFD;
        v = m_decoderMode == 6 ? (v | (static_cast<uint32_t>(n) << (8 * i))) : ((v << 8) | static_cast<uint32_t>(n));
      }
      // Beyond Unicode and in the surrogate range there is no character (and
      // end of input lives beyond Unicode).
      return v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF) ? 0xFFFD : v;
    }
    default:
      return static_cast<char32_t>(b);
  }
}

inline bool XmlParserImpl::takePlainByte(char32_t& c) {
  if (m_bytePos >= m_byteEnd || m_decoderMode != 1) return false;
  const unsigned char b = static_cast<unsigned char>(m_bytes[m_bytePos]);
  if (b >= 0x80 || (b < 0x20 && b != 0x0A && b != 0x09)) return false;
  ++m_bytePos;
  if (b == 0x0A) {
    ++m_lineNumber;
    m_columnNumber = 0;
  } else {
    ++m_columnNumber;
  }
  c = b;
  return true;
}

char32_t XmlParserImpl::readChar() {
  // The common case: nothing put back, an ASCII byte other than CR in the
  // buffer of a UTF-8 input.
  char32_t plain;
  if (m_pushbackChar == kNoChar && m_segments.empty() && m_crLookahead == kNoChar && takePlainByte(plain))
    return plain;
  // The same for a UTF-16 input (and what a converter delivers): a unit
  // that is neither half of a pair, nor a line end, nor one XML forbids.
  if (m_bytePos + 1 < m_byteEnd && m_pushbackChar == kNoChar && m_segments.empty() && m_crLookahead == kNoChar &&
      (m_decoderMode == 3 || m_decoderMode == 4)) {
    const auto* pair = reinterpret_cast<const unsigned char*>(m_bytes.data()) + m_bytePos;
    const char32_t u = m_decoderMode == 3 ? pair[0] | (static_cast<char32_t>(pair[1]) << 8)
                                          : (static_cast<char32_t>(pair[0]) << 8) | pair[1];
    if ((u >= 0x20 || u == 0x0A || u == 0x09) && u != 0x85 && u != 0x2028 && (u < 0xD800 || u > 0xDFFF) &&
        u < 0xFFFE) {
      m_bytePos += 2;
      if (u == 0x0A) {
        ++m_lineNumber;
        m_columnNumber = 0;
      } else {
        ++m_columnNumber;
      }
      return u;
    }
  }
  char32_t c;
  for (;;) {
    if (m_pushbackChar != kNoChar) {
      c = m_pushbackChar;
      m_pushbackChar = kNoChar;
      return c;
    }
    while (!m_segments.empty()) {
      Segment& top = m_segments.back();
      if (top.index < top.text.length()) {
        UChar32 u = top.text.char32At(top.index);
        top.index += U16_LENGTH(u);
        return static_cast<char32_t>(u);
      }
      // An exhausted segment stays until the next read, so that a reference
      // at the very end of an entity's text still finds that entity open.
      if (top.literal) return kEnd;
      m_segments.pop_back();
    }
    c = decodeChar();
    // The end of an external entity: reading goes on where it was referenced.
    if (c != kEnd || m_inputStack.empty() || m_stopAtEnd) break;
    popStream();
  }
  if (c == kEnd) return kEnd;
  if (c == 0x0D) {
    char32_t d = decodeChar();
    if (d != 0x0A && d != 0x85 && d != kEnd) m_crLookahead = d;
    c = 0x0A;
  } else if (c == 0x85 || c == 0x2028) {
    c = 0x0A;
  }
  if (c == 0x0A) {
    ++m_lineNumber;
    m_columnNumber = 0;
  } else {
    ++m_columnNumber;
  }
  return c;
}

void XmlParserImpl::unreadChar(char32_t c) {
  if (c == kEnd || c == kNoChar) return;
  if (m_pushbackChar == kNoChar) {
    m_pushbackChar = c;
    return;
  }
  Segment both;
  both.text.append(static_cast<UChar32>(c)).append(static_cast<UChar32>(m_pushbackChar));
  m_pushbackChar = kNoChar;
  m_segments.push_back(std::move(both));
}

inline bool XmlParserImpl::readingBytes() const {
  return m_pushbackChar == kNoChar && m_segments.empty() && m_crLookahead == kNoChar;
}

inline char32_t XmlParserImpl::nextChar() {
  if (m_pushbackChar != kNoChar) {
    const char32_t c = m_pushbackChar;
    m_pushbackChar = kNoChar;
    return c;
  }
  if (!m_segments.empty()) {
    // A unit of the text on top that is no half of a pair.
    Segment& top = m_segments.back();
    if (top.index < top.text.length()) {
      const char16_t u = top.text.charAt(top.index);
      if (!U16_IS_SURROGATE(u)) {
        ++top.index;
        return u;
      }
    }
    return readChar();
  }
  char32_t plain;
  if (m_crLookahead == kNoChar && takePlainByte(plain)) return plain;
  return readChar();
}

inline void XmlParserImpl::putBack(char32_t c) {
  if (m_pushbackChar == kNoChar && c != kEnd) {
    m_pushbackChar = c;
    return;
  }
  unreadChar(c);
}

void XmlParserImpl::unreadText(const UnicodeString& text, ZelName entity) {
  if (m_pushbackChar != kNoChar) {
    Segment pending;
    pending.text.append(static_cast<UChar32>(m_pushbackChar));
    m_pushbackChar = kNoChar;
    m_segments.push_back(std::move(pending));
  }
  Segment segment;
  segment.text = text;
  segment.entity = entity;
  m_segments.push_back(std::move(segment));
}

bool XmlParserImpl::isEntityOpen(ZelName entity) const {
  auto inSegments = [&](const std::vector<Segment>& segments) {
    for (const Segment& segment : segments)
      if (segment.entity == entity) return true;
    return false;
  };
  if (m_inputEntity == entity || inSegments(m_segments)) return true;
  for (const Input& input : m_inputStack)
    if (input.entity == entity || inSegments(input.segments)) return true;
  return false;
}

int XmlParserImpl::openEntityCount() const {
  auto count = [](const std::vector<Segment>& segments) {
    int open = 0;
    for (const Segment& segment : segments) open += segment.entity.isEmpty() ? 0 : 1;
    return open;
  };
  int open = count(m_segments) + static_cast<int>(m_inputStack.size());
  for (const Input& input : m_inputStack) open += count(input.segments);
  return open;
}

bool XmlParserImpl::pushEntityText(ZelName entity, const UnicodeString& text) {
  if (!admitEntityText(entity, text.length())) return false;
  if (!text.isEmpty()) unreadText(text, entity);
  return true;
}

bool XmlParserImpl::admitEntityText(ZelName entity, int32_t length) {
  if (m_expansionStopped) return false;
  if (isEntityOpen(entity)) {
    reportError(kErrRecursiveEntity, ReferenceText(entity));
    return false;
  }
  if (openEntityCount() >= XmlLimits::kMaxOpenEntities) {
    reportError(kErrEntityExpansion);
    return false;
  }
  int64_t units = m_entityUnits + length;
  if (units > XmlLimits::kMaxEntityUnits && units > XmlLimits::kMaxExpansionRatio * m_bytesRead) {
    // From here on every reference contributes nothing: one report ends
    // the expansion rather than one per reference still to come.
    m_expansionStopped = true;
    reportError(kErrEntityExpansion);
    return false;
  }
  m_entityUnits = units;
  return true;
}

// The texts are those setInput defines ("&#38;" and "&#60;" read as the
// one character they give), which no declaration replaces.
bool XmlParserImpl::appendPredefined(ZelName name, UnicodeString& out, bool onlyReferences) {
  static const ZelName kNames[] = {ZelName(UnicodeString(u"lt")), ZelName(UnicodeString(u"gt")),
                                   ZelName(UnicodeString(u"amp")), ZelName(UnicodeString(u"apos")),
                                   ZelName(UnicodeString(u"quot"))};
  static constexpr char16_t kChars[] = {u'<', u'>', u'&', u'\'', u'"'};
  static constexpr int32_t kTextLengths[] = {5, 1, 5, 1, 1};
  for (size_t i = 0; i < std::size(kNames); ++i) {
    if (name != kNames[i]) continue;
    if (onlyReferences && kTextLengths[i] == 1) return false;
    if (admitEntityText(name, kTextLengths[i])) out.append(kChars[i]);
    return true;
  }
  return false;
}

// The first bytes are in the buffer (checkStream filled it), so whatever
// is not a mark is read again from where it starts and counts in the
// position like any other character.
void XmlParserImpl::detectByteOrder() {
  const size_t start = m_bytePos;
  int b[4];
  for (int& byte : b) byte = readByte();
  size_t skip = 0;
  if (m_converter) {
    // The converter delivers UTF-16 little endian: only its mark is dropped.
    m_bytePos = start + (b[0] == 0xFF && b[1] == 0xFE ? 2 : 0);
    return;
  }
  auto setMode = [&](int mode, const char16_t* name, bool mark) {
    m_decoderMode = mode;
    m_inputEncoding = name;
    m_byteOrderMarkSeen = mark;
  };
  if (b[0] == 0xEF || b[0] == 0xFE || b[0] == 0xFF) {
    if (b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
      setMode(1, u"UTF-8", true);
      skip = 3;
    } else if (b[0] == 0xFE && b[1] == 0xFF) {
      setMode(4, u"UTF-16", true);
      skip = 2;
    } else if (b[0] == 0xFF && b[1] == 0xFE) {
      bool wide = b[2] == 0 && b[3] == 0;
      setMode(wide ? 6 : 3, wide ? u"UTF-32" : u"UTF-16", true);
      skip = wide ? 4 : 2;
    } else {
      // A broken mark: its bytes up to the one that breaks it are dropped.
      skip = b[0] == 0xEF && b[1] == 0xBB ? 2 : 1;
      m_bytePos = start + skip;
      reportError(0x1834);
      if (m_decoderMode == 0) setMode(1, u"UTF-8", false);
      return;
    }
  } else if (b[0] == 0x00) {
    if (b[1] > 0) {
      setMode(4, u"UTF-16BE", false);
    } else if (b[2] == 0xFE && b[3] == 0xFF) {
      setMode(7, u"UTF-32", true);
      skip = 4;
    } else {
      setMode(7, u"UTF-32BE", false);
    }
  } else if (b[0] == '<' && (m_decoderMode == 0 || m_decoderMode == 2 || m_decoderMode == 5)) {
    if (b[1] != 0) setMode(1, u"UTF-8", false);
    else if (b[2] != 0 || b[3] != 0) setMode(3, u"UTF-16LE", false);
    else setMode(6, u"UTF-32LE", false);
  } else if (m_decoderMode == 0) {
    // Nothing recognised and nothing given: XML's default.
    setMode(1, u"UTF-8", false);
  }
  m_bytePos = start + skip;
}

void XmlParserImpl::switchEncoding(const UnicodeString& name) {
  if (name.isEmpty() || m_converter) {
    m_inputEncoding = name;
    return;
  }
  if (int mode = BuiltInMode(name)) {
    m_inputEncoding = name;
    // A bare UTF-16 or UTF-32 keeps the byte order already detected.
    if ((mode == 2 && (m_decoderMode == 3 || m_decoderMode == 4)) ||
        (mode == 5 && (m_decoderMode == 6 || m_decoderMode == 7)))
      return;
    m_decoderMode = mode;
    return;
  }
  // A converter reads bytes: over 16- or 32-bit units, or where a mark has
  // fixed the encoding, it would turn the text into garbage. The decoding
  // in use stays, and so does its name.
  if (IsWideMode(m_decoderMode) || m_byteOrderMarkSeen) {
    if (m_byteOrderMarkSeen) reportError(0x1839, name);
    return;
  }
  m_inputEncoding = name;
  if (m_features[REPORT_CONVERTED_ENCODING]) reportError(0x1835, name);
  putConverter(name);
}

void XmlParserImpl::putConverter(const UnicodeString& name) {
  UnicodeString trimmed(name);
  std::string charset;
  trimmed.trim().toUTF8String(charset);
  auto feed = std::make_unique<PrefixedStream>(std::string(m_bytes.data() + m_bytePos, m_byteEnd - m_bytePos),
                                               m_inputEnded ? nullptr : m_source);
  auto converter = std::make_unique<ZelKVBStream>(feed.get(), charset.c_str());
  if (!converter->is_open()) {
    // Without a converter (or without a started engine) the source is
    // read on as before.
    if (!m_features[IGNORE_UNKNOWN_ENCODING]) reportError(0x1835, name);
    return;
  }
  m_converterFeed = std::move(feed);
  m_converter = std::move(converter);
  m_input = m_converter.get();
  m_bytePos = m_byteEnd = 0;
  m_inputEnded = false;
  m_decoderMode = 3;
}

// ---------------------------------------------------------------------------
// External entities as nested inputs

void XmlParserImpl::swapInput(Input& other) {
  std::swap(m_input, other.input);
  std::swap(m_source, other.source);
  std::swap(m_ownsSource, other.ownsSource);
  std::swap(m_converterFeed, other.converterFeed);
  std::swap(m_converter, other.converter);
  std::swap(m_bytes, other.bytes);
  std::swap(m_bytePos, other.bytePos);
  std::swap(m_byteEnd, other.byteEnd);
  std::swap(m_inputEnded, other.inputEnded);
  std::swap(m_stopAtEnd, other.stopAtEnd);
  std::swap(m_pushbackChar, other.pushbackChar);
  std::swap(m_crLookahead, other.crLookahead);
  std::swap(m_segments, other.segments);
  std::swap(m_lineNumber, other.lineNumber);
  std::swap(m_columnNumber, other.columnNumber);
  std::swap(m_decoderMode, other.decoderMode);
  std::swap(m_byteOrderMarkSeen, other.byteOrderMarkSeen);
  std::swap(m_inputEncoding, other.inputEncoding);
  std::swap(m_systemId, other.systemId);
  std::swap(m_baseUri, other.baseUri);
  std::swap(m_inputEntity, other.entity);
}

std::istream* XmlParserImpl::openExternal(const UnicodeString& systemLiteral, UnicodeString& resolved) {
  if (m_externalBlocked) return nullptr;
  ZelUri uri = ResolveLiteral(m_baseUri, systemLiteral);
  resolved = uri.toString();
  if (std::istream* served = uri.getStreamFromResolver()) return served;
  if (!m_features[LOAD_EXTERNAL_ENTITIES]) return nullptr;
  if (uri.isFile()) {
    // A FIFO or a device would block or never end: only regular files.
    std::string path;
    uri.getLocalPath().toUTF8String(path);
    struct stat info {};
    std::istream* stream = nullptr;
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) stream = uri.getStream(nullptr);
    if (stream == nullptr) throwIOError(4099, kOriginPushStream, resolved);
    return stream;
  }
  // Everything else but jar: entries and data: texts is fetched by the
  // remote reader, which the process must have allowed.
  if (!uri.isJarScheme() && !uri.isDataScheme() && !g_remoteEntityLoading) return nullptr;
  return uri.getStream(nullptr);
}

bool XmlParserImpl::pushStream(const UnicodeString& systemLiteral, ZelName entity) {
  if (m_expansionStopped) return false;
  if (!entity.isEmpty() && isEntityOpen(entity)) {
    reportError(kErrRecursiveEntity, ReferenceText(entity));
    return false;
  }
  if (openEntityCount() >= XmlLimits::kMaxOpenEntities) {
    reportError(kErrEntityExpansion);
    return false;
  }
  UnicodeString resolved;
  std::unique_ptr<std::istream> stream(openExternal(systemLiteral, resolved));
  if (!stream) {
    reportError(kWarnExternalNotRead, entity.isEmpty() ? resolved : ReferenceText(entity));
    return false;
  }
  Input saved;
  saved.pushbackChar = saved.crLookahead = kNoChar;
  swapInput(saved);
  m_inputStack.push_back(std::move(saved));
  m_input = m_source = stream.release();
  m_ownsSource = true;
  m_bytes.resize(kByteBufferSize);
  m_inputEntity = entity;
  ZelUri uri(resolved, ZelUri::URISTR_URI);
  m_systemId = uri.getLocalPath();
  if (uri.isAbsolute()) m_baseUri = uri.getBaseString();
  m_lineNumber = 1;
  m_columnNumber = 0;
  // The document's UTF-8 default holds for every external entity too.
  detectByteOrder();
  // The declaration lies inside the entity: a short entity must not be
  // popped while its first characters are looked at (nor stay unpoppable
  // when a report throws).
  struct StopAtEnd {
    bool& flag;
    ~StopAtEnd() { flag = false; }
  };
  m_stopAtEnd = true;
  StopAtEnd stop{m_stopAtEnd};
  readTextDecl();
  return true;
}

void XmlParserImpl::popStream() {
  m_converter.reset();
  m_converterFeed.reset();
  if (m_ownsSource) delete m_source;
  Input saved = std::move(m_inputStack.back());
  m_inputStack.pop_back();
  swapInput(saved);
}

// "<?xml" and white space start a text declaration: an optional version,
// an encoding applied as the XML declaration's is, and "?>". Anything else
// is the entity's first text.
void XmlParserImpl::readTextDecl() {
  UnicodeString head;
  char32_t c = kEnd;
  while (head.length() < 6) {
    c = nextChar();
    if (c == kEnd || IsSpace(c)) break;
    head.append(static_cast<UChar32>(c));
  }
  if (head != u"<?xml" || !IsSpace(c)) {
    if (c != kEnd && IsSpace(c)) head.append(static_cast<UChar32>(c));
    if (!head.isEmpty()) unreadText(head, ZelName());
    return;
  }
  UnicodeString value;
  skipWhitespace();
  ZelName name = readName();
  if (name.toString() == u"version") {
    readDeclValue(u"<?xml version", value);
    skipWhitespace();
    name = readName();
  }
  if (name.toString() == u"encoding") {
    readDeclValue(u"encoding", value);
    switchEncoding(value);
    skipWhitespace();
  }
  readDeclEnd();
}

// The "?>" closing a declaration; otherwise the character found instead,
// after its report.
char32_t XmlParserImpl::readDeclEnd() {
  char32_t c = nextChar();
  char32_t d = c == '?' ? nextChar() : 0;
  if (c == '?' && d == '>') return kNoChar;
  if (c == '?') putBack(d);
  reportError(0x180C, Char(c));
  return c;
}

// ---------------------------------------------------------------------------
// Accessors

int XmlParserImpl::getNamespaceCount(int depth) const { return m_namespaces->getNamespaceCount(depth); }
ZelName XmlParserImpl::getNamespacePrefix(int pos) const { return m_namespaces->getDeclaredPrefix(pos); }
ZelName XmlParserImpl::getNamespaceUri(int pos) const { return m_namespaces->getDeclaredUri(pos); }

ZelName XmlParserImpl::getNamespace() const {
  return m_eventType == START_TAG || m_eventType == END_TAG ? m_namespaces->getElementNamespace() : ZelName();
}

ZelName XmlParserImpl::getNamespace(ZelName prefix) const { return m_namespaces->getNamespaceUri(prefix); }
int XmlParserImpl::getDepth() const { return m_namespaces->getDepth(); }

UnicodeString XmlParserImpl::getPositionDescription() const {
  UnicodeString text(EventName(m_eventType));
  const UnicodeString& where = !m_systemId.isEmpty() ? m_systemId : m_baseUri;
  if (!where.isEmpty()) text.append(u", '").append(where).append(u"'");
  char digits[16];
  if (m_lineNumber != -1) {
    std::snprintf(digits, sizeof digits, "%d", m_lineNumber);
    text.append(u", Line ").append(UnicodeString(digits, -1, US_INV));
  }
  if (m_columnNumber != -1) {
    std::snprintf(digits, sizeof digits, "%d", m_columnNumber);
    text.append(u", Col ").append(UnicodeString(digits, -1, US_INV));
  }
  return text.append(u'.');
}

int XmlParserImpl::getLineNumber() const { return m_lineNumber; }
int XmlParserImpl::getColumnNumber() const { return m_columnNumber; }

bool XmlParserImpl::isWhitespace() const {
  if (m_eventType == IGNORABLE_WHITESPACE) return true;
  if (m_eventType != TEXT && m_eventType != CDSECT) throwLibraryError(2059, kOriginIsWhitespace);
  for (int32_t i = m_tokenStart; i < m_textBuffer.length(); ++i)
    if (!IsSpace(m_textBuffer.charAt(i))) return false;
  return true;
}

UnicodeString XmlParserImpl::getText() {
  if (m_cachedText.isBogus()) {
    if (m_eventType == START_TAG || m_eventType == END_TAG) {
      m_cachedText.remove();
    } else if (m_eventType == ENTITY_REF && !m_entityName.isEmpty()) {
      m_cachedText = lookupEntity(m_entityName);
      // An undeclared name has no text, not the invalid one.
      if (m_cachedText.isBogus()) m_cachedText.remove();
    } else {
      // From the start the buffer is shared, not copied.
      m_cachedText = m_tokenStart == 0 ? m_textBuffer : UnicodeString(m_textBuffer, m_tokenStart);
    }
  }
  return m_cachedText;
}

ZelName XmlParserImpl::getName() const {
  if (m_eventType == START_TAG || m_eventType == END_TAG) return m_namespaces->getElementLocalName();
  if (m_eventType == ENTITY_REF) {
    if (!m_entityName.isEmpty()) return m_entityName;
    if (m_charRef == 0) return ZelName();
    char digits[16];
    std::snprintf(digits, sizeof digits, "#x%X", static_cast<unsigned>(m_charRef));
    return ZelName(UnicodeString(digits, -1, US_INV));
  }
  return ZelName();
}

ZelName XmlParserImpl::getPrefix() const {
  return m_eventType == START_TAG || m_eventType == END_TAG ? m_namespaces->getElementPrefix() : ZelName();
}

bool XmlParserImpl::isEmptyElementTag() const {
  if (m_eventType != START_TAG) throwLibraryError(2059, kOriginIsEmptyElementTag);
  return m_emptyElementTag;
}

int XmlParserImpl::getAttributeCount() const {
  return m_eventType == START_TAG ? static_cast<int>(m_attributes.size()) : -1;
}

ZelName XmlParserImpl::getAttributeNamespace(int index) const {
  if (index < 0 || index >= getAttributeCount()) throwLibraryError(2052, kOriginGetAttributeNamespace);
  return m_attributes[static_cast<size_t>(index)].namespaceName;
}

ZelName XmlParserImpl::getAttributeName(int index) const {
  if (index < 0 || index >= getAttributeCount()) throwLibraryError(2052, kOriginGetAttributeName);
  return m_attributes[static_cast<size_t>(index)].localName;
}

ZelName XmlParserImpl::getAttributePrefix(int index) const {
  if (index < 0 || index >= getAttributeCount()) throwLibraryError(2052, kOriginGetAttributePrefix);
  return m_attributes[static_cast<size_t>(index)].prefix;
}

bool XmlParserImpl::isAttributeDefault(int index) const {
  if (index < 0 || index >= getAttributeCount()) throwLibraryError(2052, kOriginGetAttributeValue);
  return !m_attributes[static_cast<size_t>(index)].specified;
}

UnicodeString XmlParserImpl::getAttributeValue(int index) const {
  if (index < 0 || index >= getAttributeCount()) throwLibraryError(2052, kOriginGetAttributeValue);
  return m_attributes[static_cast<size_t>(index)].value;
}

// Unprefixed attributes are stored without a namespace; a caller asking
// with the default namespace in scope (as a reader of a vocabulary that
// declares one does) finds them too.
bool XmlParserImpl::attributeMatches(const Attribute& attribute, ZelName namespaceName, ZelName localName) const {
  if (attribute.localName != localName) return false;
  if (attribute.namespaceName == namespaceName) return true;
  if (attribute.prefix.isEmpty())
    return namespaceName.isEmpty() || namespaceName == m_namespaces->getDefaultNamespace();
  return m_namespaces->getNamespaceUri(attribute.prefix) == namespaceName;
}

UnicodeString XmlParserImpl::getAttributeValue(ZelName namespaceName, ZelName localName) const {
  if (m_eventType != START_TAG) throwLibraryError(2052, kOriginGetAttributeValue);
  for (const Attribute& attribute : m_attributes)
    if (attributeMatches(attribute, namespaceName, localName)) return attribute.value;
  return ZelBogusString::BOGUS_VALUE;
}

ZelXmlParser::EventType XmlParserImpl::getEventType() const { return m_eventType; }

bool XmlParserImpl::isXhtmlDocument() const {
  if (m_rootLocalName == ZelName(UnicodeString(u"html")) && m_rootNamespace == ZelName(UnicodeString(kXhtmlNamespace)))
    return true;
  if (!m_streamMediaType.isEmpty()) return m_streamMediaType == u"application/xhtml+xml";
  return m_streamExtension == u".xht" || m_streamExtension == u".xhtml";
}

bool XmlParserImpl::isHtmlDocument() const {
  if (isXhtmlDocument()) return false;
  if (!m_streamMediaType.isEmpty()) return m_streamMediaType == u"text/html";
  if (!m_streamExtension.isEmpty()) return m_streamExtension == u".html" || m_streamExtension == u".htm";
  if (m_xmlDeclSeen || !m_rootNamespace.isEmpty()) return false;
  UnicodeString root(m_rootLocalName.toString());
  return root.toLower() == u"html";
}

// ---------------------------------------------------------------------------
// Reports

void XmlParserImpl::reportError(uint16_t code, const UnicodeString& a, const UnicodeString& b) {
  UnicodeString message = xmlErrorMessage(code, a, b);
  PendingMarkupGuard guard(m_pendingMarkup);
  const UnicodeString source(u"ObraCommon::XmlParserImpl");
  if (m_errorCallback != nullptr) {
    m_errorCallback(ZelError(code, message, source, -1, -1, UnicodeString()), m_callbackData);
    return;
  }
  UnicodeString where = getPositionDescription();
  if (!where.isEmpty()) message.append(u'\n').append(where);
  ZelError error(static_cast<uint16_t>(code & 0xF8FF), message, source, -1, -1, UnicodeString());
  if ((code & 0x400) == 0) throw error;
}

// A structural bound was passed: the report, then the input ends, so the
// parse reaches END_DOCUMENT whatever the callback does.
void XmlParserImpl::reportLimit(const char16_t* what) {
  m_noEvent = true;
  reportError(kErrParserLimit, UnicodeString(what));
  stopInput();
}

// ---------------------------------------------------------------------------
// Lexical pieces

bool XmlParserImpl::skipWhitespace() {
  bool skipped = false;
  // A character put back comes first: one that is no white space stays.
  if (m_pushbackChar != kNoChar) {
    if (!IsSpace(m_pushbackChar)) return false;
    m_pushbackChar = kNoChar;
    skipped = true;
  }
  if (m_segments.empty() && m_crLookahead == kNoChar) {
    // Spaces, tabs and line feeds straight from the bytes, and a printable
    // ASCII character after them put back, as readChar and unreadChar would.
    const auto* bytes = reinterpret_cast<const unsigned char*>(m_bytes.data());
    const size_t width = m_decoderMode == 1 ? 1 : m_decoderMode == 3 || m_decoderMode == 4 ? 2 : 0;
    // Where the unit's low byte lies, and its high byte (the same in UTF-8).
    const size_t low = m_decoderMode == 4 ? 1 : 0;
    const size_t high = width == 2 ? 1 - low : low;
    size_t pos = m_bytePos;
    if (width != 0) {
      for (; pos + width <= m_byteEnd; pos += width) {
        const unsigned char b = bytes[pos + low];
        if (width == 2 && bytes[pos + high] != 0) break;
        if (b == ' ' || b == '\t') {
          ++m_columnNumber;
        } else if (b == '\n') {
          ++m_lineNumber;
          m_columnNumber = 0;
        } else {
          break;
        }
        skipped = true;
      }
      m_bytePos = pos;
      if (pos + width <= m_byteEnd && bytes[pos + low] > 0x20 && bytes[pos + low] < 0x80 &&
          (width == 1 || bytes[pos + high] == 0)) {
        m_bytePos += width;
        ++m_columnNumber;
        m_pushbackChar = bytes[pos + low];
        return skipped;
      }
    }
  }
  char32_t c;
  while (IsSpace(c = nextChar())) skipped = true;
  putBack(c);
  return skipped;
}

ZelName XmlParserImpl::readName() {
  // The common case whole from the bytes of UTF-8 or UTF-16 input: ASCII
  // name characters (the first may have been put back) up to a printable
  // ASCII character or line feed in the same buffer, which is read and put
  // back as the loop below would.
  ZelName name;
  auto fromBytes = [&](auto unitWidth) {
    constexpr size_t width = decltype(unitWidth)::value;
    const UnitBytes<width> units(m_bytes, m_byteEnd, m_decoderMode);
    const unsigned char* const bytes = units.bytes;
    const size_t end = units.end;
    auto ascii = [&](size_t at) { return units.ascii(at); };
    const char16_t first = m_pushbackChar == kNoChar ? 0 : static_cast<char16_t>(m_pushbackChar);
    const size_t start = m_bytePos;
    if (first == 0 && !(start < end && ascii(start) && IsAsciiNameStart(bytes[start]))) return false;
    size_t pos = start;
    uint32_t hash = first != 0 ? NameHash(kNameHashStart, first) : kNameHashStart;
    while (pos < end && ascii(pos) && kAsciiNameChars.table[bytes[pos]]) {
      hash = NameHash(hash, bytes[pos]);
      pos += width;
    }
    const unsigned char after = pos < end && ascii(pos) ? bytes[pos] : 0;
    const size_t count = (pos - start) / width;
    if ((after < 0x20 && after != 0x0A && after != 0x09) ||
        count + (first != 0 ? 1 : 0) >= static_cast<size_t>(XmlLimits::kMaxNameLength))
      return false;
    m_columnNumber += static_cast<int>(count);
    if (after == 0x0A) {
      ++m_lineNumber;
      m_columnNumber = 0;
    } else {
      ++m_columnNumber;
    }
    m_bytePos = pos + width;
    m_pushbackChar = after;
    name = internBytes(first, bytes + start, count, width, hash);
    return true;
  };
  if (m_segments.empty() && m_crLookahead == kNoChar &&
      (m_pushbackChar == kNoChar || (m_pushbackChar < 0x80 && IsNameStart(m_pushbackChar)))) {
    if (m_decoderMode == 1 ? fromBytes(std::integral_constant<size_t, 1>())
                           : (m_decoderMode == 3 || m_decoderMode == 4) && fromBytes(std::integral_constant<size_t, 2>()))
      return name;
  }
  // The same from the text on top of the input (an entity's), which moves
  // no position.
  if (!m_segments.empty() && m_pushbackChar == kNoChar) {
    Segment& top = m_segments.back();
    const char16_t* text = top.text.getBuffer();
    const int32_t end = top.text.length();
    const int32_t start = top.index;
    if (start < end && text[start] < 0x80 && IsNameStart(text[start])) {
      int32_t at = start;
      while (at < end && text[at] < 0x80 && kAsciiNameChars.table[text[at]]) ++at;
      if (at < end && text[at] < 0x80 && at - start < XmlLimits::kMaxNameLength) {
        m_nameScratch.assign(text + start, static_cast<size_t>(at - start));
        m_pushbackChar = text[at];
        top.index = at + 1;
        return internName();
      }
    }
  }
  char32_t c = nextChar();
  if (!IsNameStart(c)) {
    putBack(c);
    return ZelName();
  }
  m_nameScratch.clear();
  for (;;) {
    if (static_cast<int>(m_nameScratch.size()) >= XmlLimits::kMaxNameLength) {
      reportLimit(u"name length");
      return internName();
    }
    if (c <= 0xFFFF) {
      m_nameScratch.push_back(static_cast<char16_t>(c));
    } else {
      m_nameScratch.push_back(static_cast<char16_t>(U16_LEAD(c)));
      m_nameScratch.push_back(static_cast<char16_t>(U16_TRAIL(c)));
    }
    // ASCII name characters straight from the byte buffer.
    if (readingBytes() && m_decoderMode == 1) {
      // Taken anew each time: the end of an external entity swaps buffers.
      const auto* bytes = reinterpret_cast<const unsigned char*>(m_bytes.data());
      const size_t have = m_nameScratch.size();
      const size_t most = static_cast<size_t>(XmlLimits::kMaxNameLength);
      const size_t room = most - std::min(have, most);
      const size_t limit = std::min(m_byteEnd, m_bytePos + room);
      size_t pos = m_bytePos;
      while (pos < limit && bytes[pos] < 0x80 && kAsciiNameChars.table[bytes[pos]]) ++pos;
      m_nameScratch.resize(have + (pos - m_bytePos));
      for (size_t i = m_bytePos, at = have; i < pos; ++i, ++at) m_nameScratch[at] = static_cast<char16_t>(bytes[i]);
      m_columnNumber += static_cast<int>(pos - m_bytePos);
      m_bytePos = pos;
    } else if (readingBytes() && (m_decoderMode == 3 || m_decoderMode == 4)) {
      // The same two bytes a unit.
      const auto* bytes = reinterpret_cast<const unsigned char*>(m_bytes.data());
      const size_t low = m_decoderMode == 4 ? 1 : 0;
      const size_t have = m_nameScratch.size();
      const size_t most = static_cast<size_t>(XmlLimits::kMaxNameLength);
      const size_t room = most - std::min(have, most);
      size_t units = 0;
      size_t pos = m_bytePos;
      while (units < room && pos + 1 < m_byteEnd && bytes[pos + 1 - low] == 0 && bytes[pos + low] < 0x80 &&
             kAsciiNameChars.table[bytes[pos + low]]) {
        m_nameScratch.push_back(static_cast<char16_t>(bytes[pos + low]));
        pos += 2;
        ++units;
      }
      m_columnNumber += static_cast<int>(units);
      m_bytePos = pos;
    }
    c = nextChar();
    if (!IsNameChar(c)) break;
  }
  putBack(c);
  return internName();
}

ZelName XmlParserImpl::internName() {
  uint32_t hash = kNameHashStart;
  for (char16_t u : m_nameScratch) hash = NameHash(hash, u);
  if (m_nameCache.empty()) m_nameCache.resize(kNameCacheSlots);
  CachedName* pair = &m_nameCache[NameCachePair(hash)];
  for (int way = 0; way < 2; ++way)
    if (pair[way].number != ZEL_NAME_EMPTY && pair[way].text == m_nameScratch) return ZelName(pair[way].number);
  ZelNameEnum number = ZelNameTable::getSharedNameEnum(
      UnicodeString(m_nameScratch.data(), static_cast<int32_t>(m_nameScratch.size())));
  // The newest first; the one it displaces stays second.
  std::swap(pair[0], pair[1]);
  pair[0].text = m_nameScratch;
  pair[0].number = number;
  return ZelName(number);
}

ZelName XmlParserImpl::internBytes(char16_t first, const unsigned char* bytes, size_t count, size_t stride,
                                   uint32_t hash) {
  auto intern = [&](auto step) {
    constexpr size_t kStride = decltype(step)::value;
    if (!m_nameCache.empty()) {
      const CachedName* pair = &m_nameCache[NameCachePair(hash)];
      const size_t skip = first != 0 ? 1 : 0;
      for (int way = 0; way < 2; ++way) {
        const CachedName& slot = pair[way];
        if (slot.number == ZEL_NAME_EMPTY || slot.text.size() != count + skip || (skip != 0 && slot.text[0] != first))
          continue;
        const char16_t* text = slot.text.data() + skip;
        size_t i = 0;
        while (i < count && text[i] == bytes[i * kStride]) ++i;
        if (i == count) return ZelName(slot.number);
      }
    }
    m_nameScratch.clear();
    if (first != 0) m_nameScratch.push_back(first);
    for (size_t i = 0; i < count; ++i) m_nameScratch.push_back(bytes[i * kStride]);
    return internName();
  };
  return stride == 1 ? intern(std::integral_constant<size_t, 1>()) : intern(std::integral_constant<size_t, 2>());
}

ZelName XmlParserImpl::internText(const UnicodeString& text) {
  m_nameScratch.assign(text.getBuffer(), static_cast<size_t>(text.length()));
  return internName();
}

bool XmlParserImpl::readQName(ZelName& prefix, ZelName& localName) {
  prefix = localName = ZelName();
  ZelName first = readName();
  if (first.isEmpty()) return false;
  char32_t c = nextChar();
  if (c != ':') {
    putBack(c);
    localName = first;
    return true;
  }
  prefix = first;
  localName = readName();
  return !localName.isEmpty();
}

// The text of an internal general entity; an external one has none here
// (it is read by expandGeneralEntity).
UnicodeString XmlParserImpl::lookupEntity(ZelName name) const {
  auto found = m_generalEntities.find(name);
  if (found != m_generalEntities.end()) return found->second;
  if (m_features[LENIENT_ENTITIES] || m_externalGeneralEntities.count(name) != 0) return UnicodeString();
  return ZelBogusString::BOGUS_VALUE;
}

bool XmlParserImpl::parseReference(char32_t& value, ZelName& entityName) {
  value = 0;
  entityName = ZelName();
  char32_t c = nextChar();
  if (c == '#') {
    UnicodeString digits;
    uint32_t base = 10;
    c = nextChar();
    if (c == 'x') {
      base = 16;
      digits.append(u'x');
      c = nextChar();
    }
    uint32_t v = 0;
    bool any = false;
    bool beyond = false;
    for (;; c = nextChar()) {
      uint32_t d;
      if (c >= '0' && c <= '9') d = c - '0';
      else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
      else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
      else break;
      any = true;
      digits.append(static_cast<UChar32>(c));
      // Past U+10FFFF the value can only stay wrong: stop adding, so that
      // no long run wraps around to a valid character.
      if (!beyond) {
        v = v * base + d;
        if (v > 0x10FFFF) beyond = true;
      }
    }
    if (!any || c != ';') {
      UnicodeString text = digits + Char(c);
      if (c != ';') putBack(c);
      reportError(IsSpace(c) ? 0x1831 : 0x1832, text);
      return false;
    }
    if (beyond || !IsXmlChar(v)) {
      reportError(0x1833, digits);
      return false;
    }
    value = v;
    return true;
  }
  putBack(c);
  ZelName name = readName();
  if (m_noEvent) return false;
  if (name.isEmpty()) {
    reportError(0x181B);
    return false;
  }
  c = nextChar();
  if (c != ';') {
    putBack(c);
    reportError(0x181C, name.toString() + Char(c));
    return false;
  }
  entityName = name;
  return true;
}

bool XmlParserImpl::readLiteral(UnicodeString& out, int mode) {
  out.remove();
  char32_t c;
  char32_t delimiter = 0;
  bool quoted = true;
  bool closed = false;
  // Whether out may hold "&", "<" or "%", which the scan below looks for.
  bool marked = true;
  // The common case from the bytes of UTF-8 or UTF-16 input: a quotation
  // mark (read already and put back, or the next unit), printable ASCII and
  // the same mark again in the buffer, taken whole as the loop below would
  // read it.
  auto quotedAscii = [&](auto unitWidth) {
    constexpr size_t width = decltype(unitWidth)::value;
    const UnitBytes<width> units(m_bytes, m_byteEnd, m_decoderMode);
    const unsigned char* const bytes = units.bytes;
    const size_t low = units.low, end = units.end;
    auto ascii = [&](size_t at) { return units.ascii(at); };
    size_t pos = m_bytePos;
    char32_t quote = m_pushbackChar;
    if (quote == kNoChar && pos < end && ascii(pos)) {
      quote = bytes[pos];
      pos += width;
    }
    if (quote != '"' && quote != '\'') return false;
    const size_t start = pos;
    bool marks = false;
    while (pos < end) {
#if defined(__SSE2__)
      if (end - pos >= 16) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes - low + pos));
        __m128i stops;
        __m128i found;
        if constexpr (width == 1) {
          // Controls and bytes above ASCII are below 0x20 as signed bytes.
          stops = _mm_or_si128(_mm_cmplt_epi8(block, _mm_set1_epi8(0x20)),
                               _mm_cmpeq_epi8(block, _mm_set1_epi8(static_cast<char>(quote))));
          found = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('&')),
                                            _mm_cmpeq_epi8(block, _mm_set1_epi8('<'))),
                               _mm_cmpeq_epi8(block, _mm_set1_epi8('%')));
        } else {
          if (low != 0) block = _mm_or_si128(_mm_slli_epi16(block, 8), _mm_srli_epi16(block, 8));
          // Units from 0x8000 up are below 0x20 as signed ones.
          stops = _mm_or_si128(_mm_or_si128(_mm_cmplt_epi16(block, _mm_set1_epi16(0x20)),
                                            _mm_cmpgt_epi16(block, _mm_set1_epi16(0x7F))),
                               _mm_cmpeq_epi16(block, _mm_set1_epi16(static_cast<int16_t>(quote))));
          found = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(block, _mm_set1_epi16('&')),
                                            _mm_cmpeq_epi16(block, _mm_set1_epi16('<'))),
                               _mm_cmpeq_epi16(block, _mm_set1_epi16('%')));
        }
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(stops));
        const unsigned within = mask == 0 ? 0xFFFFu : (1u << std::countr_zero(mask)) - 1;
        marks = marks || (static_cast<unsigned>(_mm_movemask_epi8(found)) & within) != 0;
        if (mask == 0) {
          pos += 16;
          continue;
        }
        pos += static_cast<size_t>(std::countr_zero(mask));
        break;
      }
#endif
      if (!ascii(pos) || bytes[pos] < 0x20 || bytes[pos] == quote) break;
      marks = marks || bytes[pos] == '&' || bytes[pos] == '<' || bytes[pos] == '%';
      pos += width;
    }
    if (pos >= end || !ascii(pos) || bytes[pos] != quote) return false;
    const size_t length = (pos - start) / width;
    if (static_cast<int64_t>(length) > 2 * static_cast<int64_t>(m_valueLimit)) return false;
    if (m_pushbackChar == kNoChar) ++m_columnNumber;
    m_pushbackChar = kNoChar;
    if (length > 0) {
      char16_t* units = out.getBuffer(static_cast<int32_t>(length));
      if (units == nullptr) throw std::bad_alloc();
      size_t i = 0;
      if (width == 2 && low == 0) {
        std::memcpy(units, bytes + start, 2 * length);
        i = length;
      }
#if defined(__SSE2__)
      if constexpr (width == 1) {
        for (; i + 16 <= length; i += 16) {
          const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + start + i));
          _mm_storeu_si128(reinterpret_cast<__m128i*>(units + i), _mm_unpacklo_epi8(block, _mm_setzero_si128()));
          _mm_storeu_si128(reinterpret_cast<__m128i*>(units + i + 8), _mm_unpackhi_epi8(block, _mm_setzero_si128()));
        }
      }
#endif
      for (; i < length; ++i) units[i] = bytes[start + i * width];
      out.releaseBuffer(static_cast<int32_t>(length));
    }
    m_columnNumber += static_cast<int>(length) + 1;
    m_bytePos = pos + width;
    delimiter = quote;
    marked = marks;
    return true;
  };
  const bool plainInput = m_segments.empty() && m_crLookahead == kNoChar;
  if (plainInput && (m_decoderMode == 1 ? quotedAscii(std::integral_constant<size_t, 1>())
                                        : (m_decoderMode == 3 || m_decoderMode == 4) &&
                                              quotedAscii(std::integral_constant<size_t, 2>()))) {
    closed = true;
  } else {
    c = nextChar();
    delimiter = c;
    quoted = c == '"' || c == '\'';
    if (!quoted) {
      putBack(c);
      delimiter = ' ';
      if (mode != 3 && mode != 4) reportError(0x182E);
    }
    // The raw text is read into out: most values have nothing to replace
    // and are done then.
    bool allSpace = true;
    for (;;) {
      if (quoted) readTextRun(out, delimiter, allSpace);
      // As written, references may make the text up to twice the value.
      if (out.length() > 2 * static_cast<int64_t>(m_valueLimit)) {
        out.remove();
        reportLimit(u"value length");
        return false;
      }
      c = nextChar();
      if (c == kEnd) break;
      if (c == delimiter) {
        closed = true;
        break;
      }
      out.append(static_cast<UChar32>(c));
    }
    if (!closed && mode != 3 && mode != 4) reportError(0x182F, Char(delimiter));
  }

  // No reference to replace: the raw text is the value, its white space
  // made spaces in place (an entity value keeps its white space: it is
  // normalised where the entity is referenced in an attribute value, if at
  // all). A large value is held once.
  bool plain = true;
  bool spaces = false;
  const char16_t* units = out.getBuffer();
  for (int32_t i = 0, n = marked ? out.length() : 0; i < n && plain; ++i) {
    char16_t u = units[i];
    spaces = spaces || ((u == '\t' || u == '\n' || u == '\r') && mode != 2);
    plain = ((u != '&' && u != '<') || (mode != 1 && mode != 2)) && (u != '%' || !m_entityValue);
  }
  if (plain) {
    if (out.length() > m_valueLimit) {
      out.remove();
      reportLimit(u"value length");
      return false;
    }
    if (spaces) {
      for (int32_t i = 0; i < out.length(); ++i) {
        char16_t u = out.charAt(i);
        if (u == '\t' || u == '\n' || u == '\r') out.setCharAt(i, u' ');
      }
    }
    if (mode == 4 && quoted) {
      out.insert(0, static_cast<UChar32>(delimiter));
      if (closed) out.append(static_cast<UChar32>(delimiter));
    }
    return closed;
  }

  if (mode == 1 && replaceSimpleReferences(out)) return closed;

  // Re-read the raw text as an input of its own whose end is the end of
  // input; references inside it push their texts above it.
  Segment literal;
  literal.text = std::move(out);
  out.remove();
  literal.literal = true;
  literal.savedLine = m_lineNumber;
  literal.savedColumn = m_columnNumber;
  if (m_pushbackChar != kNoChar) unreadText(UnicodeString(), ZelName());
  m_segments.push_back(std::move(literal));
  // The units of the text on top that need nothing done, in one run (each
  // taken while the value is within its bound, as the loop checks it).
  auto readRun = [&]() {
    if (m_pushbackChar != kNoChar || m_segments.empty()) return;
    Segment& top = m_segments.back();
    const char16_t* text = top.text.getBuffer();
    const int32_t end = top.text.length();
    int32_t at = top.index;
    if (at >= end) return;
    int32_t length = out.length();
    // A value grows by at least its own size when it must grow, so that one
    // built from many short entity texts is not copied once per text.
    const int32_t capacity = out.getCapacity();
    int32_t want = length + (end - at);
    if (want > capacity) want = std::max(want, capacity < (1 << 29) ? 2 * capacity : capacity);
    char16_t* units = out.getBuffer(want);
    if (units == nullptr) throw std::bad_alloc();
    while (at < end && length <= m_valueLimit) {
      char16_t u = text[at];
      if ((u == u'<' && mode == 1) || (u == u'&' && (mode == 1 || mode == 2)) || (u == u'%' && m_entityValue)) break;
      if ((u == 0x09 || u == 0x0A || u == 0x0D) && mode != 2) u = u' ';
      units[length++] = u;
      ++at;
      if (U16_IS_LEAD(u) && at < end && U16_IS_TRAIL(text[at])) units[length++] = text[at++];
    }
    out.releaseBuffer(length);
    top.index = at;
  };
  for (;;) {
    readRun();
    if ((c = nextChar()) == kEnd) break;
    if (out.length() > m_valueLimit) {
      reportLimit(u"value length");
      break;
    }
    if (c == '<' && mode == 1) {
      reportError(0x1830);
    } else if (c == '&' && (mode == 1 || mode == 2)) {
      char32_t value;
      ZelName name;
      if (!parseReference(value, name)) continue;
      if (name.isEmpty()) {
        out.append(static_cast<UChar32>(value));
      } else if (mode == 2) {
        out.append(u'&').append(name.toString()).append(u';');
      } else if (!appendPredefined(name, out, false)) {
        expandGeneralEntity(name, true);
      }
      continue;
    } else if (c == '%' && m_entityValue) {
      // Only an external entity's values may be built from parameter
      // entities; in the internal subset the reference is an error.
      if (m_internalSubset && m_inputStack.empty()) reportError(0x180C, Char(c));
      else expandParameterEntity(true);
      continue;
    } else if ((c == 0x09 || c == 0x0A || c == 0x0D) && mode != 2) {
      c = ' ';
    }
    out.append(static_cast<UChar32>(c));
  }
  if (out.length() > m_valueLimit && !m_noEvent) reportLimit(u"value length");
  // Take the literal off (a callback that closed the input took it already).
  while (!m_segments.empty()) {
    Segment& top = m_segments.back();
    bool wasLiteral = top.literal;
    if (wasLiteral) {
      m_lineNumber = top.savedLine;
      m_columnNumber = top.savedColumn;
    }
    m_segments.pop_back();
    if (wasLiteral) break;
  }
  if (mode == 4 && quoted) {
    out.insert(0, static_cast<UChar32>(delimiter));
    if (closed) out.append(static_cast<UChar32>(delimiter));
  }
  return closed;
}

bool XmlParserImpl::replaceSimpleReferences(UnicodeString& value) {
  if (m_entityValue || m_expansionStopped || value.length() > m_valueLimit) return false;
  static const ZelName kNames[] = {ZelName(UnicodeString(u"lt")), ZelName(UnicodeString(u"gt")),
                                   ZelName(UnicodeString(u"amp")), ZelName(UnicodeString(u"apos")),
                                   ZelName(UnicodeString(u"quot"))};
  static constexpr char16_t kChars[] = {u'<', u'>', u'&', u'\'', u'"'};
  static constexpr int32_t kTextLengths[] = {5, 1, 5, 1, 1};
  // The predefined entity a name of ASCII letters spells, or -1.
  auto predefined = [](const char16_t* name, int32_t length) {
    static constexpr const char16_t* kSpellings[] = {u"lt", u"gt", u"amp", u"apos", u"quot"};
    for (int i = 0; i < 5; ++i) {
      const char16_t* spelling = kSpellings[i];
      int32_t k = 0;
      while (k < length && spelling[k] != 0 && spelling[k] == name[k]) ++k;
      if (k == length && spelling[k] == 0) return i;
    }
    return -1;
  };
  // The reference at units[at] ("&" there): its length up to ";" and its
  // character in c, its entity in entity (-1 for a character reference);
  // 0 when it is of any other kind.
  auto parse = [&](const char16_t* units, int32_t at, int32_t end, char32_t& c, int& entity) -> int32_t {
    int32_t i = at + 1;
    entity = -1;
    if (i < end && units[i] == u'#') {
      ++i;
      uint32_t base = 10;
      if (i < end && units[i] == u'x') {
        base = 16;
        ++i;
      }
      uint32_t v = 0;
      const int32_t first = i;
      for (; i < end; ++i) {
        const char16_t u = units[i];
        uint32_t d;
        if (u >= '0' && u <= '9') d = u - '0';
        else if (base == 16 && u >= 'a' && u <= 'f') d = u - 'a' + 10;
        else if (base == 16 && u >= 'A' && u <= 'F') d = u - 'A' + 10;
        else break;
        v = v * base + d;
        if (v > 0x10FFFF) return 0;
      }
      if (i == first || i >= end || units[i] != u';' || !IsXmlChar(v)) return 0;
      c = v;
      return i + 1 - at;
    }
    const int32_t first = i;
    while (i < end && i - first < 5 && units[i] < 0x80 && kAsciiNameChars.table[units[i]]) ++i;
    if (i >= end || units[i] != u';') return 0;
    entity = predefined(units + first, i - first);
    if (entity < 0) return 0;
    c = kChars[entity];
    return i + 1 - at;
  };
  // First every reference is checked, and what the predefined ones would
  // count against the expansion budget.
  const char16_t* units = value.getBuffer();
  const int32_t end = value.length();
  int64_t units5 = 0;
  bool used[5] = {};
  for (int32_t at = 0; at < end; ++at) {
    if (units[at] == u'<') return false;
    if (units[at] != u'&') continue;
    char32_t c;
    int entity;
    const int32_t length = parse(units, at, end, c, entity);
    if (length == 0) return false;
    if (entity >= 0) {
      units5 += kTextLengths[entity];
      used[entity] = true;
    }
    at += length - 1;
  }
  const int64_t total = m_entityUnits + units5;
  if (units5 > 0) {
    if (total > XmlLimits::kMaxEntityUnits && total > XmlLimits::kMaxExpansionRatio * m_bytesRead) return false;
    if (openEntityCount() >= XmlLimits::kMaxOpenEntities) return false;
    for (int i = 0; i < 5; ++i)
      if (used[i] && isEntityOpen(kNames[i])) return false;
  }
  // Then the value is rewritten in place: no reference is shorter than
  // what it gives.
  char16_t* text = value.getBuffer(-1);
  if (text == nullptr) throw std::bad_alloc();
  int32_t out = 0;
  for (int32_t at = 0; at < end;) {
    const char16_t u = text[at];
    if (u != u'&') {
      text[out++] = u == 0x09 || u == 0x0A || u == 0x0D ? u' ' : u;
      ++at;
      continue;
    }
    char32_t c = 0;
    int entity;
    const int32_t length = parse(text, at, end, c, entity);
    at += length;
    if (entity >= 0 && !admitEntityText(kNames[entity], kTextLengths[entity])) continue;
    if (c <= 0xFFFF) {
      text[out++] = static_cast<char16_t>(c);
    } else {
      text[out++] = static_cast<char16_t>(U16_LEAD(c));
      text[out++] = static_cast<char16_t>(U16_TRAIL(c));
    }
  }
  value.releaseBuffer(out);
  return true;
}

// ---------------------------------------------------------------------------
// Tokens

int XmlParserImpl::classifyMarkup() {
  if (m_pendingMarkup == 1 || (m_pendingMarkup >= 3 && m_pendingMarkup <= 9)) return m_pendingMarkup;
  for (;;) {
    char32_t c = nextChar();
    int kind;
    if (c == '&') {
      kind = 6;
    } else if (c == '<') {
      char32_t d = nextChar();
      if (d == '!') kind = 8;
      else if (d == '/') kind = 4;
      else if (d == '?') kind = 7;
      else {
        putBack(d);
        kind = 3;
      }
    } else if (c == kEnd) {
      kind = 9;
    } else {
      putBack(c);
      kind = 5;
    }
    m_pendingMarkup = kind;
    return kind;
  }
}

ZelXmlParser::EventType XmlParserImpl::nextToken() {
  if (m_tokenStart == 0 && m_textBuffer.isBogus()) m_textBuffer.remove();
  m_textBuffer.truncate(m_tokenStart);
  m_cachedText.setToBogus();
  m_entityName = ZelName();
  m_charRef = 0;
  switch (m_eventType) {
    case START_DOCUMENT:
      startDocument();
      // A leading processing instruction is the first event; the XML
      // declaration is none.
      if (m_eventType != START_DOCUMENT) return m_eventType;
      break;
    case END_DOCUMENT:
      endDocument();
      return END_DOCUMENT;
    case START_TAG:
      if (m_pendingMarkup == 2) {
        m_pendingMarkup = 0;
        m_eventType = END_TAG;
        return END_TAG;
      }
      break;
    case END_TAG:
      m_namespaces->popScope();
      break;
    default:
      break;
  }
  // Constructs that produce no event (skipped sections, bad declarations, a
  // late XML declaration, a passed limit) leave the event as it was; reading
  // goes on to the next real token so that no event is delivered twice.
  for (;;) {
    m_noEvent = false;
    switch (classifyMarkup()) {
      case 3: parseStartTag(); break;
      case 4: parseEndTag(); break;
      case 5: parseText(); break;
      case 6: parseEntityRefEvent(); break;
      case 7: parsePI(); break;
      case 8: parseMarkupDecl(); break;
      default: endDocument(); return END_DOCUMENT;
    }
    if (!m_noEvent) return m_eventType;
    m_textBuffer.truncate(m_tokenStart);
  }
}

ZelXmlParser::EventType XmlParserImpl::next() {
  m_textBuffer.remove();
  m_tokenStart = 0;
  EventType event = nextToken();
  for (;;) {
    bool joins;
    switch (event) {
      case TEXT:
      case CDSECT:
        joins = true;
        break;
      case ENTITY_REF:
        if (!m_entityName.isEmpty()) {
          // "&amp;" and "&lt;" join as the character references their
          // texts hold would.
          const int32_t before = m_textBuffer.length();
          joins = appendPredefined(m_entityName, m_textBuffer, true);
          if (!joins) {
            expandGeneralEntity(m_entityName, false);
          } else if (m_textBuffer.length() == before) {
            joins = false;
          } else {
            m_entityName = ZelName();
            m_charRef = m_textBuffer.charAt(before);
            m_cachedText.setToBogus();
          }
        } else {
          joins = m_charRef != 0;
        }
        // A text made of references alone grows here and never passes
        // through parseText: its bound is checked as each one joins.
        if (joins && m_textBuffer.length() > m_valueLimit) {
          reportLimit(u"text length");
          m_textBuffer.remove();
          m_tokenStart = 0;
          event = nextToken();
          continue;
        }
        break;
      case IGNORABLE_WHITESPACE:
      case PROCESSING_INSTRUCTION:
      case COMMENT:
      case DOCDECL:
        joins = false;
        break;
      default:
        return event;
    }
    if (!joins) {
      m_textBuffer.truncate(m_tokenStart);
      if (m_tokenStart == 0) {
        event = nextToken();
        continue;
      }
    }
    m_eventType = TEXT;
    int kind = classifyMarkup();
    if (kind >= 5 && kind <= 8) {
      m_tokenStart = m_textBuffer.length();
      event = nextToken();
      continue;
    }
    m_tokenStart = 0;
    m_cachedText.setToBogus();
    return TEXT;
  }
}

void XmlParserImpl::startDocument() {
  m_pendingMarkup = 0;
  if (m_input == nullptr) return;
  m_lineNumber = 1;
  m_columnNumber = 0;
  detectByteOrder();
  char32_t c = nextChar();
  if (c == '<') {
    char32_t d = nextChar();
    if (d == '?') {
      parsePI();
      return;
    }
    putBack(d);
  }
  putBack(c);
}

// A target other than "xml" spelled in some other case, followed by white
// space or by the "?>" that ends the instruction.
void XmlParserImpl::checkPITarget(const UnicodeString& target) {
  UnicodeString lower(target);
  if (lower.toLower() == u"xml") reportError(0x182B, target);
  char32_t c = nextChar();
  char32_t d = c == '?' ? nextChar() : kNoChar;
  putBack(d);
  putBack(c);
  if (c != kEnd && !IsSpace(c) && !(c == '?' && d == '>')) reportError(0x182C, target);
}

void XmlParserImpl::endDocument() {
  bool first = m_eventType != END_DOCUMENT;
  m_pendingMarkup = 0;
  m_eventType = END_DOCUMENT;
  // Reported once: a callback that calls next from the report meets the end
  // again without a second report.
  if (first && getDepth() > 0) reportError(0x1801);
  m_pendingMarkup = 0;
  m_eventType = END_DOCUMENT;
  if (m_closeAtEnd) closeStream();
}

void XmlParserImpl::parseStartTag() {
  m_pendingMarkup = 0;
  m_eventType = START_TAG;
  m_emptyElementTag = false;
  if (getDepth() == 0 && m_rootSeen) reportError(0x1802);
  char32_t c = nextChar();
  putBack(c);
  if (IsSpace(c)) {
    reportError(0x180D, u"<");
    skipWhitespace();
  }
  ZelName prefix;
  ZelName local;
  if (!readQName(prefix, local)) reportError(0x1804);
  if (m_noEvent) return;  // a bound was passed
  if (getDepth() >= XmlLimits::kMaxDepth) return reportLimit(u"element depth");
  m_namespaces->pushScope();
  m_attributes.clear();
  // What the document's attribute-list declarations say of this element.
  const std::vector<AttributeDecl>* declared = nullptr;
  if (!m_attributeLists.empty()) {
    auto found = m_attributeLists.find(attributeListKey(prefix, local));
    if (found != m_attributeLists.end()) declared = &found->second;
  }
  auto declarationOf = [&](const Attribute& attribute) -> const AttributeDecl* {
    if (declared != nullptr)
      for (const AttributeDecl& decl : *declared)
        if (decl.prefix == attribute.prefix && decl.localName == attribute.localName) return &decl;
    return nullptr;
  };
  auto bindNamespace = [&](Attribute& attribute) {
    if (attribute.prefix == ZelName(NAME_XMLNS)) {
      // The two reserved prefixes keep their namespaces, no other prefix
      // takes them, and a prefix cannot be unbound in XML 1.0.
      const ZelName uri = internText(attribute.value);
      const bool xmlPrefix = attribute.localName == ZelName(NAME_XML);
      if (attribute.localName == ZelName(NAME_XMLNS) || xmlPrefix != (uri == ZelName(kXmlNamespaceName)) ||
          uri == ZelName(kXmlnsNamespaceName) || attribute.value.isEmpty())
        reportError(0x1809, QName(attribute.prefix, attribute.localName));
      m_namespaces->declarePrefix(attribute.localName, uri);
      attribute.namespaceName = kXmlnsNamespaceName;
    } else if (attribute.prefix.isEmpty() && attribute.localName == ZelName(NAME_XMLNS)) {
      const ZelName uri = internText(attribute.value);
      if (uri == ZelName(kXmlNamespaceName) || uri == ZelName(kXmlnsNamespaceName))
        reportError(0x1809, attribute.localName.toString());
      m_namespaces->declarePrefix(ZelName(), attribute.value.isEmpty() ? ZelName() : uri);
      attribute.namespaceName = kXmlnsNamespaceName;
    }
  };

  bool separated = (m_pushbackChar == kNoChar || IsSpace(m_pushbackChar)) && skipWhitespace();
  for (;;) {
    c = nextChar();
    if (c == '>') break;
    if (c == kEnd) {
      reportError(0x180C);
      break;
    }
    if (c == '/') {
      char32_t d = nextChar();
      if (d == '>') {
        m_emptyElementTag = true;
        m_pendingMarkup = 2;
        break;
      }
      if (d == kEnd) {
        reportError(0x180C);
        break;
      }
      if (IsSpace(d)) {
        putBack(d);
        reportError(0x180D, u"/");
      } else {
        reportError(0x180C, Char(d));
      }
      separated = skipWhitespace();
      continue;
    }
    if (!separated) {
      if (!IsNameStart(c)) {
        // Dropped; the tag goes on to its ">".
        reportError(0x180C, Char(c));
        separated = skipWhitespace();
        continue;
      }
      // Read on as if white space had been there.
      reportError(0x180B);
    }
    putBack(c);
    if (static_cast<int>(m_attributes.size()) >= XmlLimits::kMaxAttributes) return reportLimit(u"attribute count");
    Attribute attribute;
    const bool named = readQName(attribute.prefix, attribute.localName);
    if (m_noEvent) return;
    if (!named) {
      if (attribute.prefix.isEmpty() && attribute.localName.isEmpty()) {
        c = nextChar();
        reportError(0x1809, Char(c));
      } else {
        reportError(0x1809, attribute.prefix.toString() + u":");
      }
      separated = skipWhitespace();
      continue;
    }
    // A name read whole has put back what follows it: most often the "=".
    if (m_pushbackChar == kNoChar || IsSpace(m_pushbackChar)) skipWhitespace();
    c = nextChar();
    if (c != '=') {
      putBack(c);
      reportError(0x180A);
    }
    skipWhitespace();
    readLiteral(attribute.value, 1);
    if (m_noEvent) return;
    if (declared != nullptr) {
      const AttributeDecl* decl = declarationOf(attribute);
      if (decl != nullptr && decl->tokenized) CollapseTokens(attribute.value);
    }
    bindNamespace(attribute);
    m_attributes.push_back(std::move(attribute));
    separated = skipWhitespace();
  }
  // Declared defaults of attributes the tag leaves out, namespace
  // declarations among them.
  if (declared != nullptr) {
    for (const AttributeDecl& decl : *declared) {
      if (!decl.hasDefault) continue;
      bool written = false;
      for (const Attribute& attribute : m_attributes)
        written = written || (attribute.prefix == decl.prefix && attribute.localName == decl.localName);
      if (written) continue;
      Attribute supplied;
      supplied.prefix = decl.prefix;
      supplied.localName = decl.localName;
      supplied.value = decl.value;
      supplied.specified = false;
      bindNamespace(supplied);
      m_attributes.push_back(std::move(supplied));
    }
  }

  if (getDepth() == 1) {
    const ZelName xlink(UnicodeString(u"xlink"));
    const UnicodeString localText = local.toString();
    const char16_t* vocabulary = localText == u"svg" ? kSvgNamespace : localText == u"chart" ? kChartNamespace : nullptr;
    if (vocabulary != nullptr) {
      if (m_namespaces->getDefaultNamespace().isEmpty())
        m_namespaces->declarePrefix(ZelName(), ZelName(UnicodeString(vocabulary)));
      if (m_namespaces->getNamespaceUri(xlink).isEmpty())
        m_namespaces->declarePrefix(xlink, ZelName(UnicodeString(kXlinkNamespace)));
    }
  }

  ZelName namespaceName = m_namespaces->getNamespaceUri(prefix);
  if (!m_rootSeen) {
    m_rootNamespace = namespaceName;
    m_rootLocalName = local;
  }
  // The xmlns prefix is bound for declarations only.
  if ((namespaceName.isEmpty() && !prefix.isEmpty()) || prefix == ZelName(NAME_XMLNS))
    reportError(0x1807, prefix.toString());
  m_namespaces->setElementName(namespaceName, prefix, local);
  m_rootSeen = true;

  // Duplicates by (namespace, local name): a scan for short lists, a hash
  // for long ones, so that a tag costs linear time. Each later duplicate is
  // reported once.
  const size_t count = m_attributes.size();
  std::unordered_map<uint64_t, size_t> seen;
  if (count > 8) seen.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    Attribute& attribute = m_attributes[i];
    if (!attribute.prefix.isEmpty() && attribute.namespaceName.isEmpty()) {
      attribute.namespaceName = m_namespaces->getNamespaceUri(attribute.prefix);
      if (attribute.namespaceName.isEmpty()) {
        if (m_features[LENIENT_PREFIXES]) attribute.namespaceName = attribute.prefix;
        else reportError(0x1807, attribute.prefix.toString());
      }
    }
    if (i >= m_attributes.size()) break;  // a callback reset the parser
    bool duplicate = false;
    if (count <= 8) {
      for (size_t j = 0; j < i && !duplicate; ++j)
        duplicate = m_attributes[j].localName == attribute.localName &&
                    m_attributes[j].namespaceName == attribute.namespaceName;
    } else {
      uint64_t key = (static_cast<uint64_t>(static_cast<uint32_t>(attribute.namespaceName)) << 32) |
                     static_cast<uint32_t>(static_cast<ZelNameEnum>(attribute.localName));
      duplicate = !seen.emplace(key, i).second;
    }
    if (duplicate) reportError(0x1808, QName(attribute.prefix, attribute.localName));
  }
}

void XmlParserImpl::parseEndTag() {
  m_pendingMarkup = 0;
  m_eventType = END_TAG;
  char32_t c = nextChar();
  putBack(c);
  if (IsSpace(c)) {
    reportError(0x180D, u"</");
    skipWhitespace();
  }
  ZelName prefix;
  ZelName local;
  if (!readQName(prefix, local)) reportError(0x1805);
  if (m_noEvent) return;
  ZelName openPrefix = m_namespaces->getElementPrefix();
  ZelName openLocal = m_namespaces->getElementLocalName();
  if (prefix != openPrefix || local != openLocal)
    reportError(0x1806, QName(prefix, local), QName(openPrefix, openLocal));
  if (m_pushbackChar == kNoChar || IsSpace(m_pushbackChar)) skipWhitespace();
  c = nextChar();
  if (c != '>') reportError(0x180C, Char(c));
}

// Plain text straight from the byte buffer while nothing is put back and
// the input is UTF-8 or UTF-16LE: every character but the markup starters
// and "]" (in a literal: its delimiter), CR and the other controls, and the
// code points the reader treats apart (U+0085, U+2028, U+FFFE, U+FFFF) goes
// in, with the position kept as readChar keeps it. It stops at anything
// else, which the character loop then reads, and after the character that
// makes out longer than limit, as a loop that checks each one would.
void XmlParserImpl::readTextRun(UnicodeString& out, char32_t delimiter, bool& allSpace, int32_t limit) {
  if (m_pushbackChar != kNoChar) return;
  while (!m_segments.empty()) {
    // A text put back (an entity's) is read in the same runs: its units
    // were checked when it was made, and reading it moves no position. One
    // read to its end goes on below it, as readChar would.
    Segment& top = m_segments.back();
    const char16_t* text = top.text.getBuffer();
    const int32_t end = top.text.length();
    int32_t at = top.index;
    if (at >= end) {
      if (top.literal) return;
      m_segments.pop_back();
      continue;
    }
    const int32_t from = at;
    const int32_t room = limit - out.length();
    while (at < end && at - from <= room) {
      const char16_t u = text[at];
      if (delimiter == 0 ? (u == u'<' || u == u'&' || u == u']') : u == delimiter) break;
      if (!IsSpace(u)) allSpace = false;
      at += U16_IS_LEAD(u) && at + 1 < end && U16_IS_TRAIL(text[at + 1]) ? 2 : 1;
    }
    if (at != from) out.append(text, from, at - from);
    top.index = at;
    if (at < end || out.length() > limit) return;
  }
  if (m_crLookahead != kNoChar) return;
  if (m_decoderMode != 1 && m_decoderMode != 3 && m_decoderMode != 4) return;
  size_t pos = m_bytePos;
  const size_t end = m_byteEnd;
  if (pos >= end) return;
  const auto* bytes = reinterpret_cast<const unsigned char*>(m_bytes.data());
  // The units go straight into the string's buffer, which grows by half
  // again when full; nothing else touches the string until it is released.
  int32_t length = out.length();
  char16_t* units = out.getBuffer(-1);
  if (units == nullptr) return;
  int32_t capacity = out.getCapacity();
  auto reserve = [&](int32_t more) {
    if (capacity - length >= more) return;
    out.releaseBuffer(length);
    units = out.getBuffer(std::max(length + more, capacity + capacity / 2));
    if (units == nullptr) throw std::bad_alloc();
    capacity = out.getCapacity();
  };
  // Ends the run before an ASCII unit that ends it; else counts it.
  auto takeAscii = [&](unsigned b) {
    if (delimiter == 0 ? (b == '<' || b == '&' || b == ']') : b == delimiter) return false;
    if (b < 0x20 && b != '\n' && b != '\t') return false;
    if (b == '\n') {
      ++m_lineNumber;
      m_columnNumber = 0;
    } else {
      ++m_columnNumber;
      if (b != ' ' && b != '\t') allSpace = false;
    }
    return true;
  };
  // UTF-16 in either byte order, each its own loop.
  auto run16 = [&](auto order) {
    constexpr bool bigEndian = decltype(order)::value;
    while (pos + 1 < end && length <= limit) {
#if defined(__SSE2__)
      // Eight units at a time while they are printable ASCII that ends
      // nothing: the bytes are the units (swapped in big-endian input).
      if (end - pos >= 16) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + pos));
        if constexpr (bigEndian) block = _mm_or_si128(_mm_slli_epi16(block, 8), _mm_srli_epi16(block, 8));
        const __m128i printable = _mm_and_si128(_mm_cmpgt_epi16(block, _mm_set1_epi16(0x1F)),
                                                _mm_cmplt_epi16(block, _mm_set1_epi16(0x80)));
        __m128i stops;
        if (delimiter == 0)
          stops = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(block, _mm_set1_epi16('<')),
                                            _mm_cmpeq_epi16(block, _mm_set1_epi16('&'))),
                               _mm_cmpeq_epi16(block, _mm_set1_epi16(']')));
        else
          stops = _mm_cmpeq_epi16(block, _mm_set1_epi16(static_cast<int16_t>(delimiter)));
        const unsigned plain = static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(stops, printable)));
        const int32_t count =
            static_cast<int32_t>(std::min<int64_t>((plain == 0xFFFF ? 16 : std::countr_one(plain)) / 2,
                                                   static_cast<int64_t>(limit) - length + 1));
        if (count > 0) {
          const unsigned taken = count == 8 ? 0xFFFFu : (1u << (2 * count)) - 1;
          const unsigned spaces =
              static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(block, _mm_set1_epi16(' ')))) & taken;
          if (spaces != taken) allSpace = false;
          reserve(count);
          if constexpr (bigEndian) {
            char16_t wide[8];
            _mm_storeu_si128(reinterpret_cast<__m128i*>(wide), block);
            std::memcpy(units + length, wide, 2 * static_cast<size_t>(count));
          } else {
            std::memcpy(units + length, bytes + pos, 2 * static_cast<size_t>(count));
          }
          length += count;
          m_columnNumber += count;
          pos += 2 * static_cast<size_t>(count);
          continue;
        }
      }
#endif
      const unsigned u = bigEndian ? (static_cast<unsigned>(bytes[pos]) << 8) | bytes[pos + 1]
                                   : bytes[pos] | (static_cast<unsigned>(bytes[pos + 1]) << 8);
      if (u < 0x80) {
        if (!takeAscii(u)) break;
      } else {
        if ((u >= 0xD800 && u <= 0xDFFF) || u == 0x85 || u == 0x2028 || u == 0xFFFE || u == 0xFFFF) break;
        ++m_columnNumber;
        allSpace = false;
      }
      reserve(1);
      units[length++] = static_cast<char16_t>(u);
      pos += 2;
    }
  };
  if (m_decoderMode == 3) run16(std::false_type());
  else if (m_decoderMode == 4) run16(std::true_type());
  while (m_decoderMode == 1 && pos < end && length <= limit) {
#if defined(__SSE2__)
    // Sixteen bytes at a time while they are printable ASCII that ends
    // nothing: copied as they are, one column each.
    if (end - pos >= 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + pos));
      const __m128i printable = _mm_cmpgt_epi8(block, _mm_set1_epi8(0x1F));
      __m128i stops;
      if (delimiter == 0)
        stops = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('<')),
                                          _mm_cmpeq_epi8(block, _mm_set1_epi8('&'))),
                             _mm_cmpeq_epi8(block, _mm_set1_epi8(']')));
      else
        stops = _mm_cmpeq_epi8(block, _mm_set1_epi8(static_cast<char>(delimiter)));
      const unsigned plain = static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(stops, printable)));
      const int32_t count = static_cast<int32_t>(
          std::min<int64_t>(plain == 0xFFFF ? 16 : std::countr_one(plain), static_cast<int64_t>(limit) - length + 1));
      if (count > 0) {
        const unsigned taken = count == 16 ? 0xFFFFu : (1u << count) - 1;
        const unsigned spaces =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(' ')))) & taken;
        if (spaces != taken) allSpace = false;
        const __m128i zero = _mm_setzero_si128();
        char16_t wide[16];
        char16_t* to = capacity - length >= 16 ? units + length : wide;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_unpacklo_epi8(block, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 8), _mm_unpackhi_epi8(block, zero));
        if (to == wide) {
          reserve(count);
          std::memcpy(units + length, wide, sizeof(char16_t) * static_cast<size_t>(count));
        }
        length += count;
        m_columnNumber += count;
        pos += static_cast<size_t>(count);
        continue;
      }
    }
#endif
    unsigned b = bytes[pos];
    if (b < 0x80) {
      if (!takeAscii(b)) break;
      reserve(1);
      units[length++] = static_cast<char16_t>(b);
      ++pos;
      continue;
    }
    if ((b & 0xF0) == 0xE0) {
      // Three-byte characters (most of CJK text) in a loop of their own,
      // with the same checks.
      const size_t first = pos;
      while (pos + 2 < end && length <= limit && (bytes[pos] & 0xF0) == 0xE0) {
        const unsigned second = bytes[pos + 1];
        const unsigned third = bytes[pos + 2];
        if ((second & 0xC0) != 0x80 || (third & 0xC0) != 0x80) break;
        const char32_t cp = ((bytes[pos] & 0x0Fu) << 12) | ((second & 0x3Fu) << 6) | (third & 0x3Fu);
        if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF) || cp == 0x2028 || cp >= 0xFFFE) break;
        reserve(1);
        units[length++] = static_cast<char16_t>(cp);
        pos += 3;
      }
      if (pos != first) {
        m_columnNumber += static_cast<int>((pos - first) / 3);
        allSpace = false;
        continue;
      }
    }
    size_t need = (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : 0;
    if (need == 0 || pos + need >= end) break;
    char32_t cp = b & (need == 1 ? 0x1F : need == 2 ? 0x0F : 0x07);
    bool valid = true;
    for (size_t i = 1; i <= need; ++i) {
      unsigned n = bytes[pos + i];
      valid = valid && (n & 0xC0) == 0x80;
      cp = (cp << 6) | (n & 0x3F);
    }
    static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (!valid || cp < kLeast[need] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) || cp == 0x85 ||
        cp == 0x2028 || cp == 0xFFFE || cp == 0xFFFF)
      break;
    ++m_columnNumber;
    allSpace = false;
    reserve(2);
    if (cp <= 0xFFFF) {
      units[length++] = static_cast<char16_t>(cp);
    } else {
      units[length++] = static_cast<char16_t>(U16_LEAD(cp));
      units[length++] = static_cast<char16_t>(U16_TRAIL(cp));
    }
    pos += need + 1;
  }
  out.releaseBuffer(length);
  m_bytePos = pos;
}

void XmlParserImpl::parseText() {
  m_pendingMarkup = 0;
  m_eventType = TEXT;
  const bool topLevel = getDepth() == 0;
  auto reportTopLevel = [&](char32_t c) {
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X (", static_cast<unsigned>(c == kEnd ? 0xFFFF : c));
    reportError(0x180E, UnicodeString(code, -1, US_INV) + Char(c) + u")");
  };
  bool allSpace = true;
  char32_t c;
  for (;;) {
    if (!topLevel) readTextRun(m_textBuffer, 0, allSpace);
    if (m_textBuffer.length() > m_valueLimit) return reportLimit(u"text length");
    c = nextChar();
    if (c == '<' || c == '&' || c == kEnd) break;
    if (c == ']') {
      char32_t d = nextChar();
      if (d == ']') {
        char32_t e = nextChar();
        if (e == '>') reportError(0x1810);
        putBack(e);
      }
      putBack(d);
    }
    if (!IsSpace(c)) {
      allSpace = false;
      if (topLevel) reportTopLevel(c);
    }
    m_textBuffer.append(static_cast<UChar32>(c));
  }
  putBack(c);
  if (topLevel) {
    if (allSpace) m_eventType = IGNORABLE_WHITESPACE;
    else reportTopLevel(c);
  }
}

void XmlParserImpl::parseEntityRefEvent() {
  m_pendingMarkup = 0;
  m_eventType = ENTITY_REF;
  char32_t value;
  ZelName name;
  if (!parseReference(value, name)) return;
  if (name.isEmpty()) {
    m_textBuffer.append(static_cast<UChar32>(value));
    m_charRef = value;
  } else {
    m_entityName = name;
  }
}

void XmlParserImpl::parseCData() {
  m_eventType = CDSECT;
  int brackets = 0;
  bool unused = false;
  for (;;) {
    // Up to the next "]" in bulk; the brackets go through the loop.
    if (brackets == 0) {
      const int32_t before = m_textBuffer.length();
      readTextRun(m_textBuffer, ']', unused, m_valueLimit);
      if (m_textBuffer.length() != before && m_textBuffer.length() > m_valueLimit)
        return reportLimit(u"text length");
    }
    char32_t c = nextChar();
    if (c == kEnd) {
      reportError(0x1811);
      break;
    }
    if (c == '>' && brackets >= 2) {
      m_textBuffer.truncate(m_textBuffer.length() - 2);
      break;
    }
    brackets = c == ']' ? brackets + 1 : 0;
    m_textBuffer.append(static_cast<UChar32>(c));
    // The brackets that may end the section are not counted yet.
    if (m_textBuffer.length() - brackets > m_valueLimit) return reportLimit(u"text length");
  }
}

void XmlParserImpl::parseComment() {
  m_eventType = COMMENT;
  bool unused = false;
  for (;;) {
    // Up to the next "-" in bulk; the limit is checked below, once the
    // character after the run is read.
    readTextRun(m_textBuffer, '-', unused, m_valueLimit);
    char32_t c = nextChar();
    if (c == kEnd) {
      reportError(0x1812);
      return;
    }
    if (m_textBuffer.length() > m_valueLimit) return reportLimit(u"value length");
    if (c != '-') {
      m_textBuffer.append(static_cast<UChar32>(c));
      continue;
    }
    char32_t d = nextChar();
    if (d != '-') {
      m_textBuffer.append(u'-');
      putBack(d);
      continue;
    }
    // "--": only ">" may follow. Further hyphens belong to the same fault,
    // reported once; "--->" still ends the comment at its ">".
    bool reported = false;
    for (;;) {
      char32_t e = nextChar();
      if (e == '>') return;
      if (e == kEnd) {
        reportError(0x1812);
        return;
      }
      if (!reported) {
        reportError(0x1813);
        reported = true;
      }
      if (e != '-') break;
    }
  }
}

// Past a bracketed section that is not CDATA, up to "]>".
void XmlParserImpl::skipSection() {
  char32_t previous = 0;
  for (;;) {
    char32_t c = nextChar();
    if (c == kEnd) {
      reportError(0x1811);
      return;
    }
    if (c == '>' && previous == ']') return;
    previous = c;
  }
}

// Past a declaration not understood, up to the ">" that closes it outside
// quotes and brackets.
void XmlParserImpl::skipDeclaration() {
  char32_t quote = 0;
  int brackets = 0;
  for (;;) {
    char32_t c = nextChar();
    if (c == kEnd) return;
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '[') {
      ++brackets;
    } else if (c == ']') {
      if (brackets > 0) --brackets;
    } else if (c == '>' && brackets == 0) {
      return;
    }
  }
}

void XmlParserImpl::parseMarkupDecl() {
  m_pendingMarkup = 0;
  char32_t c = nextChar();
  if (c == '[') {
    ZelName keyword = readName();
    if (keyword.toString() == u"CDATA") {
      char32_t d = nextChar();
      if (d == '[') return parseCData();
      putBack(d);
      reportError(0x1828);
    } else {
      reportError(0x180F, keyword.toString());
    }
    m_noEvent = true;
    return skipSection();
  }
  if (c == '-') {
    char32_t d = nextChar();
    if (d == '-') return parseComment();
    putBack(d);
    reportError(0x1829);
    m_noEvent = true;
    return skipDeclaration();
  }
  putBack(c);
  ZelName keyword = readName();
  if (keyword.toString() == u"DOCTYPE") return parseDoctypeDecl();
  reportError(0x182A, keyword.toString());
  m_noEvent = true;
  skipDeclaration();
}

void XmlParserImpl::parsePI() {
  m_pendingMarkup = 0;
  ZelName target = readName();
  if (m_noEvent) return;
  const UnicodeString& name = target.toString();
  if (name == u"xml") return parseXmlDecl();
  m_eventType = PROCESSING_INSTRUCTION;
  m_textBuffer.append(name);
  checkPITarget(name);
  char32_t c = nextChar();
  if (c == '?') {
    char32_t d = nextChar();
    if (d == '>') return;
    putBack(d);
  }
  if (c == kEnd) {
    reportError(0x182D);
    return;
  }
  m_textBuffer.append(static_cast<UChar32>(c));
  bool question = c == '?';
  for (;;) {
    c = nextChar();
    if (c == kEnd) {
      reportError(0x182D);
      return;
    }
    if (c == '>' && question) {
      m_textBuffer.truncate(m_textBuffer.length() - 1);
      return;
    }
    question = c == '?';
    m_textBuffer.append(static_cast<UChar32>(c));
    if (m_textBuffer.length() - (question ? 1 : 0) > m_valueLimit) return reportLimit(u"value length");
  }
}

// "=" and the quoted value of a declaration's pseudo-attribute; `what`
// names it in the report of a missing "=".
void XmlParserImpl::readDeclValue(const char16_t* what, UnicodeString& value) {
  skipWhitespace();
  char32_t c = nextChar();
  if (c != '=') {
    putBack(c);
    reportError(0x1823, UnicodeString(what));
  }
  skipWhitespace();
  readLiteral(value, 0);
}

void XmlParserImpl::parseXmlDecl() {
  // The declaration is no event: the token reader goes on past it.
  m_noEvent = true;
  if (m_eventType != START_DOCUMENT) reportError(0x1821);
  m_pendingMarkup = 0;
  if (!skipWhitespace()) reportError(0x1824, u"<?xml");
  UnicodeString value;
  ZelName name = readName();
  if (name.toString() != u"version") reportError(0x1822);
  readDeclValue(u"<?xml version", value);
  if (value != u"1.0" && value != u"1.1") reportError(0x1826, value);

  bool space = skipWhitespace();
  name = readName();
  if (name.toString() == u"encoding") {
    if (!space) reportError(0x1825, u"encoding=");
    readDeclValue(u"encoding", value);
    const int oldMode = m_decoderMode;
    const UnicodeString oldEncoding = m_inputEncoding;
    const bool hadConverter = static_cast<bool>(m_converter);
    switchEncoding(value);
    if (m_decoderMode != oldMode && (hadConverter || !m_converter)) {
      bool compatible = ((oldMode == 3 || oldMode == 4) && m_decoderMode == 2) ||
                        ((oldMode == 6 || oldMode == 7) && m_decoderMode == 5);
      if (m_byteOrderMarkSeen && !compatible) reportError(0x1839, value);
      if (oldMode >= 2 && oldMode <= 7) {
        m_decoderMode = oldMode;
        m_inputEncoding = oldEncoding;
      }
    }
    space = skipWhitespace();
    name = readName();
  }
  if (name.toString() == u"standalone") {
    if (!space) reportError(0x1825, u"standalone=");
    readDeclValue(u"standalone", value);
    if (value != u"yes" && value != u"no") reportError(0x1827);
  }
  skipWhitespace();
  // Step over the rest of a declaration not closed where it should be.
  for (char32_t c = readDeclEnd(); c != kNoChar && c != kEnd && c != '>';) c = nextChar();
  m_xmlDeclSeen = true;
}

}  // namespace ObraCommon
