// CutStr: how much of a converted text an extractor may still write when
// its output length limit is reached. The answer never ends inside a
// character, inside an escape sequence or between a CR and the LF after it,
// so the kept text decodes cleanly and the line end is whole or absent.
//
// The charset is classified by the start of its name (so "Shift_JIS-2004"
// walks as Shift_JIS and "ISO-2022-JP-2004" as ISO-2022-JP); names are
// compared without regard to ASCII case, as the engine takes them. Byte
// charsets are walked character by character from the start, unit charsets
// are cut at a unit boundary. A name of no known class is cut at the limit.
#include <algorithm>
#include <cstring>

#include "dalvex/char_utils.h"

namespace {

enum class Class {
  kUnknown,
  kSingleByte,  // ISO-8859-*, ISO-646IRV
  kUnits2,      // ISO-10646-UCS-2, EUC-JP-FIX
  kUtf16,
  kUnits4,  // ISO-10646-UCS-4
  kUtf8,
  kEuc,       // EUC-JP, EUC-JIS-2004, EUC-JISX0213
  kShiftJis,  // Shift_JIS*, WINDOWS31J
  kDoubleFrom81,  // ChineseGBK, ChineseBIG5, KoreanKSC
  kGb18030,
  kIso2022,
};

constexpr uint8_t kCr = 0x0D, kLf = 0x0A, kEsc = 0x1B;

bool StartsWith(const char* name, const char* prefix) {
  for (; *prefix != 0; ++name, ++prefix) {
    char a = *name, b = *prefix;
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a + 0x20);
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b + 0x20);
    if (a != b) return false;  // also at the end of name
  }
  return true;
}

Class Classify(const char* name) {
  if (name == nullptr) return Class::kUnknown;
  // Longer names before the names they start with.
  static constexpr struct {
    const char* prefix;
    Class cls;
  } kPrefixes[] = {
      {"EUC-JISX0213", Class::kEuc},     {"EUC-JIS-2004", Class::kEuc},
      {"ISO-2022-JP-3", Class::kIso2022}, {"Shift_JISX0213", Class::kShiftJis},
      {"Shift_JIS", Class::kShiftJis},   {"WINDOWS31J", Class::kShiftJis},
      {"ISO-10646-UCS-2", Class::kUnits2}, {"ISO-10646-UCS-4", Class::kUnits4},
      {"UTF-16", Class::kUtf16},         {"UTF-8", Class::kUtf8},
      {"EUC-JP-FIX", Class::kUnits2},    {"EUC-JP", Class::kEuc},
      {"ISO-2022-JP", Class::kIso2022},  {"ChineseGBK", Class::kDoubleFrom81},
      {"GB18030", Class::kGb18030},      {"ChineseBIG", Class::kDoubleFrom81},
      {"KoreanKSC", Class::kDoubleFrom81}, {"ISO-8859-", Class::kSingleByte},
      {"ISO-646IRV", Class::kSingleByte},
  };
  for (const auto& entry : kPrefixes)
    if (StartsWith(name, entry.prefix)) return entry.cls;
  return Class::kUnknown;
}

// The text with its length; reads are checked against it.
struct Text {
  const uint8_t* bytes;
  int len;
  bool Has(int at) const { return at >= 0 && at < len; }
  uint8_t At(int at) const { return bytes[at]; }
};

// The cut after a walk whose last character started at `last`: a CR that
// the text continues with LF stays out.
int KeepLineEnd(const Text& t, int kept, int last) {
  if (kept > 0 && last == kept - 1 && t.At(last) == kCr && t.Has(kept) && t.At(kept) == kLf) return kept - 1;
  return kept;
}

// Walks characters whose length `length_at` tells from their first bytes,
// up to `count`; answers the cut with the line-end rule applied.
template <typename LengthAt>
int WalkBytes(const Text& t, int count, LengthAt length_at) {
  int at = 0, last = -1;
  while (at < count) {
    int n = length_at(at);
    if (n > count - at) break;
    last = at;
    at += n;
  }
  return KeepLineEnd(t, at, last);
}

int Utf8Length(uint8_t b) {
  if (b < 0xC0 || b >= 0xFE) return 1;
  if (b < 0xE0) return 2;
  if (b < 0xF0) return 3;
  if (b < 0xF8) return 4;
  if (b < 0xFC) return 5;
  return 6;
}

int EucLength(uint8_t b) {
  if (b == 0x8F) return 3;
  if (b == 0x8E || (b >= 0xA1 && b <= 0xFE)) return 2;
  return 1;
}

bool IsDigit(uint8_t b) { return b >= '0' && b <= '9'; }

// GB18030: a lead byte with a digit after it starts a four-byte character,
// whatever follows (a shorter reading would split it).
int Gb18030Length(const Text& t, int at) {
  uint8_t b = t.At(at);
  if (b < 0x81 || b > 0xFE) return 1;
  return t.Has(at + 1) && IsDigit(t.At(at + 1)) ? 4 : 2;
}

