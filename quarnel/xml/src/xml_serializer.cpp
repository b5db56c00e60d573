// The library's own XML writer: a state machine over an output stream, the
// namespace scopes of the open elements, and the escaping and encoding of
// every character it writes.
#include "xml_serializer_impl.h"

#include <cstdio>
#include <new>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <unicode/locid.h>
#include <unicode/uchar.h>

#include "error_raise.h"
#include "quarnel/library.h"
#include "quarnel/file_stream.h"
#include "quarnel/xml_parser.h"
#include "xml_names.h"

namespace ObraCommon {

namespace {

constexpr int kOriginSetOutput = 19;
constexpr int kOriginStartDocument = 20;
constexpr int kOriginAttributeSub = 21;
constexpr int kOriginEndTag = 22;
constexpr int kOriginNone = 23;
constexpr int kOriginCheckStream = 24;

constexpr uint16_t kErrNotWritable = 2065;

bool isHigh(UChar u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLow(UChar u) { return u >= 0xDC00 && u <= 0xDFFF; }

UnicodeString codePointLabel(UChar32 c) {
  char label[16];
  std::snprintf(label, sizeof label, "U+%04X", static_cast<unsigned>(c));
  return UnicodeString(label, -1, US_INV);
}

UnicodeString defaultGenerator() {
  return UnicodeString(u"Quarnel XML writer, library version ")
      .append(UnicodeString(std::to_string(getLibVersion()).c_str(), -1, US_INV))
      .append(u", built " __DATE__ ", Linux");
}

// The character at text[i] as a code point the output may carry: a pair is
// joined (i moves past its second half), a lone surrogate and the two
// non-characters U+FFFE and U+FFFF become U+FFFD.
UChar32 nextCodePoint(const UChar* text, int length, int& i) {
  UChar u = text[i];
  if (isHigh(u) && i + 1 < length && isLow(text[i + 1])) {
    ++i;
    return U16_GET_SUPPLEMENTARY(u, text[i]);
  }
  if ((u >= 0xD800 && u <= 0xDFFF) || u == 0xFFFE || u == 0xFFFF) return 0xFFFD;
  return u;
}

// The units below 0x80 that writeText copies as they are, by escape mode:
// none, text, attribute value. Every other unit takes the full rules.
struct PlainUnits {
  bool none[128] = {};
  bool text[128] = {};
  bool attribute[128] = {};
  constexpr PlainUnits() {
    for (int u = 0; u < 128; ++u) {
      const bool shown = u >= 0x20 || u == 9 || u == 10;
      none[u] = shown || u == 13;
      text[u] = shown && u != '&' && u != '<' && u != '>';
      attribute[u] = text[u] && u != '"' && u != 9 && u != 10;
    }
  }
};
constexpr PlainUnits kPlainUnits;

}  // namespace

XmlSerializerImpl::XmlSerializerImpl()
    : m_state(0),
      m_output(nullptr),
      m_ownsOutput(false),
      m_outputFailed(false),
      m_shiftJis(false),
      m_converter(nullptr) {
  reset();
  m_generator = defaultGenerator();
  m_declaredText.setToBogus();
}

XmlSerializerImpl::~XmlSerializerImpl() {
  close();
  if (m_converter != nullptr) ucnv_close(m_converter);
}

unsigned int XmlSerializerImpl::getTypeID() const { return getStaticTypeID(); }
bool XmlSerializerImpl::isA(unsigned int id) const { return id == getStaticTypeID() || ZelXmlSerializer::isA(id); }
UnicodeString XmlSerializerImpl::getTypeName() const { return UnicodeString(u"XmlSerializerImpl"); }

void XmlSerializerImpl::reset() {
  if (m_namespaces)
    while (m_namespaces->popScope()) {
    }
  else
    m_namespaces = new NamespaceManager();
  m_output = nullptr;
  m_ownsOutput = false;
  m_state = 0;
}

void XmlSerializerImpl::close() {
  if (m_output != nullptr) {
    try {
      flush();
    } catch (const ZelError&) {
      m_outputFailed = true;
    }
    // What a refused flush left behind still goes out.
    drain();
    if (!m_output->good()) m_outputFailed = true;
    if (m_ownsOutput) {
      auto* file = static_cast<ZelOFileStream*>(m_output);
      file->close();
      if (file->fail()) m_outputFailed = true;
      delete file;
    }
  }
  m_out.size = 0;
  m_batching = false;
  m_ownsOutput = false;
  m_output = nullptr;
  m_state = 4;
}

void XmlSerializerImpl::refuseStream() const {
  if (m_output == nullptr) throwIOError(4101, kOriginCheckStream);
  throwIOError(4103, kOriginCheckStream);
}

void XmlSerializerImpl::setOutput(std::ostream* output, const UnicodeString& encoding) {
  close();
  reset();
  m_outputFailed = false;
  m_output = output;
  checkStream();
  m_state = 1;
  m_encoding = encoding;
}

void XmlSerializerImpl::setOutput(const UnicodeString& fileName, const UnicodeString& encoding) {
  close();
  reset();
  m_outputFailed = false;
  UnicodeString path(fileName);
  auto* file = new ZelOFileStream();
  file->open(path.getTerminatedBuffer(),
             static_cast<int>(std::ios_base::out | std::ios_base::binary | std::ios_base::trunc));
  if (!file->is_open() || file->fail()) {
    delete file;
    throwIOError(4099, kOriginSetOutput, fileName);
  }
  m_ownsOutput = true;
  m_output = file;
  checkStream();
  m_state = 1;
  m_encoding = encoding;
}

void XmlSerializerImpl::startDocument(const UnicodeString& encoding, const UnicodeString& standalone) {
  if (m_state != 1) throwLibraryError(2060, kOriginStartDocument);
  if (!encoding.isEmpty()) m_encoding = encoding;
  m_encoding.trim().toUpper(icu::Locale::getRoot());
  m_shiftJis = false;
  if (m_encoding == u"SHIFT-JIS" || m_encoding == u"SHIFT_JIS") {
    m_encoding = u"SHIFT_JIS";
    m_shiftJis = true;
  } else if (m_encoding != u"UTF-8") {
    m_encoding.remove();
  }
  if (m_shiftJis && m_converter == nullptr) {
    UErrorCode status = U_ZERO_ERROR;
    m_converter = ucnv_open("cp932", &status);
    if (U_FAILURE(status)) {
      m_converter = nullptr;
      throw std::bad_alloc();
    }
    ucnv_setFromUCallBack(m_converter, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    ucnv_setToUCallBack(m_converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  }
  checkStream();
  writeRaw("<?xml version=\"1.0\"", -1);
  if (!m_encoding.isEmpty()) {
    writeRaw(" encoding=\"", -1);
    writeText(m_encoding, kEscapeNone);
    writeChar('"');
  }
  if (!standalone.isEmpty()) {
    writeRaw(" standalone=\"", -1);
    writeText(standalone, kEscapeNone);
    writeChar('"');
  }
  writeRaw("?>", -1);
  if (!m_generator.isEmpty()) {
    writeRaw("<!-- ", -1);
    writeText(m_generator, kEscapeNone);
    writeRaw(" -->", -1);
  }
  m_state = 2;
}

void XmlSerializerImpl::docdecl(const UnicodeString& text) {
  if (m_state != 2) throwLibraryError(2064, kOriginNone);
  checkStream();
  writeRaw("<!DOCTYPE", -1);
  if (text.isEmpty() || !u_isUWhiteSpace(text.charAt(0))) writeChar(' ');
  writeText(text, kEscapeNone);
  writeChar('>');
}

void XmlSerializerImpl::setPrefix(ZelName prefix, ZelName namespaceUri) {
  closeStartTag(false);
  if (m_state != 5) m_namespaces->pushScope();
  m_namespaces->declarePrefix(prefix, namespaceUri);
  m_state = 5;
}

bool XmlSerializerImpl::declaredHere(ZelName prefix) const {
  int depth = m_namespaces->getDepth();
  int count = m_namespaces->getNamespaceCount(depth);
  for (int i = 0; i < count; ++i)
    if (m_namespaces->getDeclaredPrefix(i) == prefix) return true;
  return false;
}

ZelName XmlSerializerImpl::declareGenerated(ZelName uri) {
  // Generated identifiers start with "-", which no name may; the prefix
  // keeps the number and starts with letters.
  for (;;) {
    UnicodeString id = ZelName::generateID(UnicodeString(u"ns")).toString();
    ZelName prefix(UnicodeString(id, 1));
    if (m_namespaces->getNamespaceUri(prefix).isEmpty()) {
      m_namespaces->declarePrefix(prefix, uri);
      return prefix;
    }
  }
}

ZelName XmlSerializerImpl::getPrefix(ZelName namespaceUri, bool generatePrefix) {
  if (namespaceUri.isEmpty()) return ZelName();
  // A prefix an inner scope rebound no longer means this namespace.
  ZelName prefix = m_namespaces->getPrefix(namespaceUri);
  if (!prefix.isEmpty() && m_namespaces->getNamespaceUri(prefix) == namespaceUri) return prefix;
  if (m_namespaces->getDefaultNamespace() == namespaceUri) return ZelName();
  if (!generatePrefix) return ZelName();
  return declareGenerated(namespaceUri);
}

ZelName XmlSerializerImpl::attributePrefix(ZelName uri, ZelName wanted) {
  if (!wanted.isEmpty() && wanted != NAME_XMLNS) {
    if (m_namespaces->getNamespaceUri(wanted) == uri) return wanted;
    // A prefix nothing binds yet can be declared here without moving the
    // element or an attribute already written.
    if (wanted != NAME_XML && uri != kXmlNamespaceName && !m_namespaces->isPrefixDeclared(wanted)) {
      m_namespaces->declarePrefix(wanted, uri);
      return wanted;
    }
  }
  if (uri == kXmlNamespaceName) return ZelName(NAME_XML);
  ZelName prefix = m_namespaces->getPrefix(uri);
  if (!prefix.isEmpty() && m_namespaces->getNamespaceUri(prefix) == uri) return prefix;
  return declareGenerated(uri);
}

int XmlSerializerImpl::getDepth() const { return m_namespaces->getDepth(); }
ZelName XmlSerializerImpl::getNamespace() const { return m_namespaces->getElementNamespace(); }
ZelName XmlSerializerImpl::getName() const { return m_namespaces->getElementLocalName(); }

void XmlSerializerImpl::startTagSub(ZelName uri, ZelName prefix, ZelName localName, bool generatePrefix) {
  // A name the encoding cannot hold is refused before anything of the tag
  // is written or any scope opened.
  requireWritable(localName);
  if (!uri.isEmpty()) requireWritable(prefix);
  closeStartTag(false);
  if (m_state != 5) m_namespaces->pushScope();
  if (uri.isEmpty()) {
    prefix = ZelName();
    if (!m_namespaces->getDefaultNamespace().isEmpty()) m_namespaces->declarePrefix(ZelName(), ZelName());
  } else if (generatePrefix) {
    prefix = getPrefix(uri, true);
  } else if (prefix == NAME_XMLNS || (prefix == NAME_XML) != (uri == kXmlNamespaceName)) {
    // Reserved prefixes name only their own namespaces.
    prefix = getPrefix(uri, true);
  } else if (m_namespaces->getNamespaceUri(prefix) != uri) {
    // The element's own name wins over a setPrefix of the same prefix.
    if (declaredHere(prefix)) m_namespaces->undeclarePrefix(prefix, m_namespaces->getNamespaceUri(prefix));
    m_namespaces->declarePrefix(prefix, uri);
  }
  m_namespaces->setElementName(uri, prefix, localName);
  checkStream();
  writeChar('<');
  if (!prefix.isEmpty()) {
    writeName(prefix);
    writeChar(':');
  }
  writeName(localName);
  m_state = 6;
}

void XmlSerializerImpl::requireWritable(const UnicodeString& name) {
  const UChar* text = name.getBuffer();
  for (int i = 0; i < name.length(); ++i) {
    if (text[i] <= 0x7F) continue;
    // A lone surrogate or a non-character is no XML character in any
    // encoding; in a name it cannot be replaced without renaming.
    UChar32 c = text[i];
    if (U16_IS_LEAD(text[i]) && i + 1 < name.length() && U16_IS_TRAIL(text[i + 1])) {
      c = U16_GET_SUPPLEMENTARY(text[i], text[i + 1]);
      ++i;
    }
    bool xmlChar = !U_IS_SURROGATE(c) && c != 0xFFFE && c != 0xFFFF;
    if (!xmlChar || (m_shiftJis && shiftJisBytes(c).empty()))
      throwLibraryError(kErrNotWritable, kOriginNone, codePointLabel(c));
  }
}

ZelXmlSerializer& XmlSerializerImpl::startTag(ZelName namespaceUri, ZelName prefix, ZelName localName) {
  startTagSub(namespaceUri, prefix, localName, false);
  return *this;
}

ZelXmlSerializer& XmlSerializerImpl::startTag(ZelName namespaceUri, ZelName localName) {
  startTagSub(namespaceUri, ZelName(), localName, true);
  return *this;
}

// Both forms choose the prefix alike: one given that does not mean the
// attribute's namespace where it is written is replaced.
void XmlSerializerImpl::attributeSub(ZelName uri, ZelName prefix, ZelName localName, const UnicodeString& value,
                                     bool /*generatePrefix*/) {
  if (m_state != 6 && m_state != 7) throwLibraryError(2061, kOriginAttributeSub);
  // Declarations are written when the start tag closes, from the scope.
  if (localName == NAME_XMLNS) {
    m_namespaces->declarePrefix(ZelName(), declaredName(value));
    return;
  }
  if (uri == kXmlnsNamespaceName || prefix == NAME_XMLNS) {
    m_namespaces->declarePrefix(localName, declaredName(value));
    return;
  }
  // An attribute in no namespace takes no prefix; one in a namespace takes
  // a prefix bound to it where it is written, never the default one.
  ZelName written = uri.isEmpty() ? ZelName() : attributePrefix(uri, prefix);
  requireWritable(written);
  requireWritable(localName);
  checkStream();
  writeChar(' ');
  if (!written.isEmpty()) {
    writeName(written);
    writeChar(':');
  }
  writeName(localName);
  writeRaw("=\"", 2);
  writeText(value, kEscapeAttribute);
  writeChar('"');
  m_state = 7;
}

ZelXmlSerializer& XmlSerializerImpl::attribute(ZelName namespaceUri, ZelName prefix, ZelName localName,
                                               const UnicodeString& value) {
  attributeSub(namespaceUri, prefix, localName, value, false);
  return *this;
}

ZelXmlSerializer& XmlSerializerImpl::attribute(ZelName namespaceUri, ZelName localName, const UnicodeString& value) {
  attributeSub(namespaceUri, ZelName(), localName, value, true);
  return *this;
}

bool XmlSerializerImpl::closeStartTag(bool empty) {
  checkStream();
  if (m_state != 6 && m_state != 7) return false;
  int count = m_namespaces->getNamespaceCount(m_namespaces->getDepth());
  for (int i = 0; i < count; ++i) {
    ZelName prefix = m_namespaces->getDeclaredPrefix(i);
    requireWritable(prefix);
    writeRaw(" xmlns", 6);
    if (!prefix.isEmpty()) {
      writeChar(':');
      writeName(prefix);
    }
    writeRaw("=\"", 2);
    writeText(m_namespaces->getDeclaredUri(i).toString(), kEscapeAttribute);
    writeChar('"');
  }
  if (empty) {
    writeRaw("/>", 2);
    m_state = 10;
  } else {
    writeChar('>');
    m_state = 8;
  }
  return true;
}

ZelXmlSerializer& XmlSerializerImpl::endTag(ZelName namespaceUri, ZelName localName) {
  if (getDepth() < 1) throwLibraryError(2062, kOriginEndTag);
  if (localName != getName() || namespaceUri != getNamespace())
    throwLibraryError(2063, kOriginEndTag, ZelXmlUtil::makeNSQNameStr(namespaceUri.toString(), localName.toString()),
                      ZelXmlUtil::makeQNameStr(m_namespaces->getElementPrefix().toString(),
                                               m_namespaces->getElementLocalName().toString()));
  if (!closeStartTag(true)) {
    writeRaw("</", 2);
    ZelName prefix = m_namespaces->getElementPrefix();
    if (!prefix.isEmpty()) {
      writeName(prefix);
      writeChar(':');
    }
    writeName(m_namespaces->getElementLocalName());
    writeChar('>');
    m_state = 9;
  }
  m_namespaces->popScope();
  return *this;
}

void XmlSerializerImpl::endDocument() {
  checkStream();
  while (getDepth() > 0) endTag(getNamespace(), getName());
  flush();
  close();
  m_state = 3;
  if (m_outputFailed) {
    m_outputFailed = false;
    throwIOError(4103, kOriginCheckStream);
  }
}

ZelXmlSerializer& XmlSerializerImpl::text(const UChar* buffer, int start, int length) {
  closeStartTag(false);
  if (buffer != nullptr && length > 0) writeText(buffer + start, length, kEscapeText);
  m_state = 11;
  return *this;
}

ZelXmlSerializer& XmlSerializerImpl::text(const UnicodeString& text) {
  closeStartTag(false);
  writeText(text, kEscapeText);
  m_state = 11;
  return *this;
}

void XmlSerializerImpl::cdata(const UnicodeString& text) {
  closeStartTag(false);
  writeRaw("<![CDATA[", 9);
  writeText(text, kEscapeNone);
  writeRaw("]]>", 3);
}

void XmlSerializerImpl::entityRef(const UnicodeString& name) {
  closeStartTag(false);
  writeChar('&');
  writeText(name, kEscapeNone);
  writeChar(';');
}

void XmlSerializerImpl::processingInstruction(const UnicodeString& text) {
  closeStartTag(false);
  writeRaw("<?", 2);
  writeText(text, kEscapeNone);
  writeRaw("?>", 2);
}

void XmlSerializerImpl::comment(const UnicodeString& text) {
  closeStartTag(false);
  writeRaw("<!--", 4);
  writeText(text, kEscapeNone);
  writeRaw("-->", 3);
}

void XmlSerializerImpl::ignorableWhitespace(const UnicodeString& text) {
  closeStartTag(false);
  writeText(text, kEscapeNone);
}

void XmlSerializerImpl::flush() {
  drain();
  closeStartTag(false);
  drain();
  if (m_output->good() && m_output->rdbuf() != nullptr && m_output->rdbuf()->pubsync() == -1)
    m_output->setstate(std::ios_base::badbit);
}

void XmlSerializerImpl::setGenerator(const UnicodeString& generator) { m_generator = generator; }

const std::string& XmlSerializerImpl::shiftJisBytes(UChar32 c) {
  // Characters of the basic plane are found by index once known (the
  // cache's entries never move).
  std::array<const std::string*, 256>* block = nullptr;
  if (c >= 0 && c <= 0xFFFF) {
    auto& made = m_shiftJisBasic[static_cast<size_t>(c) >> 8];
    if (!made) made = std::make_unique<std::array<const std::string*, 256>>();  // all null
    block = made.get();
    if (const std::string* known = (*block)[static_cast<size_t>(c) & 0xFF]) return *known;
  }
  auto found = m_shiftJisCache.find(c);
  if (found != m_shiftJisCache.end()) return found->second;
  std::string& bytes = m_shiftJisCache[c];
  if (block != nullptr) (*block)[static_cast<size_t>(c) & 0xFF] = &bytes;
  UChar units[2];
  int32_t count = 0;
  U16_APPEND_UNSAFE(units, count, c);
  char out[8];
  UErrorCode status = U_ZERO_ERROR;
  ucnv_resetFromUnicode(m_converter);
  int32_t written = ucnv_fromUChars(m_converter, out, sizeof out, units, count, &status);
  if (U_FAILURE(status) || written <= 0 || status == U_STRING_NOT_TERMINATED_WARNING) return bytes;
  // Only bytes that read back as the same character: a substitution or a
  // one-way mapping is written as a reference instead.
  UChar back[4];
  status = U_ZERO_ERROR;
  ucnv_resetToUnicode(m_converter);
  int32_t read = ucnv_toUChars(m_converter, back, 4, out, written, &status);
  if (U_FAILURE(status) || read != count || back[0] != units[0] || (count == 2 && back[1] != units[1])) return bytes;
  bytes.assign(out, static_cast<size_t>(written));
  return bytes;
}

uint32_t XmlSerializerImpl::packShiftJis(UChar c) {
  const std::string& bytes = shiftJisBytes(c);
  uint32_t packed = 0;
  if (!bytes.empty() && bytes.size() <= 3) {
    packed = static_cast<uint32_t>(bytes.size()) << 24;
    for (char b : bytes) packed = (packed & 0xFF000000u) | ((packed << 8) & 0x00FFFFFFu) | static_cast<unsigned char>(b);
  }
  m_shiftJisPacked[c] = packed;
  return packed;
}

namespace {

// The reference "&#n;" at to; the position after it.
char* putCharRef(char* to, unsigned value) {
  char digits[10];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  *to++ = '&';
  *to++ = '#';
  while (n > 0) *to++ = digits[--n];
  *to++ = ';';
  return to;
}

char* putUtf8(char* to, UChar32 c) {
  if (c < 0x800) {
    *to++ = static_cast<char>(0xC0 | (c >> 6));
  } else if (c < 0x10000) {
    *to++ = static_cast<char>(0xE0 | (c >> 12));
    *to++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  } else {
    *to++ = static_cast<char>(0xF0 | (c >> 18));
    *to++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *to++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  }
  *to++ = static_cast<char>(0x80 | (c & 0x3F));
  return to;
}

// Units encoded per step, and the most bytes one unit can take: a
// reference of a basic-plane character, "&#65533;".
constexpr int kStepUnits = 4096;
constexpr size_t kMaxBytesPerUnit = 8;

}  // namespace

#ifdef __SSE2__
// Copies the units from text that stand for themselves, eight at a time
// while all eight do; the count copied (to gets up to seven bytes more,
// inside the room of the units).
int copyPlainBlocks(const UChar* text, int count, char* to, bool escape, bool attribute) {
  // Lanes of units that are not ASCII (a bit from 0x80 up set), below the
  // space, or markup go to the rules one by one.
  const __m128i wide = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i zero = _mm_setzero_si128();
  const __m128i all = _mm_set1_epi16(-1);
  const __m128i space = _mm_set1_epi16(0x20);
  int done = 0;
  while (count - done >= 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + done));
    __m128i other = _mm_or_si128(_mm_andnot_si128(_mm_cmpeq_epi16(_mm_and_si128(units, wide), zero), all),
                                 _mm_cmplt_epi16(units, space));
    if (escape) {
      other = _mm_or_si128(other, _mm_or_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16('&')),
                                               _mm_or_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16('<')),
                                                            _mm_cmpeq_epi16(units, _mm_set1_epi16('>')))));
      if (attribute) other = _mm_or_si128(other, _mm_cmpeq_epi16(units, _mm_set1_epi16('"')));
    }
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(other));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(to + done), _mm_packus_epi16(units, units));
    if (mask != 0) return done + __builtin_ctz(mask) / 2;
    done += 8;
  }
  return done;
}
#endif

