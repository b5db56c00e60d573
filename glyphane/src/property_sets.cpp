// The property-set reader of a Visio extraction (see property_sets.h).
//
// A property-set stream: section count at offset 24, (FMTID, offset) pairs
// from 28, and per section a size, a property count, (id, offset) pairs and
// typed values. Every number read from the stream is checked where it is
// read, in 64-bit arithmetic: the section list must fit the stream, a
// section must lie in the stream and is read whole, a property whose value
// runs past its section is skipped, and each converted text is cut at a
// whole UTF-16 character so that its terminator fits its slot.
#include "property_sets.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "code_pages.h"
#include "dalvex/extract_records.h"
#include "text_bytes.h"

namespace glyphane {

namespace {

constexpr uint8_t kSummaryFmtid[16] = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10,
                                       0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
constexpr uint8_t kDocumentSummaryFmtid[16] = {0x02, 0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10,
                                               0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE};
constexpr uint32_t kTypeI2 = 2, kTypeLpstr = 30;

// A kept property: where it is stored and how long its source may be.
struct Kept {
  bool document_summary;
  uint32_t id;
  VsdProperty property;
  int64_t longest_source;
};

constexpr Kept kKept[] = {
    {false, 2, VsdProperty::kTitle, 254},      {false, 3, VsdProperty::kSubject, 254},
    {false, 4, VsdProperty::kAuthor, 62},      {false, 5, VsdProperty::kKeywords, 62},
    {false, 6, VsdProperty::kComments, 254},   {true, 2, VsdProperty::kCategory, 62},
    {true, 14, VsdProperty::kManager, 62},     {true, 15, VsdProperty::kCompany, 62},
};

struct SlotRef {
  char* text;
  size_t size;
  int32_t* length;
};

SlotRef SlotOf(VsdPropertyRecord& r, VsdProperty property) {
  switch (property) {
    case VsdProperty::kTitle: return {r.title, sizeof r.title, &r.title_length};
    case VsdProperty::kSubject: return {r.subject, sizeof r.subject, &r.subject_length};
    case VsdProperty::kAuthor: return {r.author, sizeof r.author, &r.author_length};
    case VsdProperty::kKeywords: return {r.keywords, sizeof r.keywords, &r.keywords_length};
    case VsdProperty::kComments: return {r.comments, sizeof r.comments, &r.comments_length};
    case VsdProperty::kManager: return {r.manager, sizeof r.manager, &r.manager_length};
    case VsdProperty::kCompany: return {r.company, sizeof r.company, &r.company_length};
    case VsdProperty::kCategory: return {r.category, sizeof r.category, &r.category_length};
  }
  return {r.title, sizeof r.title, &r.title_length};
}

uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

bool ReadAt(KVB_OleStream* stream, int64_t offset, void* buffer, int64_t n) {
  if (offset < 0 || n < 0 || offset > INT32_MAX || n > INT32_MAX) return false;
  if (KVB_2OLEseekStream(stream, static_cast<int>(offset), 0) != offset) return false;
  return KVB_2OLEreadStream(stream, buffer, static_cast<int>(n)) == n;
}

// The code page the engine knows a property set's code page by: the old
// numbers 2000, 3000, 4000 and 5000 stand for 932, 936, 950 and 949.
uint32_t EngineCodePage(uint32_t code_page) {
  switch (code_page) {
    case 2000: return kCodePageShiftJis;
    case 3000: return kCodePageGbk;
    case 4000: return kCodePageBig5;
    case 5000: return kCodePageKorean;
    default: return code_page;
  }
}

// How many bytes of an 8-bit text to keep within `limit` without splitting
// a character; a lead byte without its second byte is left out.
size_t WholeCharacters(std::string_view text, size_t limit, uint32_t code_page) {
  size_t end = 0;
  while (end < text.size()) {
    const uint8_t b = static_cast<uint8_t>(text[end]);
    size_t width = 1;
    if (code_page == kCodePageUtf8) {
      width = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    } else if (IsLeadByte(code_page, b)) {
      width = 2;
    }
    if (end + width > limit || end + width > text.size()) break;
    end += width;
  }
  return end;
}

// Stores a UTF-16LE text in its slot: whole units, never half a pair, and
// room for the terminating unit.
void Store(SlotRef slot, std::string_view utf16) {
  size_t n = std::min(utf16.size(), slot.size - 2) & ~size_t{1};
  if (n >= 2 && n < utf16.size()) {
    const uint16_t last = static_cast<uint8_t>(utf16[n - 2]) | (static_cast<uint8_t>(utf16[n - 1]) << 8);
    if (last >= 0xD800 && last <= 0xDBFF) n -= 2;
  }
  std::memcpy(slot.text, utf16.data(), n);
  *slot.length = static_cast<int32_t>(n);
}

struct StreamCloser {
  KVB_OleStream* stream;
  ~StreamCloser() { KVB_2OLEcloseStream(stream); }
};

int32_t ReadStream(KVB_OleStorage* root, bool document_summary, uint32_t* code_page,
                   VsdPropertyRecord* record) {
  KVB_OleStream* stream = KVB_2OLEopenStream(
      root, document_summary ? "\005DocumentSummaryInformation" : "\005SummaryInformation");
  if (stream == nullptr) return 0;
  StreamCloser closer{stream};
  const uint8_t* fmtid = document_summary ? kDocumentSummaryFmtid : kSummaryFmtid;
  const int64_t stream_size = KVB_2OLEGetStreamSize(stream);
  uint8_t header[28];
  if (stream_size < 28 || !ReadAt(stream, 0, header, sizeof header)) return InvalidFile;
  const int64_t sections = Le32(header + 24);
  if (sections > (stream_size - 28) / 20) return InvalidFile;

  for (int64_t i = 0; i < sections; ++i) {
    uint8_t entry[20];
    if (!ReadAt(stream, 28 + 20 * i, entry, sizeof entry)) return InvalidFile;
    if (std::memcmp(entry, fmtid, 16) != 0) continue;
    const int64_t section_offset = Le32(entry + 16);
    uint8_t size_field[4];
    if (section_offset > stream_size - 4 || !ReadAt(stream, section_offset, size_field, 4)) return InvalidFile;
    const int64_t size = Le32(size_field);
    if (size < 5) return 0;  // too short to hold properties: the slots stay empty
    if (size > stream_size - section_offset) return InvalidFile;
    std::unique_ptr<uint8_t[]> section(new (std::nothrow) uint8_t[static_cast<size_t>(size)]);
    if (!section) return NotEnoughMemory;
    if (!ReadAt(stream, section_offset, section.get(), size)) return InvalidFile;
    if (size < 8) return InvalidFile;  // no room for the count
    const int64_t count = Le32(section.get() + 4);
    if (count >= (size - 8) / 8) return InvalidFile;

    for (int64_t k = 0; k < count; ++k) {
      const uint32_t id = Le32(section.get() + 8 + 8 * k);
      const int64_t offset = Le32(section.get() + 12 + 8 * k);
      if (offset > size - 8) continue;  // no room for a type and a value
      const uint32_t type = Le32(section.get() + offset);
      const uint8_t* value = section.get() + offset + 4;
      if (id == 1 && !document_summary) {  // the summary stream's code page rules
        if (type == kTypeI2) {
          *code_page = PropertySetCodePage(static_cast<int16_t>(value[0] | (value[1] << 8)));
          record->code_page = static_cast<uint16_t>(*code_page);
        }
        continue;
      }
      const Kept* kept = nullptr;
      for (const Kept& candidate : kKept)
        if (candidate.document_summary == document_summary && candidate.id == id) kept = &candidate;
      if (kept == nullptr || type != kTypeLpstr) continue;
      const int64_t n = Le32(value);
      if (n == 0) continue;
      if (n - 1 > size - offset - 8) continue;  // the text runs past its section
      std::string_view text(reinterpret_cast<const char*>(value + 4), static_cast<size_t>(n - 1));
      const uint32_t source = EngineCodePage(*code_page);
      text = text.substr(0, WholeCharacters(text, static_cast<size_t>(kept->longest_source), source));
      while (!text.empty() && text.back() == '\0') text.remove_suffix(1);
      if (text.empty()) continue;
      std::string utf16;
      if (int32_t rc = ConvertBetweenCodePages(source, kCodePageUcs2, text, &utf16)) return rc;
      Store(SlotOf(*record, kept->property), utf16);
    }
  }
  return 0;
}

}  // namespace

std::string_view PropertyText(const VsdPropertyRecord& record, VsdProperty property) {
  SlotRef slot = SlotOf(const_cast<VsdPropertyRecord&>(record), property);
  size_t length = static_cast<size_t>(std::clamp<int32_t>(*slot.length, 0, static_cast<int32_t>(slot.size)));
  return std::string_view(slot.text, length);
}

int32_t ReadPropertySets(KVB_OleStorage* root, uint32_t text_code_page, VsdPropertyRecord* record) {
  std::memset(record, 0, sizeof *record);
  try {
    uint32_t code_page = text_code_page;
    if (int32_t rc = ReadStream(root, false, &code_page, record)) return rc;
    return ReadStream(root, true, &code_page, record);
  } catch (const std::bad_alloc&) {
    return NotEnoughMemory;
  }
}

}  // namespace glyphane
