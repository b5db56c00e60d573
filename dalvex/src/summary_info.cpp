// SummaryInfo (see summary_info.h): reads the two property-set streams of a
// compound file and converts the properties a format code selects into the
// text slots of a KVB_SummaryRecord.
//
// A property-set stream is a 28-byte header (section count at 24), a list
// of (FMTID, offset) pairs from 28, and sections: a size, a property count,
// (id, offset) pairs and typed values at those offsets. Everything read
// from the stream is checked where it is read, in 64-bit arithmetic: the
// section list must fit the stream, a section must lie inside the stream and
// is read whole, and a property whose value runs past its section is
// skipped. Each conversion writes at most its slot, less one byte, so every
// slot stays NUL-terminated.
#include "dalvex/summary_info.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "dalvex/cconv.h"
#include "dalvex/compound_file.h"

namespace {

constexpr int kTooShortOrInconsistent = InvalidFile;  // 3002

constexpr uint8_t kSummaryFmtid[16] = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10,
                                       0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
constexpr uint8_t kDocumentSummaryFmtid[16] = {0x02, 0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10,
                                               0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE};

constexpr uint32_t kTypeI2 = 2, kTypeI4 = 3, kTypeLpstr = 30, kTypeLpwstr = 31, kTypeFiletime = 64;
constexpr int64_t kCopyLimit = 1026;   // bytes of a text value taken at most
constexpr int64_t kCutLength = 256;    // longer texts are cut to this
constexpr int64_t kConversionArea = 1028;
constexpr uint64_t kTicksPerDay = 864000000000ull;  // 100-ns units
constexpr uint64_t kDaysTo18991230 = 109205;        // from 1601-01-01

// Where a property goes: its id (plus 4096 in the document summary stream)
// and its slot.
struct Slot {
  uint32_t id;
  size_t offset;
  size_t width;
};

constexpr Slot kSlots[] = {
    {2, offsetof(KVB_SummaryRecord, title), 1028},
    {3, offsetof(KVB_SummaryRecord, subject), 1028},
    {4, offsetof(KVB_SummaryRecord, author), 1028},
    {5, offsetof(KVB_SummaryRecord, keywords), 1028},
    {6, offsetof(KVB_SummaryRecord, comments), 1028},
    {8, offsetof(KVB_SummaryRecord, last_author), 1028},
    {9, offsetof(KVB_SummaryRecord, revision_number), 256},
    {12, offsetof(KVB_SummaryRecord, creation_time), 256},
    {13, offsetof(KVB_SummaryRecord, last_save_time), 256},
    {18, offsetof(KVB_SummaryRecord, application_name), 256},
    {4098, offsetof(KVB_SummaryRecord, category), 1028},
    {4099, offsetof(KVB_SummaryRecord, presentation_target), 1028},
    {4100, offsetof(KVB_SummaryRecord, byte_count), 256},
    {4102, offsetof(KVB_SummaryRecord, paragraph_count), 256},
    {4103, offsetof(KVB_SummaryRecord, slide_count), 256},
    {4104, offsetof(KVB_SummaryRecord, note_count), 256},
    {4110, offsetof(KVB_SummaryRecord, manager), 1028},
    {4111, offsetof(KVB_SummaryRecord, company), 1028},
};

// The sets of properties a format code selects.
enum class Selection { kNone, kBasic, kBasicCreated, kExtended, kExtendedCreated, kShort };

Selection SelectionOf(uint16_t code) {
  auto in = [code](int low, int high) { return code >= low && code <= high; };
  if (in(5000, 5007) || in(12000, 12002) || in(15000, 15001) || in(17000, 17001) || in(21007, 21009) ||
      code == 21015)
    return Selection::kBasic;
  if (in(6000, 6002) || code == 6004 || code == 6008) return Selection::kBasicCreated;
  if (in(7000, 7001) || code == 7006 || code == 7008 || in(21000, 21006)) return Selection::kExtended;
  if (in(9003, 9004)) return Selection::kExtendedCreated;
  if (code == 10002) return Selection::kShort;
  return Selection::kNone;
}

bool Selects(Selection selection, uint32_t id) {
  auto basic = [id] {
    return (id >= 2 && id <= 6) || id == 4098 || id == 4110 || id == 4111;
  };
  auto extended = [&] {
    return basic() || id == 8 || id == 9 || id == 4099 || id == 4100 || (id >= 4102 && id <= 4104);
  };
  switch (selection) {
    case Selection::kNone: return false;
    case Selection::kBasic: return basic();
    case Selection::kBasicCreated: return basic() || id == 12;
    case Selection::kExtended: return extended();
    case Selection::kExtendedCreated: return extended() || id == 12;
    case Selection::kShort: return (id >= 2 && id <= 6) || id == 12 || id == 13 || id == 18;
  }
  return false;
}

const Slot* SlotOf(Selection selection, uint32_t id) {
  if (!Selects(selection, id)) return nullptr;
  for (const Slot& slot : kSlots)
    if (slot.id == id) return &slot;
  return nullptr;
}

// The longest 8-bit text format code 10002 keeps, by property id (0: no cut).
int64_t ShortFormLimit(uint32_t id) {
  switch (id) {
    case 3: return 16;
    case 4: return 30;
    case 5: return 210;
    case 6: return 80;
    case 18: return 30;
    default: return 0;
  }
}

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
uint64_t Le64(const uint8_t* p) { return uint64_t{Le32(p)} | (uint64_t{Le32(p + 4)} << 32); }

// Reads exactly n bytes at `offset` of the stream.
bool ReadAt(KVB_OleStream* stream, int64_t offset, void* buffer, int64_t n) {
  if (offset < 0 || n < 0 || offset > INT32_MAX || n > INT32_MAX) return false;
  if (KVB_2OLEseekStream(stream, static_cast<int>(offset), 0) != offset) return false;
  return KVB_2OLEreadStream(stream, buffer, static_cast<int>(n)) == n;
}

// The request's state for one call.
struct Call {
  const ExtractOptionsV4* options = nullptr;
  KVB_SummaryRecord* out = nullptr;
  Selection selection = Selection::kNone;
  uint16_t format_code = 0;
  uint32_t code_page = 0;
  bool code_page_stated = false;  // a property set named the code page
};

bool SameName(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

// The charset of 8-bit texts. A code page without a charset of its own is
// read as ISO-8859-1 when a set states it (so that no byte swallows the
// next); a default code page without one goes by the request's language.
const char* SourceCharset(const Call& call) {
  switch (call.code_page) {
    case 932: case 2000: return "WINDOWS31J";
    case 936: case 3000: return "ChineseGBK";
    case 949: case 5000: return "KoreanKSC";
    case 950: case 4000: return "ChineseBIG5";
    case 1200: return "ISO-10646-UCS-2";
    case 65001: return "UTF-8";
    default: break;
  }
  if (call.code_page_stated) return "ISO-8859-1";
  const char* language = call.options->language;
  if (SameName(language, "Japanese")) return "WINDOWS31J";
  if (SameName(language, "Simplified Chinese")) return "ChineseGBK";
  if (SameName(language, "Traditional Chinese")) return "ChineseBIG5";
  if (SameName(language, "Korean")) return "KoreanKSC";
  return "ISO-8859-1";
}

// The request's charset name, bounded by its field.
std::string_view TargetCharset(const ExtractOptionsV4& options) {
  return std::string_view(options.charset, strnlen(options.charset, sizeof options.charset));
}

// Converts `text` from `source` into the slot. A failed set-up leaves the
// slot empty; a conversion that stops early keeps what it produced.
void ConvertIntoSlot(const Call& call, const Slot& slot, std::string_view text, const char* source) {
  if (text.empty() || (text.size() == 1 && text[0] == '\0')) return;
  std::string target(TargetCharset(*call.options));
  CconvOptions options{};
  options.big_endian = call.options->big_endian;
  options.substitute = 1;
  if (target == "ISO-8859-1") options.substitute_low = options.substitute_high = '?';
  options.line_end_flag = 1;
  options.line_end_form = LineEndForm(call.options->flags_a);
  CconvSession session{};
  if (cconvInitConvert(&session, &options, target.c_str()) != 0) return;
  CconvCharsetOptions input{};
  // Double-byte codes are read lead byte first; UCS-2 property texts are
  // little-endian.
  input.big_endian = SameName(source, "ISO-10646-UCS-2") ? 0 : 1;
  input.skip_invalid = 1;
  if (cconvChgCharset(&session, &input, source) != 0) {
    cconvTermConvert(&session);
    return;
  }
  uint8_t area[kConversionArea] = {};
  // One byte of the slot stays for the terminator; the engine stops before
  // a character that does not fit whole.
  const int32_t capacity = static_cast<int32_t>(std::min<size_t>(sizeof area, slot.width) - 1);
  session.input = reinterpret_cast<const uint8_t*>(text.data());
  session.input_length = static_cast<int32_t>(text.size());
  session.output = area;
  session.output_capacity = capacity;
  cconvConvert(&session);
  int32_t produced = std::clamp(session.output_length, 0, capacity);
  cconvTermConvert(&session);
  std::memcpy(reinterpret_cast<char*>(call.out) + slot.offset, area, static_cast<size_t>(produced));
}

// How many bytes of an 8-bit text to keep so that it ends at a whole
// character within 256 bytes. UTF-8 lead bytes give their sequence length
// (0xF8-0xFF count as one byte); other code pages take 0x81-0x9F and
// 0xE0-0xFC as lead bytes of two.
int64_t CutEightBit(const uint8_t* text, int64_t length, uint32_t code_page) {
  if (length <= kCutLength) return length;
  int64_t end = 0;
  while (end < length) {
    uint8_t b = text[end];
    int64_t width = 1;
    if (code_page == 65001) {
      if (b >= 0xC0 && b <= 0xDF) width = 2;
      else if (b >= 0xE0 && b <= 0xEF) width = 3;
      else if (b >= 0xF0 && b <= 0xF7) width = 4;
    } else if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) {
      width = 2;
    }
    if (end + width > kCutLength) break;
    end += width;
  }
  return std::min(end, length);
}

// The same for UTF-16LE: whole units, never the first half of a pair.
int64_t CutUtf16(const uint8_t* text, int64_t length) {
  length &= ~int64_t{1};
  if (length <= kCutLength) return length;
  int64_t end = kCutLength;
  uint16_t last = Le16(text + end - 2);
  if (last >= 0xD800 && last <= 0xDBFF) end -= 2;
  return end;
}

// "%4i" (blank-padded) or "%02i" (zero-padded) of a non-negative value.
void AppendNumber(std::string* out, int64_t value, int width, char pad) {
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, value);
  for (int64_t length = result.ptr - digits; length < width; ++length) out->push_back(pad);
  out->append(digits, result.ptr);
}

