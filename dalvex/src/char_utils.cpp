// Character classes of UCS-2 units and Shift_JIS codes, the C-style UCS-2
// string functions, the direct code conversions through the fixed tables
// (sjis_tables.h), the case-insensitive byte-string comparison, the unit
// width of a charset and the two filters that drop NUL units or control
// codes. The compound-file reader converts entry names with
// KVB_unicodetosjis and compares them with KVB_stricmp; the Visio text
// output and the property reader strip control codes before converting.
#include <cstddef>

#include "dalvex/char_utils.h"
#include "sjis_tables.h"

namespace {

// Valid double-byte Shift_JIS codes (Windows-31J), lead byte first; the
// same ranges as the buffer encoding check scores.
struct CodeRange {
  uint16_t low, high;
};
constexpr CodeRange kJisRanges[] = {
    {0x8140, 0x81AC}, {0x81B8, 0x81BF}, {0x81C8, 0x81CE}, {0x81DA, 0x81E8}, {0x81F0, 0x81F7},
    {0x81FC, 0x81FC}, {0x824F, 0x8258}, {0x8260, 0x8279}, {0x8281, 0x829A}, {0x829F, 0x82F1},
    {0x8340, 0x8396}, {0x839F, 0x83B6}, {0x83BF, 0x83D6}, {0x8440, 0x8460}, {0x8470, 0x8491},
    {0x849F, 0x84BE}, {0x8740, 0x8775}, {0x877E, 0x877E}, {0x8780, 0x879C}, {0x889F, 0x9872},
    {0x989F, 0x9FFC}, {0xE040, 0xEAA4}, {0xED40, 0xEEEC}, {0xEEEF, 0xEEFC}, {0xF040, 0xF9FC},
    {0xFA40, 0xFC4B},
};
static_assert(sizeof kJisRanges / sizeof kJisRanges[0] == 26);

uint16_t ToSjis(char16_t unit) { return dalvex::kUcs2ToSjis[static_cast<uint16_t>(unit)]; }

char16_t AsciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 0x20) : c; }
char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 0x20) : c; }

int Compare(char16_t a, char16_t b) { return a < b ? -1 : a > b ? 1 : 0; }

// The value of one unit of `width` bytes.
uint32_t UnitValue(const uint8_t* unit, int width, bool big_endian) {
  uint32_t value = 0;
  for (int i = 0; i < width; ++i) value = value << 8 | unit[big_endian ? i : width - 1 - i];
  return value;
}

bool IsStrippedControl(uint32_t value) {
  if (value == 0x7F) return true;
  if (value >= 0x20) return false;
  return value != 0x09 && value != 0x0A && value != 0x0D && value != 0x1B;
}

// Copies the whole units of `src` that `keep` accepts; a width other than
// 1, 2 or 4 copies nothing (it would never advance or would read past the
// units).
template <typename Keep>
int CopyUnits(char* dst, const uint8_t* src, int len, int width, bool big_endian, Keep keep) {
  if (dst == nullptr || src == nullptr || len < 1) return 0;
  if (width != 1 && width != 2 && width != 4) return 0;
  int written = 0;
  for (int at = 0; len - at >= width; at += width) {
    if (!keep(UnitValue(src + at, width, big_endian))) continue;
    // Byte by byte: dst may be src, and writing never overtakes reading.
    for (int i = 0; i < width; ++i) dst[written++] = static_cast<char>(src[at + i]);
  }
  return written;
}

bool EqualsIgnoringCase(const char* a, const char* b) { return KVB_stricmp(a, b) == 0; }

}  // namespace

