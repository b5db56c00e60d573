// What the own parser's source files share about its input: the markers
// outside Unicode, white space, and how system literals resolve.
#pragma once

#include <unicode/unistr.h>

#include "quarnel/uri.h"

namespace ObraCommon {

using icu::UnicodeString;

namespace XmlInput {

// End of input lies outside Unicode, so that a real U+FFFF can be told
// from it; kNoChar marks an empty one-character pushback.
inline constexpr char32_t kEnd = 0x110000;
inline constexpr char32_t kNoChar = 0xFFFFFFFF;

inline constexpr char16_t kSvgNamespace[] = u"http://www.w3.org/2000/svg";
inline constexpr char16_t kXlinkNamespace[] = u"http://www.w3.org/1999/xlink";

inline bool IsSpace(char32_t c) { return c == 0x20 || c == 0x09 || c == 0x0A || c == 0x0D; }

// A value of an attribute declared other than CDATA: spaces dropped at
// both ends, runs of them made one.
inline void CollapseTokens(UnicodeString& value) {
  int32_t out = 0;
  bool space = false;
  for (int32_t i = 0; i < value.length(); ++i) {
    const char16_t u = value.charAt(i);
    if (u == u' ') {
      space = out > 0;
      continue;
    }
    if (space) value.setCharAt(out++, u' ');
    space = false;
    value.setCharAt(out++, u);
  }
  value.truncate(out);
}

inline UnicodeString Char(char32_t c) {
  if (c == kEnd || c == kNoChar) return UnicodeString();
  return UnicodeString(static_cast<UChar32>(c));
}

// A system literal read against the base URI of where it appears.
inline ZelUri ResolveLiteral(const UnicodeString& base, const UnicodeString& literal) {
  if (base.isEmpty()) return ZelUri(literal, ZelUri::URISTR_CSS_URI);
  return ZelUri(ZelUri(base, ZelUri::URISTR_CSS_URI), literal, ZelUri::URISTR_CSS_URI);
}

}  // namespace XmlInput
}  // namespace ObraCommon