void XmlSerializerImpl::Bytes::grow(size_t n) {
  size_t wanted = capacity < 4096 ? 4096 : capacity * 2;
  while (wanted - size < n) wanted *= 2;
  std::unique_ptr<char[]> larger(new char[wanted]);
  if (size != 0) std::memcpy(larger.get(), data.get(), size);
  data = std::move(larger);
  capacity = wanted;
}

// The output gets the same bytes as when each character is written by
// itself: runs of units that stand for themselves are copied, the rest
// escaped or encoded one by one.
void XmlSerializerImpl::encodeText(const UChar* text, int length, int flags) {
  // Short texts (most values) are not worth the blocks.
  if (length >= 16)
    encodeUnits<true>(text, length, flags);
  else
    encodeUnits<false>(text, length, flags);
}

template <bool kBlocks>
void XmlSerializerImpl::encodeUnits(const UChar* text, int length, int flags) {
  const bool escape = (flags & kEscapeText) != 0;
  const bool attribute = (flags & kEscapeAttribute) == kEscapeAttribute;
  const bool* plain = !escape ? kPlainUnits.none : attribute ? kPlainUnits.attribute : kPlainUnits.text;
  if (m_shiftJis && m_shiftJisPacked.empty()) m_shiftJisPacked.assign(0x10000, kUnknownPacked);
  int i = 0;
  while (i < length) {
    const int end = length - i > kStepUnits ? i + kStepUnits : length;
    // A pair split by the step's end is read whole: one unit more of room.
    char* to = m_out.room(static_cast<size_t>(end - i + 1) * kMaxBytesPerUnit);
    char* const from = to;
    for (; i < end; ++i) {
      UChar u = text[i];
      if (u < 0x80 && plain[u]) {
#ifdef __SSE2__
        // A run of them is likely: copied eight at a time (a tab or a line
        // feed, plain to the table, stops the blocks at once).
        if (kBlocks && end - i >= 8) {
          const int copied = copyPlainBlocks(text + i, end - i, to, escape, attribute);
          if (copied != 0) {
            to += copied;
            i += copied - 1;
            continue;
          }
        }
#endif
        *to++ = static_cast<char>(u);
        continue;
      }
      // In UTF-8, a run of characters that take three bytes and are never
      // escaped (U+2028 is, below).
      if (kBlocks && !m_shiftJis && u >= 0x800 && u < 0xD800 && u != 0x2028) {
        for (;;) {
          *to++ = static_cast<char>(0xE0 | (u >> 12));
          *to++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
          *to++ = static_cast<char>(0x80 | (u & 0x3F));
          if (i + 1 == end) break;
          u = text[i + 1];
          if (u < 0x800 || u >= 0xD800 || u == 0x2028) break;
          ++i;
        }
        continue;
      }
      if (escape) {
        const char* entity = nullptr;
        switch (u) {
          case u'&': entity = "&amp;"; break;
          case u'<': entity = "&lt;"; break;
          case u'>': entity = "&gt;"; break;
          case u'"': entity = attribute ? "&quot;" : nullptr; break;
          // A parser turns these into spaces or line feeds; references keep
          // them as they are.
          case 0x09: entity = attribute ? "&#9;" : nullptr; break;
          case 0x0A: entity = attribute ? "&#10;" : nullptr; break;
          case 0x0D: entity = "&#13;"; break;
          case 0x85: entity = "&#133;"; break;
          case 0x2028: entity = "&#8232;"; break;
          default: break;
        }
        if (entity != nullptr) {
          while (*entity != '\0') *to++ = *entity++;
          continue;
        }
      }
      if (u <= 0x7F) {
        // Control characters other than tab, line feed and carriage return
        // cannot be written in XML 1.0, not even as references.
        if (u < 0x20 && u != 9 && u != 10 && u != 13)
          throwLibraryError(kErrNotWritable, kOriginNone, codePointLabel(u));
        *to++ = static_cast<char>(u);
        continue;
      }
      UChar32 c = nextCodePoint(text, length, i);
      if (!m_shiftJis) {
        to = putUtf8(to, c);
        continue;
      }
      if (c <= 0xFFFF) {
        uint32_t packed = shiftJisPacked(static_cast<UChar>(c));
        if (packed != 0) {
          int count = static_cast<int>(packed >> 24);
          for (int k = count - 1; k >= 0; --k) *to++ = static_cast<char>((packed >> (8 * k)) & 0xFF);
          continue;
        }
      } else {
        const std::string& bytes = shiftJisBytes(c);
        if (!bytes.empty()) {
          std::memcpy(to, bytes.data(), bytes.size());
          to += bytes.size();
          continue;
        }
      }
      if ((flags & kName) != 0) throwLibraryError(kErrNotWritable, kOriginNone, codePointLabel(c));
      to = putCharRef(to, static_cast<unsigned>(c));
    }
    m_out.size += static_cast<size_t>(to - from);
  }
}

