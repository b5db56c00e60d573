// The Office Open XML layer of ZelZipFile: content types, relationships and
// the kind of the main document.
//
// Every XML part of a package comes from whoever wrote the package, so its
// parser opens nothing outside it (no external subset, no external entity:
// a DOCTYPE could otherwise name a local file, a FIFO or a URL), and a part
// is read no further than kPartLimit inflated bytes (a small package can
// inflate gigabytes). Reading a part ends quietly at the first error and
// keeps what was found before it.
#include <array>
#include <cstdint>
#include <istream>
#include <map>
#include <streambuf>

#include "quarnel/shared_strings.h"
#include "quarnel/uri.h"
#include "quarnel/xml_parser.h"
#include "quarnel/xml_parser_impl.h"
#include "quarnel/zip_file.h"

namespace ObraCommon {

namespace {

constexpr std::streamsize kPartLimit = std::streamsize(16) << 20;

const UnicodeString kContentTypesPart(u"[Content_Types].xml");
const UnicodeString kPackageRelationshipsPart(u"_rels/.rels");
const UnicodeString kContentTypesNamespace(u"http://schemas.openxmlformats.org/package/2006/content-types");
const UnicodeString kOfficeDocumentType(
    u"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument");

// In the order they are compared; the position plus one is the type.
const std::array<const char16_t*, 16> kMainContentTypes = {
    u"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml",
    u"application/vnd.ms-word.document.macroEnabled.main+xml",
    u"application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml",
    u"application/vnd.ms-word.template.macroEnabledTemplate.main+xml",
    u"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml",
    u"application/vnd.ms-excel.sheet.macroEnabled.main+xml",
    u"application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml",
    u"application/vnd.ms-excel.template.macroEnabled.main+xml",
    u"application/vnd.ms-excel.sheet.binary.macroEnabled.main",
    u"application/vnd.openxmlformats-officedocument.presentationml.presentation.main+xml",
    u"application/vnd.ms-powerpoint.presentation.macroEnabled.main+xml",
    u"application/vnd.openxmlformats-officedocument.presentationml.slideshow.main+xml",
    u"application/vnd.ms-powerpoint.slideshow.macroEnabled.main+xml",
    u"application/vnd.openxmlformats-officedocument.presentationml.template.main+xml",
    u"application/vnd.ms-powerpoint.template.macroEnabled.main+xml",
    u"application/vnd.openxmlformats-officedocument.themeManager+xml",
};

// Hands out at most `limit` bytes of another stream and remembers whether
// it had to hold any back, or the source failed (damaged data, a wrong
// checksum): then the part was not read whole.
class CappedBuf : public std::streambuf {
 public:
  CappedBuf(std::istream& source, std::streamsize limit) : m_source(source), m_left(limit) {}
  bool incomplete() const { return m_incomplete; }

 protected:
  int_type underflow() override {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (m_left == 0) {
      m_incomplete = m_incomplete || m_source.peek() != traits_type::eof() || m_source.bad();
      return traits_type::eof();
    }
    m_source.read(m_buffer, std::min<std::streamsize>(m_left, sizeof m_buffer));
    std::streamsize got = m_source.gcount();
    if (m_source.bad()) m_incomplete = true;
    if (got <= 0) return traits_type::eof();
    m_left -= got;
    setg(m_buffer, m_buffer, m_buffer + got);
    return traits_type::to_int_type(*m_buffer);
  }

