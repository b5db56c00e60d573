// The detectors of text-like data: the classifier that gives a head kind to
// markup and mail, the HTML tag scan, the OASYS Japanese text test, the XML
// family test (with the layout tests for IGES, AppleWorks and MacWrite II),
// and the last resort, the text fallback through Dalvex's text detector.
//
// The markup scans read the head as 8-bit bytes or, when the encoding check
// calls it UTF-16, as 16-bit units in the order it reports; in that form a
// unit above 0xFF is not markup and ends the scan with 0.
#include <algorithm>
#include <cstring>
#include <string>

#include "dalvex/encoding_detect.h"
#include "detect.h"

namespace probelin {

namespace {

// The head as a sequence of units: bytes, or UTF-16 units after any
// byte-order mark.
struct Units {
  ByteView bytes;
  bool wide = false;
  bool big_endian = false;
  size_t start = 0;  // first byte after a byte-order mark
  size_t count = 0;  // units

  uint32_t At(size_t i) const {
    if (!wide) return bytes.U8(start + i);
    size_t o = start + 2 * i;
    return big_endian ? bytes.Be16(o) : bytes.Le16(o);
  }
};

// The bytes the markup scans may look at: the head, but no further than the
// data reaches.
ByteView TextHead(const DtctWork& w) {
  int64_t n = std::min<int64_t>(w.head_length, w.data_size);
  return ByteView{w.head, size_t(std::max<int64_t>(n, 0))};
}

Units ReadUnits(const DtctWork& w) {
  Units u;
  u.bytes = TextHead(w);
  CconvCheck check{};
  check.text = reinterpret_cast<const char*>(u.bytes.data);
  check.position = 0;
  check.end = int32_t(u.bytes.size);
  int named = cconvChkEncode(&check);
  if (named == 1 && std::strcmp(check.charset, "UTF-16") == 0) {
    u.wide = true;
    u.big_endian = check.big_endian != 0;
    uint16_t first = u.bytes.Be16(0);
    if (first == 0xFEFF || first == 0xFFFE) u.start = 2;
    u.count = (u.bytes.size - std::min(u.bytes.size, u.start)) / 2;
    return u;
  }
  // Eight-bit: up to the first NUL, or, for text in a named encoding, up to
  // four NULs in a row.
  size_t run_limit = named == 1 ? 4 : 1, run = 0, end = 0;
  for (; end < u.bytes.size; ++end) {
    run = u.bytes.data[end] == 0 ? run + 1 : 0;
    if (run == run_limit) {
      end = end + 1 - run;
      break;
    }
  }
  u.count = end;
  return u;
}

uint32_t UpperUnit(uint32_t c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

// True when the units from i on spell text, ASCII case ignored.
bool UnitsEqualFolded(const Units& u, size_t i, const char* text) {
  size_t n = std::strlen(text);
  if (i > u.count || n > u.count - i) return false;
  for (size_t k = 0; k < n; ++k)
    if (UpperUnit(u.At(i + k)) != UpperAscii(uint8_t(text[k]))) return false;
  return true;
}

// Lines at the start or after CR/LF, as the mail rules read them.
bool LooksLikeMail(ByteView h) {
  bool mime = false, content = false, from = false, to = false, date = false;
  size_t at = 0;
  while (at < h.size) {
    if (h.EqualsFolded(at, "MIME-VERSION:")) mime = true;
    else if (mime && h.EqualsFolded(at, "CONTENT-TYPE")) content = true;
    if (h.EqualsFolded(at, "FROM")) from = true;
    if (h.EqualsFolded(at, "TO")) to = true;
    if (h.EqualsFolded(at, "DATE")) date = true;
    while (at < h.size && h.data[at] != '\r' && h.data[at] != '\n') ++at;
    while (at < h.size && (h.data[at] == '\r' || h.data[at] == '\n')) ++at;
  }
  return (mime && content) || (from && to && date);
}

constexpr const char* kClassifierTags[] = {"HTML", "!DOCTYPE", "!--", "!ATTLIST", "!ELEMENT", "!ENTITY", "!SGML"};

// Sorted, for the binary search of the tag scan.
constexpr const char* kDeclarations[] = {"!--", "!ATTLIST", "!DOCTYPE", "!ELEMENT", "!ENTITY", "!SGML"};
constexpr const char* kHtmlTags[] = {
    "A",    "ADDRESS", "B",       "BLOCKQUOTE", "BODY", "BR",     "CITE",    "CODE", "DD",     "DFN",
    "EM",   "H1",      "H2",      "H3",         "H4",   "H5",     "H6",      "HEAD", "HR",     "HTML",
    "I",    "IMG",     "ISINDEX", "KBD",        "KEY",  "LI",     "LISTING", "MENU", "NEXTID", "P",
    "PRE",  "SAMP",    "STRONG",  "TITLE",      "TT",   "U",      "VAR",     "XMP"};

template <size_t N>
bool InSorted(const char* const (&list)[N], const std::string& name) {
  return std::binary_search(std::begin(list), std::end(list), name,
                            [](const auto& a, const auto& b) { return std::string(a) < std::string(b); });
}

bool IsBlank(uint32_t c) { return c == ' ' || c == '\t'; }
bool IsLineBreak(uint32_t c) { return c == '\r' || c == '\n'; }

constexpr size_t kLongestTagName = 71;

}  // namespace

int TextHeaderKind(const DtctWork& w) {
  Units u = ReadUnits(w);
  for (size_t i = 0; i < u.count; ++i) {
    uint32_t c = u.At(i);
    if (c > 0xFF) return 0;
    if (c != '<') continue;
    for (const char* tag : kClassifierTags)
      if (UnitsEqualFolded(u, i + 1, tag)) return 1;
  }
  return LooksLikeMail(TextHead(w)) ? 20 : 0;
}

bool IsMail(const DtctWork& w) { return LooksLikeMail(ByteView{w.head, size_t(w.head_length)}); }

int TestHtml(DtctWork& w) {
  Units u = ReadUnits(w);
  bool comment = false, html = false, bookmark = false;
  for (size_t i = 0; i < u.count; ++i) {
    uint32_t c = u.At(i);
    if (c > 0xFF) return 0;
    if (c != '<') continue;
    size_t end = i + 1;
    while (end < u.count && !IsLineBreak(u.At(end)) && !IsBlank(u.At(end)) && u.At(end) != '>') ++end;
    size_t length = end - (i + 1);
    if (length == 0 || length > kLongestTagName) continue;
    std::string name;
    for (size_t k = i + 1; k < end; ++k) name.push_back(char(UpperUnit(u.At(k))));
    if (name[0] == '!') {
      // A comment's text may follow "<!--" without a blank.
      if (name.rfind("!--", 0) == 0) {
        comment = true;
        continue;
      }
      if (!InSorted(kDeclarations, name)) continue;
      if (name == "!DOCTYPE") {
        size_t at = end;
        while (at < u.count && IsBlank(u.At(at))) ++at;
        if (UnitsEqualFolded(u, at, "HTML")) html = true;
        else if (UnitsEqualFolded(u, at, "NETSCAPE-BOOKMARK-FILE")) bookmark = true;
      }
      if (bookmark) return 1;
      SetFormat(w, html ? 210 : 209, 0);
      return 1;
    }
    if (name[0] != '/' && InSorted(kHtmlTags, name)) {
      SetFormat(w, 210, 0);
      return 1;
    }
  }
  if (!comment) return 0;
  SetFormat(w, 210, 0);
  return 1;
}

int TestOasysText(DtctWork& w) {
  ByteView h = TextHead(w);
  auto is_hex = [](uint8_t c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); };
  auto hex = [](uint8_t c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
  auto is_digit = [](uint8_t c) { return c >= '0' && c <= '9'; };
  int marks = 0;
  size_t at = 0;
  while (at < h.size) {
    uint8_t c = h.data[at];
    if (c == '\r') {
      if (h.U8(at + 1) != '\n') return 0;
      at += 2;
    } else if (c == '\n' || c == '\t' || c == '\f' || c == 0x1A || (c >= 0x20 && c <= 0x7E) ||
               (c >= 0xA1 && c <= 0xDF)) {
      ++at;
    } else if (c == 0xEF && h.U8(at + 1) == 0xAF) {
      if (h.U8(at + 2) != 0xB1 || !is_hex(h.U8(at + 3)) || !is_hex(h.U8(at + 4)) ||
          hex(h.U8(at + 3)) * 16 + hex(h.U8(at + 4)) >= 0x80)
        return 0;
      ++marks;
      at += 5;
    } else if (c == 0xEF && h.U8(at + 1) == 0xBF) {
      if (!is_digit(h.U8(at + 2)) || !is_digit(h.U8(at + 3)) || !is_digit(h.U8(at + 4))) return 0;
      ++marks;
      at += 5;
    } else if (c == 0xEF && h.U8(at + 1) == 0xC0) {
      uint8_t v = h.U8(at + 2);
      if (!((v >= 0x20 && v <= 0x7F) || v >= 0xA0) || !h.Has(at, 3)) return 0;
      ++marks;
      at += 3;
    } else if (c == 0xFC) {
      uint8_t t = h.U8(at + 1);
      if (t < 0x9F || t > 0xC8) return 0;
      at += 2;
    } else if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFB)) {
      uint8_t t = h.U8(at + 1);
      if (!h.Has(at, 2) || t < 0x40 || t == 0x7F || t > 0xFC) return 0;
      at += 2;
    } else {
      return 0;
    }
  }
  if (marks == 0) return 0;
  SetFormat(w, 271, 0);
  w.language = kJapanese;
  return 1;
}