XmlSerializerImpl::NameEntry* XmlSerializerImpl::addNameEntry(ZelName name) {
  const ZelNameEnum number = name;
  if (number < 0 || number >= kCachedNames) return nullptr;
  if (m_namesShiftJis != m_shiftJis) {
    m_names.clear();
    m_namesShiftJis = m_shiftJis;
  }
  if (static_cast<size_t>(number) >= m_names.size()) m_names.resize(static_cast<size_t>(number) + 1);
  return &m_names[static_cast<size_t>(number)];
}

ZelName XmlSerializerImpl::declaredName(const UnicodeString& value) {
  if (m_declaredText.isBogus() || value != m_declaredText) {
    m_declaredName = ZelName(value);
    m_declaredText = value;
  }
  return m_declaredName;
}

void XmlSerializerImpl::requireWritableOut(ZelName name) {
  NameEntry* entry = nameEntry(name);
  if (entry != nullptr && entry->writable) return;
  requireWritable(name.toString());
  if (entry != nullptr) entry->writable = true;
}

void XmlSerializerImpl::writeNameOut(ZelName name) {
  NameEntry* entry = nameEntry(name);
  if (entry != nullptr && entry->encoded) {
    if (!entry->bytes.empty()) writeRaw(entry->bytes.data(), static_cast<int>(entry->bytes.size()));
    return;
  }
  const UnicodeString& text = name.toString();
  const size_t mark = m_out.size;
  try {
    encodeText(text.getBuffer(), text.length(), kEscapeNone | kName);
  } catch (...) {
    m_out.size = mark;
    throw;
  }
  if (entry != nullptr) {
    entry->bytes.assign(m_out.data.get() + mark, m_out.size - mark);
    entry->encoded = true;
  }
  sendEncoded(mark);
}