 private:
  std::istream& m_source;
  std::streamsize m_left;
  bool m_incomplete = false;
  char m_buffer[16384];
};

// Pulls the events of one part and hands each start tag to onStart, which
// answers whether to read on. True only when the whole part was read to its
// end.
template <typename OnStart>
bool ReadPart(ZelZipFileEntry* part, OnStart onStart) {
  std::istream* in = part->getUncompressedStream(false);
  if (in == nullptr) return false;
  CappedBuf capped(*in, kPartLimit);
  std::istream text(&capped);
  try {
    ZelPtr<ZelXmlParser> parser = ZelXmlUtil::createXmlParser();
    parser->setFeature(ZelXmlParser::SKIP_EXTERNAL_DTD, true);
    if (auto* own = dynamic_cast<XmlParserImpl*>(parser.get())) own->setExternalResourcesBlocked(true);
    parser->setInput(text, UnicodeString(), UnicodeString());
    for (;;) {
      ZelXmlParser::EventType event = parser->next();
      if (event == ZelXmlParser::END_DOCUMENT) return !capped.incomplete();
      if (event == ZelXmlParser::START_TAG && !onStart(*parser)) return false;
    }
  } catch (...) {
    // A parse error, or memory ran out: what was found stays.
    return false;
  }
}

// An attribute without namespace; empty when it is missing.
UnicodeString Attribute(const ZelXmlParser& parser, const char16_t* name) {
  UnicodeString value = parser.getAttributeValue(ZelName(), ZelName(UnicodeString(name)));
  return value.isBogus() ? UnicodeString() : value;
}

bool LocalNameIs(const ZelXmlParser& parser, const char16_t* name) {
  return parser.getName().toString() == UnicodeString(name);
}

// "a/b/c.xml" has its relationships in "a/b/_rels/c.xml.rels".
UnicodeString RelationshipsPartOf(const UnicodeString& name) {
  int32_t slash = name.lastIndexOf(u'/');
  UnicodeString folder(name, 0, slash + 1);
  UnicodeString rest(name, slash + 1);
  return folder + u"_rels/" + rest + u".rels";
}

}  // namespace

void ZelZipFile::readContentTypes() {
  ZelZipFileEntry* part = getFileEntry(kContentTypesPart);
  if (part == nullptr) return;
  std::map<UnicodeString, UnicodeString> defaults;
  size_t overrides = 0;
  bool whole = ReadPart(part, [&](const ZelXmlParser& parser) {
    if (parser.getNamespace().toString() != kContentTypesNamespace) return false;
    int depth = parser.getDepth();
    if (depth == 1) return LocalNameIs(parser, u"Types");
    if (depth != 2) return false;
    UnicodeString contentType = Attribute(parser, u"ContentType");
    if (contentType.isEmpty()) return false;
    if (LocalNameIs(parser, u"Default")) {
      UnicodeString extension = Attribute(parser, u"Extension");
      if (extension.isEmpty() || extension[0] != u'.') extension.insert(0, u'.');
      defaults.emplace(extension, contentType);
      return true;
    }
    if (LocalNameIs(parser, u"Override")) {
      UnicodeString name = Attribute(parser, u"PartName");
      if (name.startsWith(u"/")) name.remove(0, 1);
      if (ZelZipFileEntry* entry = getFileEntry(name)) {
        entry->setContentType(contentType);
        ++overrides;
      }
      return true;
    }
    return false;
  });
  if (!whole || overrides >= m_entries.size()) return;
  for (const auto& entry : m_entries) {
    if (!entry->getContentType().isEmpty()) continue;
    const UnicodeString& name = entry->getFileName();
    int32_t dot = name.lastIndexOf(u'.');
    if (dot < 0) continue;
    auto found = defaults.find(UnicodeString(name, dot));
    if (found != defaults.end()) entry->setContentType(found->second);
  }
}

const UnicodeString& ZelZipFile::getContentType(ZelZipFileEntry* entry) {
  if (entry == nullptr || getFileEntry(kContentTypesPart) == nullptr) return ZelEmptyString::EMPTY_VALUE;
  if (entry->getContentType().isEmpty() && !m_contentTypesRead) {
    m_contentTypesRead = true;
    readContentTypes();
  }
  return entry->getContentType();
}

void ZelZipFile::loadRelationships(ZelZipFileEntry* source) {
  ZelZipFileEntry::RelationshipMap& byId = source == nullptr ? m_relsById : source->getRelationshipsIdMap();
  ZelZipFileEntry::RelationshipMap& byType = source == nullptr ? m_relsByType : source->getRelationshipsTypeMap();
  ZelZipFileEntry::RelationshipMap& modes = source == nullptr ? m_relTargetModes : source->getRelationshipsTargetMode();
  if (!byId.empty() || !byType.empty()) return;
  ZelZipFileEntry* part =
      getFileEntry(source == nullptr ? kPackageRelationshipsPart : RelationshipsPartOf(source->getFileName()));
  if (part == nullptr) return;
  ReadPart(part, [&](const ZelXmlParser& parser) {
    int depth = parser.getDepth();
    if (depth == 1) return LocalNameIs(parser, u"Relationships");
    if (depth != 2 || !LocalNameIs(parser, u"Relationship")) return true;
    UnicodeString id = Attribute(parser, u"Id");
    UnicodeString type = Attribute(parser, u"Type");
    UnicodeString target = Attribute(parser, u"Target");
    UnicodeString mode = Attribute(parser, u"TargetMode");
    if (id.isEmpty() || type.isEmpty() || target.isEmpty()) return false;
    if (source != nullptr && (mode.isEmpty() || mode == u"Internal")) {
      ZelUri base(source->getFileName(), ZelUri::URISTR_CSS_URI);
      target = ZelUri(base, target, ZelUri::URISTR_CSS_URI).toString();
    }
    byId.emplace(id, target);
    byType.emplace(type, target);
    if (!mode.isEmpty()) modes.emplace(id, mode);
    return true;
  });
}

namespace {

const UnicodeString& Lookup(const ZelZipFileEntry::RelationshipMap& map, const UnicodeString& key) {
  auto found = map.find(key);
  return found == map.end() ? static_cast<const UnicodeString&>(ZelEmptyString::EMPTY_VALUE) : found->second;
}

}  // namespace

const UnicodeString& ZelZipFile::getRelationshipTargetFromId(const UnicodeString& id, ZelZipFileEntry* source) {
  loadRelationships(source);
  return Lookup(source == nullptr ? m_relsById : source->getRelationshipsIdMap(), id);
}

const UnicodeString& ZelZipFile::getRelationshipTargetFromType(const UnicodeString& type, ZelZipFileEntry* source) {
  loadRelationships(source);
  return Lookup(source == nullptr ? m_relsByType : source->getRelationshipsTypeMap(), type);
}

UnicodeString ZelZipFile::getRelationshipTargetMode(const UnicodeString& id, ZelZipFileEntry* source) {
  loadRelationships(source);
  const ZelZipFileEntry::RelationshipMap& modes = source == nullptr ? m_relTargetModes : source->getRelationshipsTargetMode();
  auto found = modes.find(id);
  return found == modes.end() ? UnicodeString(u"Internal") : found->second;
}

// A target that starts with "/" is an absolute part name: it names the part
// from the package root, as many writers put it. A name as written wins.
ZelZipFileEntry* ZelZipFile::getOfficeDocument() {
  const UnicodeString& target = getRelationshipTargetFromType(kOfficeDocumentType, nullptr);
  if (target.isEmpty()) return nullptr;
  ZelZipFileEntry* entry = getFileEntry(target);
  if (entry != nullptr || !target.startsWith(u"/")) return entry;
  ZelUri base(kPackageRelationshipsPart, ZelUri::URISTR_CSS_URI);
  return getFileEntry(ZelUri(base, target, ZelUri::URISTR_CSS_URI).toString());
}

ZelZipFile::OOXDOCUMENT_TYPE ZelZipFile::detectOOXDocument() {
  ZelZipFileEntry* main = getOfficeDocument();
  if (main == nullptr) return OOXDOCUMENT_NONE;
  const UnicodeString& contentType = getContentType(main);
  for (size_t i = 0; i < kMainContentTypes.size(); ++i)
    if (contentType == kMainContentTypes[i]) return static_cast<OOXDOCUMENT_TYPE>(i + 1);
  return OOXDOCUMENT_NONE;
}

ZelZipFile::OOXDOCUMENT_TYPE ZelZipFile::detectOOXDocument(const char* path) {
  if (path == nullptr) return OOXDOCUMENT_NONE;
  try {
    ZelZipFile package(path);
    return package.detectOOXDocument();
  } catch (...) {
    return OOXDOCUMENT_NONE;
  }
}

ZelZipFile::OOXDOCUMENT_TYPE ZelZipFile::detectOOXDocument(const UnicodeString& path) {
  try {
    ZelZipFile package(path);
    return package.detectOOXDocument();
  } catch (...) {
    return OOXDOCUMENT_NONE;
  }
}

ZelZipFile::OOXDOCUMENT_TYPE ZelZipFile::detectOOXDocument(std::istream* stream) {
  if (stream == nullptr) return OOXDOCUMENT_NONE;
  bool good = stream->good();
  std::streampos start = good ? stream->tellg() : std::streampos(-1);
  OOXDOCUMENT_TYPE type = OOXDOCUMENT_NONE;
  try {
    ZelZipFile package(stream, false);
    type = package.detectOOXDocument();
  } catch (...) {
    type = OOXDOCUMENT_NONE;
  }
  // The scan and the parts' reads leave the stream anywhere, often at its
  // end and failed.
  if (good) {
    stream->clear();
    if (start >= 0) stream->seekg(start);
  }
  return type;
}

}  // namespace ObraCommon
