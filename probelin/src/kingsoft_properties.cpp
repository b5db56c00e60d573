// The Kingsoft property test: a Kingsoft Office spreadsheet or presentation
// looks like an Excel or PowerPoint file, but its summary information names
// the Kingsoft product. The application name of "\005SummaryInformation"
// (and, failing that, every text and property name of
// "\005DocumentSummaryInformation") is converted from the set's code page to
// "ChineseGBK" by the conversion engine, lower-cased and compared with the
// product names. Every offset and length of the property set is checked
// against the bytes read. Without a started engine nothing matches.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dalvex/cconv.h"
#include "detect.h"

namespace probelin {

namespace {

constexpr int kPropertySetLimit = 1 << 20;
constexpr uint32_t kMaxSections = 16;
constexpr uint32_t kMaxProperties = 4096;

struct Text {
  std::string bytes;
  bool wide;  // UTF-16LE whatever the code page
};

struct PropertySet {
  int32_t code_page = 0;
  std::vector<Text> texts;
};

std::vector<uint8_t> ReadStream(KVB_OleStorage* root, const char* name) {
  std::vector<uint8_t> bytes;
  KVB_OleStream* s = KVB_2OLEopenStream(root, name);
  if (s == nullptr) return bytes;
  int size = std::min(std::max(0, KVB_2OLEGetStreamSize(s)), kPropertySetLimit);
  bytes.resize(size_t(size));
  int got = size > 0 ? KVB_2OLEreadStream(s, bytes.data(), size) : 0;
  bytes.resize(size_t(std::max(0, got)));
  KVB_2OLEcloseStream(s);
  return bytes;
}

// A text of count units at offset of the set, if it lies inside.
bool TextAt(ByteView ps, uint64_t offset, uint64_t count, bool wide, std::vector<Text>* out) {
  uint64_t bytes = wide ? count * 2 : count;
  if (count > kPropertySetLimit || offset > ps.size || bytes > ps.size - offset) return false;
  std::string text(reinterpret_cast<const char*>(ps.data + offset), size_t(bytes));
  out->push_back(Text{text, wide});
  return true;
}

// Reads one section: its code page, and its texts (the application name
// only, or every text value and dictionary name).
void ReadSection(ByteView ps, uint64_t section, bool all_texts, PropertySet* set) {
  if (section > ps.size || ps.size - section < 8) return;
  uint32_t size = ps.Le32(section), count = ps.Le32(section + 4);
  uint64_t end = std::min<uint64_t>(section + size, ps.size);
  if (count > kMaxProperties || section + 8 + uint64_t(count) * 8 > end) return;
  // The code page first: it says how 8-bit texts are stored.
  for (uint32_t i = 0; i < count; ++i) {
    uint64_t at = section + 8 + uint64_t(i) * 8;
    uint64_t value = section + ps.Le32(at + 4);
    if (ps.Le32(at) == 1 && value + 6 <= end && ps.Le16(value) == 2) set->code_page = ps.Le16(value + 4);
  }
  bool cp_wide = set->code_page == 1200;
  for (uint32_t i = 0; i < count; ++i) {
    uint64_t at = section + 8 + uint64_t(i) * 8;
    uint32_t id = ps.Le32(at);
    uint64_t value = section + ps.Le32(at + 4);
    if (value + 8 > end) continue;
    ByteView v{ps.data, size_t(end)};
    if (id == 0 && all_texts) {
      // The dictionary: count, then (id, length, name) entries.
      uint32_t entries = v.Le32(value);
      uint64_t p = value + 4;
      for (uint32_t e = 0; e < entries && e < kMaxProperties && p + 8 <= end; ++e) {
        uint32_t length = v.Le32(p + 4);
        if (!TextAt(v, p + 8, length, cp_wide, &set->texts)) break;
        p += 8 + (cp_wide ? (uint64_t(length) * 2 + 3) / 4 * 4 : length);
      }
      continue;
    }
    if (!all_texts && id != 18) continue;
    uint32_t type = v.Le32(value);
    uint32_t length = v.Le32(value + 4);
    if (type == 30) TextAt(v, value + 8, cp_wide ? length / 2 : length, cp_wide, &set->texts);
    else if (type == 31) TextAt(v, value + 8, length, true, &set->texts);
  }
}

PropertySet ReadPropertySet(const std::vector<uint8_t>& bytes, bool all_texts) {
  PropertySet set;
  ByteView ps{bytes.data(), bytes.size()};
  if (!ps.Has(0, 28) || ps.Le16(0) != 0xFFFE) return set;
  uint32_t sections = std::min(ps.Le32(24), kMaxSections);
  for (uint32_t i = 0; i < sections && ps.Has(28 + 20 * size_t(i), 20); ++i) {
    ReadSection(ps, ps.Le32(28 + 20 * size_t(i) + 16), all_texts, &set);
    if (!all_texts) break;
  }
  return set;
}

const char* CharsetOf(int32_t code_page) {
  switch (code_page) {
    case 932: case 2000: return "WINDOWS31J";
    case 936: case 3000: return "ChineseGBK";
    case 949: case 5000: return "KoreanKSC";
    case 950: case 4000: return "ChineseBIG5";
    case 1200: return "ISO-10646-UCS-2";
    case 65001: return "UTF-8";
    default: return "ISO-8859-1";
  }
}

// The text in "ChineseGBK", lower-cased, without trailing NULs; false when
// the engine cannot convert it.
bool ToLowerGbk(const Text& text, const char* charset, std::string* out) {
  CconvSession session{};
  if (cconvInitConvert(&session, nullptr, "ChineseGBK") != 0) return false;
  CconvCharsetOptions options{};  // little-endian for the UTF-16 forms
  if (cconvChgCharset(&session, &options, text.wide ? "ISO-10646-UCS-2" : charset) != 0) {
    cconvTermConvert(&session);
    return false;
  }
  std::vector<uint8_t> buffer(text.bytes.size() * 2 + 16);
  session.input = reinterpret_cast<const uint8_t*>(text.bytes.data());
  session.input_length = int32_t(text.bytes.size());
  session.output = buffer.data();
  session.output_capacity = int32_t(buffer.size());
  int status = cconvConvert(&session);
  cconvTermConvert(&session);
  if (status != 0) return false;
  out->assign(reinterpret_cast<const char*>(buffer.data()), size_t(std::max(0, session.output_length)));
  while (!out->empty() && out->back() == '\0') out->pop_back();
  for (char& c : *out)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  return true;
}

bool NamesKingsoft(const PropertySet& set) {
  static const char* const kProducts[] = {"ksoproductbuildver", "wps office", "kingsoft office"};
  for (const Text& text : set.texts) {
    std::string lower;
    if (!ToLowerGbk(text, CharsetOf(set.code_page), &lower)) continue;
    for (const char* product : kProducts)
      if (lower == product) return true;
  }
  return false;
}

}  // namespace

bool KingsoftProperties(KVB_OleStorage* root) {
  if (NamesKingsoft(ReadPropertySet(ReadStream(root, "\x05" "SummaryInformation"), false))) return true;
  return NamesKingsoft(ReadPropertySet(ReadStream(root, "\x05" "DocumentSummaryInformation"), true));
}

}  // namespace probelin