bool IsLeapYear(int64_t year) {
  return year == 1900 || (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0));
}

// The date text of a file time: days since 1899-12-30 counted into years
// from 1900 (which counts 366 days, making every date from 1900-03-01 on the
// true one), then months; the time of day rounded to whole seconds, with
// carries.
std::string FileTimeText(uint64_t ticks) {
  uint64_t days = ticks / kTicksPerDay;
  if (days < kDaysTo18991230) return std::string();
  int64_t d = static_cast<int64_t>(days - kDaysTo18991230);
  double fraction = static_cast<double>(ticks % kTicksPerDay) / static_cast<double>(kTicksPerDay);
  double hours_f = 24 * fraction;
  int64_t hours = static_cast<int64_t>(hours_f);
  double minutes_f = 60 * (hours_f - static_cast<double>(hours));
  int64_t minutes = static_cast<int64_t>(minutes_f);
  int64_t seconds = std::llround(60 * (minutes_f - static_cast<double>(minutes)));
  if (seconds == 60) { seconds = 0; ++minutes; }
  if (minutes == 60) { minutes = 0; ++hours; }
  if (hours == 24) { hours = 0; ++d; }
  int64_t year = 1900;
  while (d > (IsLeapYear(year) ? 366 : 365)) {
    d -= IsLeapYear(year) ? 366 : 365;
    ++year;
  }
  static constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int month = 0;
  while (month < 11) {
    int length = kMonthDays[month] + (month == 1 && IsLeapYear(year) ? 1 : 0);
    if (d <= length) break;
    d -= length;
    ++month;
  }
  std::string text;
  AppendNumber(&text, year, 4, ' ');
  text.push_back('-');
  AppendNumber(&text, month + 1, 2, '0');
  text.push_back('-');
  AppendNumber(&text, d, 2, '0');
  text.push_back(' ');
  AppendNumber(&text, hours, 2, '0');
  text.push_back(':');
  AppendNumber(&text, minutes, 2, '0');
  text.push_back(':');
  AppendNumber(&text, seconds, 2, '0');
  return text;
}