namespace {

const char* const kAppleWorksNames[] = {"Apple Works DR", "Apple Works WP", "Apple Works SS",
                                        "Apple Works DB", "Apple Works PT", "Apple Works PR"};

// Three lines in a row of that length, ending in LF, with a section letter
// in column 73.
bool IgesLines(ByteView h, size_t line) {
  for (size_t k = 0; k < 3; ++k) {
    size_t at = k * line;
    if (!h.Has(at, line) || h.U8(at + line - 1) != '\n') return false;
    if (line == 82 && h.U8(at + line - 2) != '\r') return false;
    uint8_t letter = h.U8(at + 72);
    if (letter != 'D' && letter != 'G' && letter != 'S') return false;
  }
  return true;
}

bool StartsXml(ByteView h, size_t at) {
  if (h.Equals(at, "<?XML") || h.Equals(at, "<?xml")) return true;
  static const char kWideForms[][10] = {{'<', 0, '?', 0, 'x', 0, 'm', 0, 'l', 0},
                                        {'<', 0, '?', 0, 'X', 0, 'M', 0, 'L', 0},
                                        {0, '<', 0, '?', 0, 'x', 0, 'm', 0, 'l'},
                                        {0, '<', 0, '?', 0, 'X', 0, 'M', 0, 'L'}};
  for (const auto& form : kWideForms)
    if (h.Has(at, 10) && std::memcmp(h.data + at, form, 10) == 0) return true;
  // "<" as one UTF-16 or UCS-4 unit, either order.
  uint32_t le = h.Le32(at), be = h.Be32(at);
  return h.Le16(at) == '<' || h.Be16(at) == '<' || le == '<' || be == '<';
}

// True when one of the texts occurs within the first `within` bytes.
bool FindWithin(ByteView h, size_t from, size_t within, const std::string& text, size_t* found = nullptr) {
  size_t end = std::min(h.size, within);
  for (size_t at = from; at + text.size() <= end; ++at)
    if (std::memcmp(h.data + at, text.data(), text.size()) == 0) {
      if (found) *found = at;
      return true;
    }
  return false;
}

const char* XmlName(ByteView h) {
  static const std::string kXslForms[] = {"<xsl", "<XSL", std::string("<\0x\0s\0l\0", 8), std::string("<\0X\0S\0L\0", 8),
                                          std::string("\0<\0x\0s\0l", 8), std::string("\0<\0X\0S\0L", 8)};
  for (const std::string& form : kXslForms)
    if (FindWithin(h, 0, 1024, form)) return "XSL";
  size_t app = 0, progid = 0;
  if (FindWithin(h, 0, kHeadSize, "mso-application", &app) && FindWithin(h, app, kHeadSize, "progid=", &progid)) {
    if (FindWithin(h, progid, kHeadSize, "Word.Document")) return "Word XML";
    if (FindWithin(h, progid, kHeadSize, "Excel.Sheet")) return "Excel XML";
  }
  return "XML";
}

void NameRecord(FileDtctRecord* record, const char* name) {
  std::memset(record, 0, sizeof *record);
  CopyText(record->name, sizeof record->name, name);
}

}  // namespace

