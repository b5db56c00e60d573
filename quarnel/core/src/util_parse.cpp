// ZelUtil's parsers of CSS-like texts: decimal numbers, hexadecimal numbers
// and quoted strings with backslash escapes. The value tokenizer reads
// documents with them and goes on from the end pointer they set, so every
// road through them sets it, after exactly what they consumed.
#include <charconv>
#include <cstdint>
#include <limits>
#include <string>

#include "quarnel/shared_strings.h"
#include "quarnel/util.h"
#include "text_chars.h"

namespace ObraCommon {

double ZelUtil::parseNumber(const char16_t* text, const char16_t** end, bool* point) {
  if (point != nullptr) *point = false;
  if (end != nullptr) *end = text;
  if (text == nullptr) return 0;
  const char16_t* p = text;
  while (*p == u' ' || *p == u'\t' || *p == u'\n' || *p == u'\r') ++p;
  bool negative = *p == u'-';
  if (*p == u'+' || *p == u'-') ++p;
  if (!isAsciiDigit(*p) && !(*p == u'.' && isAsciiDigit(p[1]))) return 0;

  // The sign stays out: from_chars takes no "+". Digits of any count are
  // kept, so the value is the one strtod gives for the same characters.
  std::string digits;
  while (isAsciiDigit(*p)) digits.push_back(static_cast<char>(*p++));
  if (*p == u'.') {
    if (point != nullptr) *point = true;
    digits.push_back('.');
    ++p;
    while (isAsciiDigit(*p)) digits.push_back(static_cast<char>(*p++));
  }
  if (end != nullptr) *end = p;

  double value = 0;
  std::from_chars_result result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  // Without an exponent only an integer part beyond the double range is out
  // of range, which strtod answers with infinity.
  if (result.ec == std::errc::result_out_of_range) value = std::numeric_limits<double>::infinity();
  return negative ? -value : value;
}

unsigned int ZelUtil::parseHexNum(const char16_t* text, const char16_t** end, int limit) {
  if (end != nullptr) *end = text;
  if (text == nullptr) return 0;
  const char16_t* p = text;
  while (*p == u' ' || *p == u'\t' || *p == u'\n' || *p == u'\r') ++p;
  uint64_t value = 0;
  constexpr uint64_t kMax = 0xFFFFFFFFu;
  for (int taken = 0; (limit <= 0 || taken < limit) && hexDigitValue(*p) >= 0; ++taken, ++p) {
    // Saturates: once beyond 32 bits, it stays at the largest value.
    value = value * 16 + static_cast<uint64_t>(hexDigitValue(*p));
    if (value > kMax) value = kMax;
  }
  if (end != nullptr) *end = p;
  return static_cast<unsigned int>(value);
}

UnicodeString ZelUtil::parseString(const char16_t* text, const char16_t** end, QuoteMode mode) {
  if (end != nullptr) *end = text;
  if (text == nullptr) return ZelBogusString::BOGUS_VALUE;
  const char16_t* p = text;
  char16_t quote = 0;
  if (mode & (QUOTE_DOUBLE | QUOTE_SINGLE)) {
    while (isCssSpace(*p)) ++p;
    bool doubleOk = (mode & QUOTE_DOUBLE) != 0;
    bool singleOk = (mode & QUOTE_SINGLE) != 0;
    if (!((*p == u'"' && doubleOk) || (*p == u'\'' && singleOk))) return ZelBogusString::BOGUS_VALUE;
    quote = *p++;
  }

  UnicodeString out;
  while (*p != 0) {
    char16_t c = *p;
    if (quote != 0 && c == quote) {
      if ((mode & QUOTE_DOUBLED) && p[1] == quote) {
        out.append(quote);
        p += 2;
        continue;
      }
      if (end != nullptr) *end = p + 1;
      return out;
    }
    if (c == u'\\' && (mode & QUOTE_CSS_ESCAPE)) {
      char16_t next = p[1];
      if (next == 0) {
        ++p;  // a backslash at the end of the text ends the reading
        break;
      }
      if (next == u'\n' || next == u'\f') {
        p += 2;
      } else if (next == u'\r') {
        p += p[2] == u'\n' ? 3 : 2;
      } else if (hexDigitValue(next) >= 0) {
        ++p;
        uint32_t code = 0;
        for (int n = 0; n < 6 && hexDigitValue(*p) >= 0; ++n, ++p)
          code = code * 16 + static_cast<uint32_t>(hexDigitValue(*p));
        if (isCssSpace(*p)) ++p;
        if (code <= 0x10FFFF) out.append(static_cast<UChar32>(code));
      } else {
        out.append(next);
        p += 2;
      }
      continue;
    }
    out.append(c);
    ++p;
  }
  // A quoted string that never closes is no string: *end stays at text.
  if (quote != 0) return ZelBogusString::BOGUS_VALUE;
  if (end != nullptr) *end = p;
  return out;
}

}  // namespace ObraCommon