// Takes one property of a section (`section` holds `size` bytes from the
// section's size field on).
void TakeProperty(Call& call, uint32_t stream_id, uint32_t id, const uint8_t* section, int64_t size,
                  int64_t offset) {
  const Slot* slot = SlotOf(call.selection, id);
  if (stream_id != 1 && slot == nullptr) return;
  if (offset < 0 || offset > size - 4) return;
  const uint32_t type = Le32(section + offset);
  const uint8_t* value = section + offset + 4;
  const int64_t room = size - offset - 4;  // bytes of the value inside the section

  if (type == kTypeI2) {
    if (stream_id == 1 && room >= 2) {
      call.code_page = Le16(value);  // unsigned: 65001 is also stored as -535
      call.code_page_stated = true;
    }
    return;
  }
  if (slot == nullptr) return;
  switch (type) {
    case kTypeI4: {
      if (room < 4) return;
      char digits[16];
      auto result = std::to_chars(digits, digits + sizeof digits, static_cast<int32_t>(Le32(value)));
      ConvertIntoSlot(call, *slot, std::string_view(digits, static_cast<size_t>(result.ptr - digits)),
                      SourceCharset(call));
      return;
    }
    case kTypeLpstr: {
      if (room < 4) return;
      const int64_t count = Le32(value);
      if (count == 0) return;
      const uint8_t* text = value + 4;
      const int64_t available = room - 4;
      int64_t length = count - 1;
      if (call.format_code == 10002) {
        int64_t limit = ShortFormLimit(id);
        if (limit != 0 && limit < length) length = limit;
      } else if (call.format_code == 9003 || call.format_code == 9004) {
        const void* nul = std::memchr(text, 0, static_cast<size_t>(std::min(count, available)));
        length = nul ? static_cast<const uint8_t*>(nul) - text : std::min(count, available);
      }
      if (length > available) return;  // the value runs past its section
      length = CutEightBit(text, std::min(length, kCopyLimit), call.code_page);
      ConvertIntoSlot(call, *slot, std::string_view(reinterpret_cast<const char*>(text), length),
                      SourceCharset(call));
      return;
    }
    case kTypeLpwstr: {
      // A count of UTF-16 units, whatever the set's code page.
      if (room < 4) return;
      const int64_t bytes = int64_t{Le32(value)} * 2;
      if (bytes > room - 4) return;
      const uint8_t* text = value + 4;
      int64_t length = CutUtf16(text, std::min(bytes, kCopyLimit));
      while (length >= 2 && Le16(text + length - 2) == 0) length -= 2;
      ConvertIntoSlot(call, *slot, std::string_view(reinterpret_cast<const char*>(text), length),
                      "ISO-10646-UCS-2");
      return;
    }
    case kTypeFiletime: {
      if (room < 8) return;
      std::string text = FileTimeText(Le64(value));
      if (!text.empty()) ConvertIntoSlot(call, *slot, text, SourceCharset(call));
      return;
    }
    default:
      return;
  }
}