// ISO-2022-JP and its JIS X 0213 forms: escape sequences (ESC, bytes
// 0x20-0x2F, a final byte 0x30-0x7E) count their real length; ESC "$"
// sequences select double-byte mode, others single-byte. In double-byte
// mode TAB, LF and CR still stand alone, as the engine reads them. A cut
// after a CR followed by LF leaves the CR out, and with it an ESC "("
// sequence right before it.
int WalkIso2022(const Text& t, int count) {
  int at = 0, last = -1;
  bool double_byte = false;
  int escape_start = -1, escape_end = -1;  // the last ESC "(" sequence
  while (at < count) {
    uint8_t b = t.At(at);
    int n;
    if (b == kEsc) {
      n = 1;
      while (t.Has(at + n) && t.At(at + n) >= 0x20 && t.At(at + n) <= 0x2F) ++n;
      ++n;  // the final byte (or the byte that ends a broken sequence)
      if (n > count - at) break;
      if (n >= 3) {
        double_byte = t.At(at + 1) == '$';
        if (t.At(at + 1) == '(') escape_start = at, escape_end = at + n;
      }
      at += n;
      continue;
    }
    n = double_byte && b != 0x09 && b != kLf && b != kCr ? 2 : 1;
    if (n > count - at) break;
    last = at;
    at += n;
  }
  int kept = KeepLineEnd(t, at, last);
  if (kept != at && escape_end == kept) kept = escape_start;
  return kept;
}

// Units of 2 or 4 bytes: a CR unit (either byte order) followed by an LF
// unit in the same order stays out.
bool IsUnit(const Text& t, int at, int width, uint8_t value, bool big_endian) {
  for (int i = 0; i < width; ++i) {
    uint8_t expected = i == (big_endian ? width - 1 : 0) ? value : 0;
    if (t.At(at + i) != expected) return false;
  }
  return true;
}

int KeepUnitLineEnd(const Text& t, int kept, int width) {
  if (kept < width || kept + width > t.len) return kept;
  for (bool big_endian : {false, true})
    if (IsUnit(t, kept - width, width, kCr, big_endian) && IsUnit(t, kept, width, kLf, big_endian))
      return kept - width;
  return kept;
}

uint16_t Unit16(const Text& t, int at, bool big_endian) {
  return big_endian ? static_cast<uint16_t>(t.At(at) << 8 | t.At(at + 1))
                    : static_cast<uint16_t>(t.At(at + 1) << 8 | t.At(at));
}

int SurrogateHalf(uint16_t u) {  // 1 high, 2 low, 0 none
  if (u >= 0xD800 && u <= 0xDBFF) return 1;
  if (u >= 0xDC00 && u <= 0xDFFF) return 2;
  return 0;
}

// Bytes of the UTF-16 character at `at`: a surrogate and a surrogate of the
// other half after it form one character (in either order, as the engine
// pairs them).
int Utf16Length(const Text& t, int at, bool big_endian) {
  int half = SurrogateHalf(Unit16(t, at, big_endian));
  if (half != 0 && at + 4 <= t.len) {
    int next = SurrogateHalf(Unit16(t, at + 2, big_endian));
    if (next != 0 && next != half) return 4;
  }
  return 2;
}

// The byte order of the text is not known here, so the cut must be a
// character boundary when the text is read in either order: both orders
// are walked side by side and the last boundary they share within `count`
// is kept.
int CutUtf16(const Text& t, int count) {
  int big = 0, little = 0, shared = 0;
  for (;;) {
    if (big == little) shared = big;
    bool advance_big = big <= little;
    int& at = advance_big ? big : little;
    if (at + 2 > count) break;
    int n = Utf16Length(t, at, advance_big);
    if (n > count - at) break;
    at += n;
  }
  return KeepUnitLineEnd(t, shared, 2);
}

}  // namespace

extern "C" int CutStr(const char* text, int len, int max, const char* charset) {
  int count = std::min(len, max);
  if (text == nullptr || count <= 0) return 0;
  Text t{reinterpret_cast<const uint8_t*>(text), len};
  switch (Classify(charset)) {
    case Class::kUnknown:
      return count;
    case Class::kSingleByte:
      return KeepLineEnd(t, count, count - 1);
    case Class::kUnits2:
      return KeepUnitLineEnd(t, count & ~1, 2);
    case Class::kUnits4:
      return KeepUnitLineEnd(t, count & ~3, 4);
    case Class::kUtf16:
      return CutUtf16(t, count);
    case Class::kUtf8:
      return WalkBytes(t, count, [&](int at) { return Utf8Length(t.At(at)); });
    case Class::kEuc:
      return WalkBytes(t, count, [&](int at) { return EucLength(t.At(at)); });
    case Class::kShiftJis:
      return WalkBytes(t, count, [&](int at) {
        uint8_t b = t.At(at);
        return (b >= 0x81 && b <= 0x9F) || b >= 0xE0 ? 2 : 1;
      });
    case Class::kDoubleFrom81:
      return WalkBytes(t, count, [&](int at) { return t.At(at) >= 0x81 ? 2 : 1; });
    case Class::kGb18030:
      return WalkBytes(t, count, [&](int at) { return Gb18030Length(t, at); });
    case Class::kIso2022:
      return WalkIso2022(t, count);
  }
  return count;
}
