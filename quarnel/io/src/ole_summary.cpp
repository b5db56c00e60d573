// Property-set streams. Positions are kept in 64 bits; every count read from
// the stream is checked against what the stream can still hold (20 bytes
// per section pair, 8 per property pair or dictionary entry head, 4 per
// vector element or blob item). The declared size of a stream may be far
// beyond what its chain holds, so nothing is made ahead for a count or a
// length: records and texts grow only as their bytes arrive.
#include "quarnel/ole_summary.h"

#include <unicode/ucnv.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "quarnel/value.h"

namespace ObraCommon {

namespace {

constexpr uint32_t kVtI2 = 2;
constexpr uint32_t kVtI4 = 3;
constexpr uint32_t kVtLpstr = 0x1E;
constexpr uint32_t kVtLpwstr = 0x1F;
constexpr uint32_t kVtBlob = 0x41;
constexpr uint32_t kVtVector = 0x1000;
constexpr uint32_t kCodePageUtf8 = 65001;
constexpr uint32_t kCodePageUtf16 = 1200;

bool Answered(uint32_t id) {
  return (id >= 1 && id <= 9) || (id >= 14 && id <= 16) || id == 18 || id == 19;
}

bool ConverterOpens(const std::string& name) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(name.c_str(), &status);
  if (converter != nullptr) ucnv_close(converter);
  return U_SUCCESS(status);
}

}  // namespace

OleSummaryInformation::OleSummaryInformation() = default;

OleSummaryInformation::~OleSummaryInformation() {
  if (m_file != nullptr && m_stream != nullptr) m_file->OLEcloseStream(m_stream);
}

bool OleSummaryInformation::getReverse(unsigned char* bytes, int count) {
  for (int i = count - 1; i >= 0; --i) {
    if (m_stream->OLEread(bytes + i, 1) != 1) return false;
  }
  return true;
}

bool OleSummaryInformation::getWORD(uint16_t* value) {
  unsigned char b[2];
  if (m_reverse ? !getReverse(b, 2) : m_stream->OLEread(b, 2) != 2) return false;
  *value = static_cast<uint16_t>(b[0] | b[1] << 8);
  return true;
}

bool OleSummaryInformation::getDWORD(uint32_t* value) {
  unsigned char b[4];
  if (m_reverse ? !getReverse(b, 4) : m_stream->OLEread(b, 4) != 4) return false;
  *value = uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
  return true;
}

bool OleSummaryInformation::getWSTR(uint16_t* units, int count) {
  for (int i = 0; i < count; ++i) {
    if (!getWORD(units + i)) return false;
  }
  return true;
}

bool OleSummaryInformation::getCLSID(OLE_CLSID* id) {
  return getDWORD(&id->Data1) && getWORD(&id->Data2) && getWORD(&id->Data3) &&
         m_stream->OLEread(id->Data4, 8) == 8;
}

bool OleSummaryInformation::checkEndian() {
  unsigned char b[2];
  if (m_stream->OLEread(b, 2) != 2) return false;
  m_byteOrder = static_cast<uint16_t>(b[0] | b[1] << 8);
  m_reverse = m_byteOrder == 0xFEFF;
  return true;
}

bool OleSummaryInformation::getPropHeader() {
  return checkEndian() && getWORD(&m_formatVersion) && getDWORD(&m_systemId) && getCLSID(&m_classId) &&
         getDWORD(&m_sectionCount);
}

bool OleSummaryInformation::seek(int64_t pos) {
  if (pos < 0 || pos > m_stream->GetStreamSize()) return false;
  return m_stream->OLEseek(static_cast<int32_t>(pos), 0) == pos;
}

bool OleSummaryInformation::readBytes(std::string* out, uint32_t length) {
  constexpr uint32_t kPiece = 65536;
  out->clear();
  while (out->size() < length) {
    const size_t at = out->size();
    const uint32_t want = std::min<uint32_t>(kPiece, length - static_cast<uint32_t>(at));
    out->resize(at + want);
    if (m_stream->OLEread(reinterpret_cast<unsigned char*>(out->data() + at), want) != int(want)) return false;
  }
  return true;
}

int64_t OleSummaryInformation::bytesLeft() {
  return std::max<int64_t>(0, int64_t{m_stream->GetStreamSize()} - m_stream->OLEtell());
}

