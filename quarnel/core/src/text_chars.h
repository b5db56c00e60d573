// Character tests of the library's text parsers, for UTF-16 code units:
// ASCII digits, hexadecimal digits and the white space of CSS (space, tab,
// LF, CR and FF).
#pragma once

#include <cstddef>
#include <string_view>

#include <unicode/unistr.h>

namespace ObraCommon {

inline bool isAsciiDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// 0 to 15, or -1 for a character that is no hexadecimal digit.
inline int hexDigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

inline bool isCssSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f'; }

// The first length units of a text, for comparing with constant tables.
inline std::u16string_view unitsOf(const icu::UnicodeString& text, int32_t length) {
  return {text.getBuffer(), static_cast<size_t>(length)};
}

}  // namespace ObraCommon