void XmlSerializerImpl::writeText(const UChar* text, int length, int flags) {
  const size_t mark = m_out.size;
  try {
    if (length >= 16)
      encodeUnits<true>(text, length, flags);
    else
      encodeUnits<false>(text, length, flags);
  } catch (...) {
    m_out.size = mark;
    throw;
  }
  sendEncoded(mark);
}

void XmlSerializerImpl::sendEncoded(size_t mark) {
  if (m_out.size == mark) return;
  if (m_output == nullptr || m_output->fail()) {
    m_out.size = mark;
    refuseStream();
  }
  if (!m_batching) {
    const size_t count = m_out.size;
    m_out.size = 0;
    writeStream(m_out.data.get(), count);
  } else if (m_out.size >= kDrainAt) {
    drain();
  }
}

void XmlSerializerImpl::writeStream(const char* bytes, size_t count) {
  const std::streamsize n = static_cast<std::streamsize>(count);
  if (!directOutput()) {
    m_output->write(bytes, n);
    return;
  }
  try {
    if (m_output->rdbuf()->sputn(bytes, n) != n) m_output->setstate(std::ios_base::badbit);
  } catch (...) {
    m_output->setstate(std::ios_base::badbit);
  }
}

void XmlSerializerImpl::writeRawOut(const char* bytes, int length) {
  checkStream();
  const size_t count = length < 0 ? std::char_traits<char>::length(bytes) : static_cast<size_t>(length);
  if (!m_batching) {
    writeStream(bytes, count);
    return;
  }
  m_out.append(bytes, count);
  if (m_out.size >= kDrainAt) drain();
}