int OleSummaryInformation::getSummaryInformation() {
  if (m_stream == nullptr) return -1;
  const int64_t base = m_stream->OLEtell();
  if (!getPropHeader()) return -1;
  if (m_sectionCount == 0) return 1;
  if (m_sectionCount > bytesLeft() / 20) return -1;
  m_sections.clear();
  int result = 1;
  for (uint32_t i = 0; i < m_sectionCount; ++i) {
    Section& section = m_sections.emplace_back();
    if (!getCLSID(&section.fmtid) || !getDWORD(&section.offset)) return -1;
    const int64_t after = m_stream->OLEtell();
    section.start = base + section.offset;
    if (parseSection(section) < 0) result = -1;
    if (!seek(after)) return -1;
  }
  return result;
}

int OleSummaryInformation::parseSection(Section& section) {
  if (!seek(section.start) || !getDWORD(&section.size) || !getDWORD(&section.count)) return -1;
  if (section.count > bytesLeft() / 8) return -1;
  for (uint32_t i = 0; i < section.count; ++i) {
    Property& p = section.properties.emplace_back();
    if (!seek(section.start + 8 + 8 * int64_t{i}) || !getDWORD(&p.id) || !getDWORD(&p.offset)) return -1;
    uint32_t bound = section.size;
    uint32_t nextId = 0, nextOffset = 0;
    if (i + 1 < section.count) {
      if (!getDWORD(&nextId) || !getDWORD(&nextOffset)) return -1;
      bound = nextOffset;
    }
    if (p.id == 0) section.hasDictionary = 1;
    if (!seek(section.start + p.offset) || !getDWORD(&p.type)) return -1;
    p.valuePos = m_stream->OLEtell();
    if (p.id != 0) continue;
    // The dictionary: its type word is the number of entries.
    if (p.type > bytesLeft() / 8) return -1;
    int64_t at = int64_t{p.offset} + 4;
    for (uint32_t n = 0; n < p.type; ++n) {
      DictEntry entry;
      uint32_t length = 0;
      if (!getDWORD(&entry.id) || !getDWORD(&length)) return -1;
      at += 8;
      if (at + length > bound) break;
      if (length > bytesLeft() || !readBytes(&entry.name, length)) return -1;
      at += length;
      section.dictionary.push_back(std::move(entry));
    }
    section.dictCount = static_cast<int>(section.dictionary.size());
  }
  return 1;
}

int OleSummaryInformation::init(OleCompFile* file, const char* streamName, int documentSummary) {
  if (m_initialised || file == nullptr) return -1;
  m_initialised = true;
  m_file = file;
  m_documentSummary = documentSummary;
  OleDirPath path;
  path.count = 1;
  path.names[0] = streamName;
  m_stream = file->OLEopenStream(&path);
  return m_stream == nullptr ? -1 : getSummaryInformation();
}

void OleSummaryInformation::settleCodePage() {
  ZelValue value;
  std::string name = "cp932";
  m_codePageNumber = 932;
  if (getProperty(1, value) == 1 && value.isInteger()) {
    m_codePageNumber = static_cast<uint32_t>(value.getIntegerValue());
    const std::string number = std::to_string(value.getIntegerValue());
    if (m_codePageNumber == kCodePageUtf8) {
      name = "UTF-8";
    } else {
      // ICU knows some Windows code pages ("10000", Mac Roman) only under
      // this second name; a name that does not open would lose the text.
      name = "cp" + number;
      if (!ConverterOpens(name) && ConverterOpens("windows-" + number)) name = "windows-" + number;
    }
  }
  m_codePage = ZelCStr(UnicodeString::fromUTF8(name));
}

int OleSummaryInformation::initSummaryInformation(OleCompFile* file) {
  const bool fresh = !m_initialised;
  const int result = init(file, "\x05SummaryInformation", 0);
  if (fresh) settleCodePage();
  return result;
}

int OleSummaryInformation::initDocumentSummaryInformation(OleCompFile* file) {
  return init(file, "\x05" "DocumentSummaryInformation", 1);
}