int TestXmlFamily(DtctWork& w, FileDtctRecord* record) {
  ByteView h = TextHead(w);
  if (h.U8(8) == 0 && h.U8(9) == 0x48 && h.U8(10) == 0 && h.U8(11) == 0x48 && h.Has(8, 4)) {
    NameRecord(record, "Mac Write II");
    return 1;
  }
  static const uint8_t kAppleWorks[] = {0x06, 0x07, 0xAC, 0x00};
  if (h.Has(0, 8) && std::memcmp(h.data, kAppleWorks, 4) == 0 && h.Equals(4, "BOBO")) {
    uint8_t kind = h.U8(278);
    if (kind >= std::size(kAppleWorksNames)) return -1;
    NameRecord(record, kAppleWorksNames[kind]);
    return 1;
  }
  size_t skip = 0;
  uint32_t first4 = h.Be32(0);
  if (first4 == 0xFFFEFFFF || first4 == 0xFFFFFEFF) skip = 4;
  else if (h.U8(0) == 0xEF && h.U8(1) == 0xBB && h.U8(2) == 0xBF) skip = 3;
  else if (h.Be16(0) == 0xFEFF || h.Be16(0) == 0xFFFE) skip = 2;
  if (!StartsXml(h, skip)) {
    if (IgesLines(h, 82) || IgesLines(h, 81)) {
      NameRecord(record, "IGES");
      return 1;
    }
    return -1;
  }
  NameRecord(record, XmlName(h));
  return 1;
}