struct StreamCloser {
  KVB_OleStream* stream;
  ~StreamCloser() { KVB_2OLEcloseStream(stream); }
};

// Reads one property-set stream: pass 0 the summary information, pass 1
// the document summary information (ids plus 4096).
int ReadPass(Call& call, KVB_OleStorage* root, int pass) {
  const char* name = pass == 0 ? "\005SummaryInformation" : "\005DocumentSummaryInformation";
  const uint8_t* fmtid = pass == 0 ? kSummaryFmtid : kDocumentSummaryFmtid;
  KVB_OleStream* stream = KVB_2OLEopenStream(root, name);
  if (stream == nullptr) return pass == 0 ? NoTextStringFound : FileCantOpen;
  StreamCloser closer{stream};

  const int64_t stream_size = KVB_2OLEGetStreamSize(stream);
  uint8_t header[28];
  if (stream_size < 28 || !ReadAt(stream, 0, header, sizeof header)) return kTooShortOrInconsistent;
  const int64_t sections = Le32(header + 24);
  if (sections > (stream_size - 28) / 20) return kTooShortOrInconsistent;

  for (int64_t i = 0; i < sections; ++i) {
    uint8_t entry[20];
    if (!ReadAt(stream, 28 + 20 * i, entry, sizeof entry)) return kTooShortOrInconsistent;
    if (std::memcmp(entry, fmtid, 16) != 0) continue;
    const int64_t section_offset = Le32(entry + 16);
    uint8_t head[8];
    if (section_offset > stream_size - 8 || !ReadAt(stream, section_offset, head, sizeof head))
      return kTooShortOrInconsistent;
    const int64_t size = Le32(head);
    if (size < 8 || size > stream_size - section_offset) return kTooShortOrInconsistent;
    const int64_t count = Le32(head + 4);
    if (count >= (size - 8) / 8) return kTooShortOrInconsistent;
    std::unique_ptr<uint8_t[]> section(new (std::nothrow) uint8_t[static_cast<size_t>(size) + 2]);
    if (!section) return NotEnoughMemory;
    if (!ReadAt(stream, section_offset, section.get(), size)) return kTooShortOrInconsistent;
    section[size] = section[size + 1] = 0;
    for (int64_t k = 0; k < count; ++k) {
      const uint8_t* pair = section.get() + 8 + 8 * k;
      const uint32_t stream_id = Le32(pair);
      const uint32_t id = stream_id + (pass == 1 ? 4096u : 0u);
      TakeProperty(call, stream_id, id, section.get(), size, Le32(pair + 4));
    }
  }
  return 0;
}

struct RootCloser {
  KVB_OleStorage* root;
  ~RootCloser() { KVB_2OLEclose(root); }
};

}  // namespace

extern "C" DALVEX_API int SummaryInfo(const char* path, const ExtractOptionsV4* options,
                                      KVB_SummaryRecord* out, const KVB_PropertyOptions* property_options) {
  if (out == nullptr) return OtherError;
  std::memset(out, 0, sizeof *out);
  if (options == nullptr) return OtherError;
  try {
    Call call;
    call.options = options;
    call.out = out;
    if (property_options != nullptr) {
      call.format_code = property_options->format_code;
      call.code_page = property_options->default_code_page;
    }
    call.selection = SelectionOf(call.format_code);
    if (path == nullptr) return FileCantOpen;
    KVB_OleStorage* root = KVB_2OLEopen(path);
    if (root == nullptr) return FileCantOpen;
    RootCloser closer{root};
    if (int rc = ReadPass(call, root, 0)) return rc;
    ReadPass(call, root, 1);
    return 0;
  } catch (...) {
    return NotEnoughMemory;
  }
}