int OleSummaryInformation::readValue(uint32_t type, ZelValue& value) {
  if (type == kVtI2) {
    // The 16-bit value, then two bytes of padding that need not be zero.
    uint16_t v = 0, padding = 0;
    if (!getWORD(&v) || !getWORD(&padding)) return -1;
    value = ZelValue(int{v});
    return 1;
  }
  if (type == kVtI4) {
    uint32_t v = 0;
    if (!getDWORD(&v)) return -1;
    value = ZelValue(static_cast<int>(static_cast<int32_t>(v)));
    return 1;
  }
  if (type != kVtLpstr) return -1;
  uint32_t length = 0;
  if (!getDWORD(&length) || length > bytesLeft()) return -1;
  std::string bytes;
  if (!readBytes(&bytes, length)) return -1;
  // Elements of a vector start on 4-byte boundaries.
  if (length % 4 != 0 && bytesLeft() > 0) seek(m_stream->OLEtell() + (4 - length % 4));
  UnicodeString text;
  if (m_codePageNumber == kCodePageUtf16) {
    // UTF-16LE in an 8-bit string: cut at the first zero unit.
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
      const char16_t unit = static_cast<char16_t>(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8);
      if (unit == 0) break;
      text.append(unit);
    }
  } else {
    const size_t end = std::min(bytes.find('\0'), bytes.size());
    text = UnicodeString(bytes.data(), static_cast<int32_t>(end), m_codePage.getCString().c_str());
    if (text.isBogus()) return -1;
  }
  value = ZelValue(text);
  return 1;
}

int OleSummaryInformation::getProperty(uint32_t id, ZelValue& value) {
  if (m_documentSummary != 0 || m_stream == nullptr || !Answered(id)) return -1;
  for (const Section& section : m_sections) {
    if (section.hasDictionary) continue;
    const auto p = std::find_if(section.properties.begin(), section.properties.end(),
                                [id](const Property& q) { return q.id == id; });
    if (p == section.properties.end()) continue;
    if (!seek(p->valuePos)) continue;
    uint32_t type = p->type;
    uint32_t count = 1;
    if (type & kVtVector) {
      if (!getDWORD(&count) || count > bytesLeft() / 4) continue;
      type &= ~kVtVector;
    }
    if (count == 0) return -1;
    int result = -1;
    for (uint32_t i = 0; i < count; ++i) {
      result = readValue(type, value);
      if (result < 0) break;
    }
    return result;
  }
  return -1;
}

int OleSummaryInformation::getHyperLinks(std::vector<UnicodeString>& list) {
  if (m_stream == nullptr) return -1;
  for (const Section& section : m_sections) {
    if (!section.hasDictionary) continue;
    for (const Property& p : section.properties) {
      if (p.id <= 1 || p.type != kVtBlob) continue;
      const bool named = std::any_of(section.dictionary.begin(), section.dictionary.end(), [&p](const DictEntry& e) {
        return e.id == p.id && std::strcmp(e.name.c_str(), "_PID_HLINKS") == 0;
      });
      if (!named) continue;
      uint32_t blobSize = 0, items = 0;
      if (!seek(p.valuePos) || !getDWORD(&blobSize) || !getDWORD(&items)) continue;
      if (items > bytesLeft() / 4) return -1;
      int result = 1;
      for (uint32_t i = 0; i < items; ++i) {
        uint32_t type = 0;
        if (!getDWORD(&type)) return -1;
        if (type == kVtI4) {
          uint32_t skipped = 0;
          if (!getDWORD(&skipped)) result = -1;
        } else if (type == kVtLpwstr) {
          uint32_t units = 0;
          if (!getDWORD(&units)) {
            result = -1;
            continue;
          }
          units += units & 1;
          if (units > bytesLeft() / 2) return -1;
          std::string bytes;
          if (!readBytes(&bytes, units * 2)) {
            result = -1;
            continue;
          }
          std::u16string text;
          for (size_t k = 0; k + 1 < bytes.size(); k += 2) {
            const uint8_t lo = uint8_t(bytes[m_reverse ? k + 1 : k]), hi = uint8_t(bytes[m_reverse ? k : k + 1]);
            const char16_t unit = static_cast<char16_t>(lo | hi << 8);
            if (unit == 0) break;
            text.push_back(unit);
          }
          if (!text.empty()) list.emplace_back(text.data(), static_cast<int32_t>(text.size()));
        }
      }
      return result;
    }
  }
  return -1;
}

void OlePropertySet::init(OleCompFile* file) {
  OleSummaryInformation summary;
  if (summary.initSummaryInformation(file) <= 0) return;
  UnicodeString* fields[] = {&m_title, &m_subject, &m_author, &m_keywords};
  for (uint32_t id = 2; id <= 5; ++id) {
    ZelValue value;
    if (summary.getProperty(id, value) == 1) *fields[id - 2] = value.toString();
  }
}

}  // namespace ObraCommon