int TextFallback(DtctWork& w, FileDtctRecord* record) {
  bool keep = std::strcmp(record->name, "HTML") == 0 || std::strcmp(record->name, "XML") == 0;
  // The hint is read, never written: at most its 260 bytes.
  char hint[sizeof record->text_result + 1];
  std::memcpy(hint, record->text_result, sizeof record->text_result);
  hint[sizeof record->text_result] = '\0';
  return ApplyTextWord(record, dtctText(PathOf(w), hint), keep);
}

int ApplyTextWord(FileDtctRecord* record, int word, bool keep) {
  if (word == -1) return -1;
  auto clear_names = [&] {
    record->name[0] = '\0';
    record->second_text[0] = '\0';
    record->language[0] = '\0';
  };
  if (!keep) clear_names();
  if (word == 0) return kDtctTextFallback;
  if (!keep) CopyText(record->name, sizeof record->name, "TEXT");
  uint32_t bits = uint32_t(word);
  const char* charset;
  switch (bits & 0xFFFF) {
    case 0x1: charset = "UNKNOWN"; break;
    case 0x2: charset = "UTF-8"; break;
    case 0x4: case 0x8: case 0xC: charset = "UTF-16"; bits &= ~0x8u; break;
    case 0x10: charset = "ISO-10646-UCS-4"; break;
    case 0x20: charset = "ISO-2022-JP"; break;
    case 0x40: charset = "EUC-JP"; break;
    case 0x80: charset = "EUC-JP-FIX"; break;
    case 0x100: case 0x2000: case 0x2100: charset = "WINDOWS31J"; bits &= ~0x2000u; break;
    case 0x200: charset = "ISO-8859-1"; break;
    case 0x400: charset = "GBK"; break;
    case 0x800: charset = "Big5"; break;
    case 0x1000: charset = "KS_C_5601-1987"; break;
    default: charset = "Multi Charsets"; break;
  }
  CopyText(record->second_text, sizeof record->second_text, charset);
  if (std::strcmp(charset, "UNKNOWN") == 0) {
    clear_names();
    return -1;
  }
  // A little-endian UTF-16 answer decided alone is not taken as text.
  return bits == 0x40000004u ? -1 : kDtctTextFallback;
}

int RejectBmpRiff(const DtctWork& w, int answer) {
  ByteView h = Head(w);
  if (h.Equals(0, "BM") && int64_t(h.Le32(2)) == w.data_size) return -1;
  if (h.Equals(0, "RIFF") && int64_t(h.Le32(4)) + 8 == w.data_size) return -1;
  return answer;
}

}  // namespace probelin
