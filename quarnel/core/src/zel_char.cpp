// Character tests. The fixed sets below are sorted ranges so that one binary
// search answers each test; the property tests ask ICU.
#include "quarnel/zel_char.h"

#include "code_ranges.h"

namespace ObraCommon {

using detail::CodeRange;
using detail::inRanges;

namespace {

constexpr uint32_t kPunctMask = U_GC_PD_MASK | U_GC_PS_MASK | U_GC_PE_MASK | U_GC_PC_MASK |
                                U_GC_PO_MASK | U_GC_PI_MASK | U_GC_PF_MASK;

// Name-start characters above "z"; the ASCII ones are tested by hand.
constexpr CodeRange kNameStartRanges[] = {
    {0x00C0, 0x02FF}, {0x0370, 0x037D}, {0x037F, 0x1FFF}, {0x200C, 0x200D}, {0x2070, 0x218F},
    {0x2C00, 0x2FEF}, {0x3001, 0xD7FF}, {0xF900, 0xEFFFF}};

constexpr CodeRange kNonStarterJIS[] = {
    {0x3005, 0x3005}, {0x3041, 0x3041}, {0x3043, 0x3043}, {0x3045, 0x3045}, {0x3047, 0x3047},
    {0x3049, 0x3049}, {0x3063, 0x3063}, {0x3083, 0x3083}, {0x3085, 0x3085}, {0x3087, 0x3087},
    {0x308E, 0x308E}, {0x3095, 0x3095}, {0x3096, 0x3096}, {0x309D, 0x309D}, {0x309E, 0x309E},
    {0x30A1, 0x30A1}, {0x30A3, 0x30A3}, {0x30A5, 0x30A5}, {0x30A7, 0x30A7}, {0x30A9, 0x30A9},
    {0x30C3, 0x30C3}, {0x30E3, 0x30E3}, {0x30E5, 0x30E5}, {0x30E7, 0x30E7}, {0x30EE, 0x30EE},
    {0x30F5, 0x30F5}, {0x30F6, 0x30F6}, {0x30FC, 0x30FE}, {0x31F0, 0x31FF}, {0xFF67, 0xFF70}};

constexpr CodeRange kSymbolJIS[] = {
    {0x00A7, 0x00A7}, {0x00A8, 0x00A8}, {0x00B0, 0x00B0}, {0x00B1, 0x00B1}, {0x00B4, 0x00B4},
    {0x00B6, 0x00B6}, {0x00D7, 0x00D7}, {0x00F7, 0x00F7}, {0x2010, 0x2010}, {0x2015, 0x2015},
    {0x2018, 0x2018}, {0x2019, 0x2019}, {0x201C, 0x201C}, {0x201D, 0x201D}, {0x2020, 0x2020},
    {0x2021, 0x2021}, {0x2025, 0x2025}, {0x2026, 0x2026}, {0x2030, 0x2030}, {0x2032, 0x2032},
    {0x2033, 0x2033}, {0x203B, 0x203B}, {0x2103, 0x2103}, {0x2116, 0x2116}, {0x2121, 0x2121},
    {0x212B, 0x212B}, {0x2160, 0x2169}, {0x2190, 0x2193}, {0x21D2, 0x21D2}, {0x21D4, 0x21D4},
    {0x2200, 0x2200}, {0x2202, 0x2202}, {0x2203, 0x2203}, {0x2207, 0x2207}, {0x2208, 0x2208},
    {0x220B, 0x220B}, {0x2211, 0x2211}, {0x221A, 0x221A}, {0x221D, 0x221D}, {0x221E, 0x221E},
    {0x221F, 0x221F}, {0x2220, 0x2220}, {0x2225, 0x2225}, {0x2227, 0x222C}, {0x222E, 0x222E},
    {0x2234, 0x2234}, {0x2235, 0x2235}, {0x223D, 0x223D}, {0x2252, 0x2252}, {0x2260, 0x2260},
    {0x2261, 0x2261}, {0x2266, 0x2266}, {0x2267, 0x2267}, {0x226A, 0x226A}, {0x226B, 0x226B},
    {0x2282, 0x2282}, {0x2283, 0x2283}, {0x2286, 0x2286}, {0x2287, 0x2287}, {0x22A5, 0x22A5},
    {0x22BF, 0x22BF}, {0x2312, 0x2312}, {0x2460, 0x2473}, {0x25A0, 0x25A0}, {0x25A1, 0x25A1},
    {0x25B2, 0x25B2}, {0x25B3, 0x25B3}, {0x25BC, 0x25BC}, {0x25BD, 0x25BD}, {0x25C6, 0x25C6},
    {0x25C7, 0x25C7}, {0x25CB, 0x25CB}, {0x25CE, 0x25CE}, {0x25CF, 0x25CF}, {0x25EF, 0x25EF},
    {0x2605, 0x2605}, {0x2606, 0x2606}, {0x2640, 0x2640}, {0x2642, 0x2642}, {0x266A, 0x266A},
    {0x266D, 0x266D}, {0x266F, 0x266F}};

constexpr CodeRange kBullets[] = {
    {0x2022, 0x2022}, {0x2023, 0x2023}, {0x2043, 0x2043}, {0x204C, 0x204C}, {0x204D, 0x204D},
    {0x2219, 0x2219}, {0x25D8, 0x25D8}, {0x25E6, 0x25E6}, {0x2619, 0x2619}, {0x2765, 0x2765},
    {0x2767, 0x2767}, {0x29BE, 0x29BE}, {0x29BF, 0x29BF}};

// The characters beyond Latin-1 that are drawn half width: the printable
// extras of Windows-1252 and a few punctuation marks.
constexpr CodeRange kHalfExtras[] = {
    {0x0152, 0x0152}, {0x0153, 0x0153}, {0x0160, 0x0160}, {0x0161, 0x0161}, {0x0178, 0x0178},
    {0x017D, 0x017D}, {0x017E, 0x017E}, {0x0192, 0x0192}, {0x02C6, 0x02C6}, {0x02DC, 0x02DC},
    {0x2010, 0x2010}, {0x2013, 0x2013}, {0x2014, 0x2014}, {0x2018, 0x2018}, {0x2019, 0x2019},
    {0x201A, 0x201A}, {0x201C, 0x201C}, {0x201D, 0x201D}, {0x201E, 0x201E}, {0x2020, 0x2020},
    {0x2021, 0x2021}, {0x2022, 0x2022}, {0x2026, 0x2026}, {0x2030, 0x2030}, {0x2039, 0x2039},
    {0x203A, 0x203A}, {0x20AC, 0x20AC}, {0x2122, 0x2122}};

bool isNameStartBody(int32_t c) {
  if (c < 'A') return false;
  if (c <= 'Z' || c == '_') return true;
  if (c < 'a') return false;
  if (c <= 'z') return true;
  return inRanges(kNameStartRanges, c);
}

bool isNameExtra(int32_t c) {
  return c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0x00B7 ||
         (c >= 0x0300 && c <= 0x036F) || c == 0x203F || c == 0x2040;
}

bool isPunctWithBreak(int32_t c, ULineBreak lineBreak, int32_t quote1, int32_t quote2) {
  if (!ZelChar::isPunct(c)) return false;
  return c == quote1 || c == quote2 || ZelChar::getLineBreak(c) == lineBreak;
}

template <typename Test>
bool allOf(const UnicodeString& text, Test test) {
  for (int32_t i = 0; i < text.length(); ++i) {
    if (!test(text.charAt(i))) return false;
  }
  return true;
}

}  // namespace

bool ZelChar::isNameStartChar(int32_t c) { return c == ':' || isNameStartBody(c); }
bool ZelChar::isNameChar(int32_t c) { return isNameStartChar(c) || isNameExtra(c); }
bool ZelChar::isNCNameStartChar(int32_t c) { return isNameStartBody(c); }
bool ZelChar::isNCNameChar(int32_t c) { return isNameStartBody(c) || isNameExtra(c); }

bool ZelChar::isValidChar(int32_t c) {
  if (c >= 0x20) return c <= 0xD7FF || (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
  return c == 0x09 || c == 0x0A || c == 0x0D;
}

bool ZelChar::isWhitespace(int32_t c) { return c == 0x20 || c == 0x09 || c == 0x0A || c == 0x0D; }

bool ZelChar::isWhitespace(const UnicodeString& text) {
  return !text.isEmpty() && allOf(text, [](char16_t u) { return isWhitespace(u); });
}

bool ZelChar::isEmptyOrWhitespace(const UnicodeString& text) {
  return allOf(text, [](char16_t u) { return isWhitespace(u); });
}

bool ZelChar::isCssWhitespace(int32_t c) { return isWhitespace(c) || c == 0x0C; }
bool ZelChar::isCssNewline(int32_t c) { return c == 0x0A || c == 0x0D || c == 0x0C; }
bool ZelChar::isHardBreak(int32_t c) { return c == 0x0A || c == 0x0C || c == 0x2028 || c == 0x2029; }
bool ZelChar::isHardBreakOrInvalid(int32_t c) { return isHardBreak(c) || c == 0xFFFF; }

bool ZelChar::isAsciiNoHardBreak(int32_t c) {
  return ((c >= 0 && c < 0x7F) || c == 0xA0) && c != 0x0A && c != 0x0C;
}

bool ZelChar::isAsciiDigit(int32_t c) { return c >= '0' && c <= '9'; }
bool ZelChar::isAsciiLetter(int32_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool ZelChar::isHexDigit(int32_t c) {
  return isAsciiDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool ZelChar::isSpaceChar(int32_t c) { return c == 0x20 || c == 0xA0; }
bool ZelChar::isFixedWidthSpaceChar(int32_t c) { return (c >= 0x2000 && c <= 0x200A) || c == 0x205F; }
bool ZelChar::isJoiningChar(int32_t c) { return c == 0x200C || c == 0x200D; }

bool ZelChar::isZeroWidthControlCode(int32_t c) {
  if (c == 0x00AD) return false;
  return u_iscntrl(c) || (!u_isgraph(c) && !u_isblank(c));
}

int32_t ZelChar::hex2dig(int32_t c) {
  if (isAsciiDigit(c)) return c - '0';
  // "A" is 0x41 and "a" 0x61: both end in 1, so the low four bits less one
  // count from A.
  return ((c - 1) & 15) + 10;
}

UEastAsianWidth ZelChar::getEastAsianWidth(int32_t c) {
  return static_cast<UEastAsianWidth>(u_getIntPropertyValue(c, UCHAR_EAST_ASIAN_WIDTH));
}

UCharCategory ZelChar::getCategory(int32_t c) { return static_cast<UCharCategory>(u_charType(c)); }

ULineBreak ZelChar::getLineBreak(int32_t c) {
  return static_cast<ULineBreak>(u_getIntPropertyValue(c, UCHAR_LINE_BREAK));
}

bool ZelChar::isAlphabetic(int32_t c) { return u_isUAlphabetic(c); }
bool ZelChar::isLetter(int32_t c) { return (U_GET_GC_MASK(c) & U_GC_L_MASK) != 0; }
bool ZelChar::isPunct(int32_t c) { return (U_GET_GC_MASK(c) & kPunctMask) != 0; }
bool ZelChar::isPunct(UCharCategory category) { return (U_MASK(category) & kPunctMask) != 0; }
bool ZelChar::isSymbol(int32_t c) { return (U_GET_GC_MASK(c) & U_GC_S_MASK) != 0; }

bool ZelChar::isZenkaku(UEastAsianWidth width) {
  return width == U_EA_FULLWIDTH || width == U_EA_WIDE;
}
bool ZelChar::isZenkaku(int32_t c) { return isZenkaku(getEastAsianWidth(c)); }
bool ZelChar::isZenkakuAmbiguous(UEastAsianWidth width) {
  return width == U_EA_AMBIGUOUS || isZenkaku(width);
}
bool ZelChar::isHankaku(UEastAsianWidth width) { return width == U_EA_HALFWIDTH; }
bool ZelChar::isHankaku(int32_t c) { return isHankaku(getEastAsianWidth(c)); }
bool ZelChar::isHankakuChar(int32_t c) { return (c >= 0 && c < 0x80) || isHankakuKana(c); }
bool ZelChar::isHankakuKana(int32_t c) { return c >= 0xFF61 && c <= 0xFF9F; }
bool ZelChar::isNoVerticalChar(int32_t c) { return (c >= 0 && c < 0x2000) || (c >= 0xFF60 && c <= 0xFF9F); }
bool ZelChar::isHalf(int32_t c) { return (c >= 0 && c <= 0xFF) || inRanges(kHalfExtras, c); }

char16_t ZelChar::toZenkaku(char16_t unit) {
  return unit >= 0x21 && unit <= 0x7E ? static_cast<char16_t>(unit + 0xFEE0) : unit;
}

bool ZelChar::isOpenParenEtc(int32_t c) { return isPunctWithBreak(c, U_LB_OPEN_PUNCTUATION, 0x2018, 0x201C); }
bool ZelChar::isCloseParenEtc(int32_t c) { return isPunctWithBreak(c, U_LB_CLOSE_PUNCTUATION, 0x2019, 0x201D); }
bool ZelChar::isZenkakuMidDotEtc(int32_t c) { return c == 0x30FB || c == 0xFF1A || c == 0xFF1B; }
bool ZelChar::isHalfPunct(int32_t c) {
  return isOpenParenEtc(c) || isCloseParenEtc(c) || isZenkakuMidDotEtc(c);
}
bool ZelChar::isHangingPunctuationEndChar(int32_t c) {
  return c == 0x3001 || c == 0x3002 || c == 0xFF0C || c == 0xFF0E;
}
bool ZelChar::isFullStopChar(int32_t c) { return c == 0x3002 || c == 0xFF0E; }
bool ZelChar::isBullet(int32_t c) { return inRanges(kBullets, c); }

bool ZelChar::isNonSeparateChars(int32_t a, int32_t b) {
  if (a >= 0x2014 && a <= 0x2026 && (a <= 0x2015 || a >= 0x2024)) return b == a;
  return (a == 0x3033 || a == 0x3034) && b == 0x3035;
}

bool ZelChar::isNonStarterJIS(int32_t c) { return inRanges(kNonStarterJIS, c); }
bool ZelChar::isSymbolJIS(int32_t c) { return inRanges(kSymbolJIS, c); }

bool ZelChar::isMathOperator(int32_t c) {
  return (c >= 0x2200 && c <= 0x22FF) || (c >= 0x27C0 && c <= 0x27FF) || (c >= 0x2980 && c <= 0x2AFF) ||
         (c >= 0x1D400 && c <= 0x1D7FF);
}
bool ZelChar::isArrow(int32_t c) { return c >= 0x2190 && c <= 0x21FF; }
bool ZelChar::isToneLetters(int32_t c) { return c >= 0x02E5 && c <= 0x02E9; }
bool ZelChar::isArabic(int32_t c) { return c >= 0x0600 && c <= 0x06FF; }
bool ZelChar::isVariationSelectorCharacter(int32_t c) { return c >= 0xE0100 && c <= 0xE01EF; }

char16_t ZelChar::last(const UnicodeString& text) {
  return text.isEmpty() ? char16_t{0xFFFF} : text.charAt(text.length() - 1);
}

int32_t ZelChar::last32(const UnicodeString& text) {
  const int32_t n = text.length();
  if (n == 0) return 0xFFFF;
  const char16_t tail = text.charAt(n - 1);
  if (n >= 2 && U16_IS_TRAIL(tail) && U16_IS_LEAD(text.charAt(n - 2))) {
    return U16_GET_SUPPLEMENTARY(text.charAt(n - 2), tail);
  }
  return tail;
}

}  // namespace ObraCommon