extern "C" {

int KVB_isucs2alnum(char16_t u) {
  return (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z');
}
int KVB_isucs2ascii(char16_t u) { return u < 0x80; }
int KVB_isucs2cntrl(char16_t u) { return u < 0x20 || u == 0x7F; }
int KVB_isucs2digit(char16_t u) { return u >= u'0' && u <= u'9'; }
int KVB_isucs2jis(char16_t u) { return ToSjis(u) > 0xFF; }
int KVB_isucs2ank(char16_t u) {
  uint16_t code = ToSjis(u);
  return code != 0 && code <= 0xFF;
}
int KVB_isucs2zenhira(char16_t u) {
  uint16_t code = ToSjis(u);
  return code >= 0x829F && code <= 0x82F1 ? u : 0;
}
int KVB_isucs2zenkata(char16_t u) {
  uint16_t code = ToSjis(u);
  return code >= 0x8340 && code <= 0x8396 ? u : 0;
}

char16_t* KVB_ucs2strcat(char16_t* dst, const char16_t* src) {
  if (dst == nullptr) return dst;
  KVB_ucs2strcpy(dst + KVB_ucs2strlen(dst), src);
  return dst;
}

char16_t* KVB_ucs2strchr(const char16_t* s, char16_t unit) {
  if (s == nullptr) return nullptr;
  for (;; ++s) {
    if (*s == unit) return const_cast<char16_t*>(s);
    if (*s == 0) return nullptr;
  }
}

int KVB_ucs2strcmp(const char16_t* a, const char16_t* b) {
  if (a == nullptr || b == nullptr) return Compare(a != nullptr, b != nullptr);
  for (; *a != 0 && *a == *b; ++a, ++b) {
  }
  return Compare(*a, *b);
}

char16_t* KVB_ucs2strcpy(char16_t* dst, const char16_t* src) {
  if (dst == nullptr) return dst;
  char16_t* d = dst;
  if (src != nullptr)
    while (*src != 0) *d++ = *src++;
  *d = 0;
  return dst;
}

int KVB_ucs2strncmp(const char16_t* a, const char16_t* b, int n) {
  if (n <= 0) return 0;
  if (a == nullptr || b == nullptr) return Compare(a != nullptr, b != nullptr);
  for (int i = 0; i < n; ++i) {
    if (a[i] != b[i]) return Compare(a[i], b[i]);
    if (a[i] == 0) break;
  }
  return 0;
}

// As strncpy: at most n units, the rest of the n filled with 0 units, and
// no terminator when src has n units or more.
char16_t* KVB_ucs2strncpy(char16_t* dst, const char16_t* src, int n) {
  if (dst == nullptr) return dst;
  int i = 0;
  if (src != nullptr)
    for (; i < n && src[i] != 0; ++i) dst[i] = src[i];
  for (; i < n; ++i) dst[i] = 0;
  return dst;
}

char16_t* KVB_ucs2strlwr(char16_t* s) {
  if (s != nullptr)
    for (char16_t* p = s; *p != 0; ++p) *p = AsciiLower(*p);
  return s;
}

char16_t* KVB_ucs2strupr(char16_t* s) {
  if (s != nullptr)
    for (char16_t* p = s; *p != 0; ++p) *p = AsciiUpper(*p);
  return s;
}

int KVB_ucs2strlen(const char16_t* s) {
  if (s == nullptr) return 0;
  const char16_t* p = s;
  while (*p != 0) ++p;
  return static_cast<int>(p - s);
}

// The ranges run across lead bytes, so the trail byte is checked on its own:
// 0x40-0xFC without 0x7F (a code such as 0x8930 lies in a range but is no
// Shift_JIS code).
int KVB_isjis(uint16_t code) {
  if (code <= 0xFF) return 0;
  unsigned trail = code & 0xFF;
  if (trail < 0x40 || trail > 0xFC || trail == 0x7F) return 0;
  for (const CodeRange& range : kJisRanges)
    if (code >= range.low && code <= range.high) return code;
  return 0;
}

int KVB_isank(int code) { return (code >= 0x20 && code <= 0x7E) || (code >= 0xA0 && code <= 0xDF) ? code : 0; }

uint16_t KVB_unicodetosjis(char16_t unit) { return ToSjis(unit); }
uint16_t KVB_sjistounicode(uint16_t code) { return dalvex::kSjisToUcs2[code]; }

int KVB_stricmp(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return Compare(a != nullptr, b != nullptr);
  for (;; ++a, ++b) {
    char16_t x = AsciiLower(static_cast<unsigned char>(*a)), y = AsciiLower(static_cast<unsigned char>(*b));
    if (x != y || x == 0) return Compare(x, y);
  }
}

int KVB_CopyStripNULL(char* dst, const uint8_t* src, int len, int width) {
  return CopyUnits(dst, src, len, width, false, [](uint32_t value) { return value != 0; });
}

int KVB_CopyStripControlCode(char* dst, const uint8_t* src, int len, int width, int big_endian) {
  return CopyUnits(dst, src, len, width, big_endian != 0,
                   [](uint32_t value) { return !IsStrippedControl(value); });
}

int KVB_GetGroupCharWidth(const char* charset) {
  if (charset == nullptr) return 1;
  if (EqualsIgnoringCase(charset, "ISO-10646-UCS-4")) return 4;
  if (EqualsIgnoringCase(charset, "ISO-10646-UCS-2") || EqualsIgnoringCase(charset, "UTF-16")) return 2;
  return 1;
}

}  // extern "C"