void XmlSerializerImpl::writeCharOut(char byte) {
  unsigned char b = static_cast<unsigned char>(byte);
  if (b < 0x20 && b != 9 && b != 10 && b != 13) return;
  checkStream();
  if (m_batching) {
    *m_out.room(1) = byte;
    ++m_out.size;
    if (m_out.size >= kDrainAt) drain();
    return;
  }
  if (!directOutput()) {
    m_output->put(byte);
    return;
  }
  try {
    if (std::char_traits<char>::eq_int_type(m_output->rdbuf()->sputc(byte), std::char_traits<char>::eof()))
      m_output->setstate(std::ios_base::badbit);
  } catch (...) {
    m_output->setstate(std::ios_base::badbit);
  }
}

void XmlSerializerImpl::beginBatch() {
  if (m_batch++ == 0) m_batching = m_output != nullptr && directOutput();
}

void XmlSerializerImpl::endBatch() {
  if (m_batch == 0 || --m_batch != 0) return;
  drain();
  m_batching = false;
}

void XmlSerializerImpl::drain() {
  const size_t count = m_out.size;
  m_out.size = 0;
  // After a failure nothing more reaches the stream, as when each write
  // went there at once.
  if (count == 0 || m_output == nullptr || m_output->fail()) return;
  try {
    std::streambuf* buffer = m_output->rdbuf();
    if (buffer == nullptr || buffer->sputn(m_out.data.get(), static_cast<std::streamsize>(count)) !=
                                 static_cast<std::streamsize>(count))
      m_output->setstate(std::ios_base::badbit);
  } catch (...) {
    try {
      m_output->setstate(std::ios_base::badbit);
    } catch (...) {
    }
  }
}

ZelXmlSerializer::ZelXmlSerializer() = default;
ZelXmlSerializer::~ZelXmlSerializer() = default;
unsigned int ZelXmlSerializer::getTypeID() const { return getStaticTypeID(); }
bool ZelXmlSerializer::isA(unsigned int id) const { return id == getStaticTypeID() || ZelRCObject::isA(id); }
UnicodeString ZelXmlSerializer::getTypeName() const { return UnicodeString(u"ZelXmlSerializer"); }
void ZelXmlSerializer::setGenerator(const UnicodeString&) {}

ZelPtr<ZelXmlSerializer> ZelXmlUtil::createXmlSerializer() {
  return ZelPtr<ZelXmlSerializer>(new XmlSerializerImpl());
}

}  // namespace ObraCommon
