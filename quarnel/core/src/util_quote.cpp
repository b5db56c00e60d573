// ZelUtil's quoting: strings written for CSS-like texts (quoted, with quotes
// doubled or escaped with backslashes) and read back, and URIs in their
// url("...") form. What quoteString writes, unquoteString gives back.
#include "quarnel/shared_strings.h"
#include "quarnel/uri.h"
#include "quarnel/util.h"
#include "text_chars.h"

namespace ObraCommon {

namespace {

char16_t QuoteOf(const UnicodeString& text, ZelUtil::QuoteMode mode) {
  bool doubleOk = (mode & ZelUtil::QUOTE_DOUBLE) != 0;
  bool singleOk = (mode & ZelUtil::QUOTE_SINGLE) != 0;
  if (doubleOk && singleOk) return text.indexOf(u'"') >= 0 && text.indexOf(u'\'') < 0 ? u'\'' : u'"';
  if (doubleOk) return u'"';
  if (singleOk) return u'\'';
  return 0;
}

// The CSS escape of a character that must not stand as itself, or null.
const char16_t* CssEscape(char16_t c, char16_t quote) {
  if (c == quote) return quote == u'"' ? u"\\22" : u"\\27";
  switch (c) {
    case u'\n': return u"\\A";
    case u'\f': return u"\\C";
    case u'\r': return u"\\D";
    case u'\\': return u"\\5C";
    default: return nullptr;
  }
}

}  // namespace

UnicodeString ZelUtil::quoteString(const UnicodeString& text, QuoteMode mode) {
  char16_t quote = QuoteOf(text, mode);
  UnicodeString out;
  if (quote != 0) out.append(quote);
  int32_t length = text.length();
  for (int32_t i = 0; i < length; ++i) {
    char16_t c = text.charAt(i);
    if (mode & QUOTE_CSS_ESCAPE) {
      if (const char16_t* escape = CssEscape(c, quote)) {
        out.append(escape, -1);
        // A blank keeps a following blank or hexadecimal digit from being
        // read as part of the escape.
        if (i + 1 < length && (isCssSpace(text.charAt(i + 1)) || hexDigitValue(text.charAt(i + 1)) >= 0))
          out.append(u' ');
        continue;
      }
    } else if ((mode & QUOTE_DOUBLED) && quote != 0 && c == quote) {
      out.append(c);
    }
    out.append(c);
  }
  if (quote != 0) out.append(quote);
  return out;
}

UnicodeString ZelUtil::unquoteString(const UnicodeString& text, QuoteMode mode) {
  UnicodeString trimmed(text);
  trimmed.trim();
  const char16_t* start = trimmed.getTerminatedBuffer();
  if (start == nullptr) return ZelBogusString::BOGUS_VALUE;
  const char16_t* end = start;
  UnicodeString result = parseString(start, &end, mode);
  if (result.isBogus() || end == start + trimmed.length()) return result;
  // Text after the closing quote: a quote of the enclosing kind stood
  // unescaped inside. Only a string written without escapes can hold one.
  if (mode & (QUOTE_DOUBLED | QUOTE_CSS_ESCAPE)) return ZelBogusString::BOGUS_VALUE;
  int32_t last = trimmed.length() - 1;
  if (last >= 1 && trimmed.charAt(0) == trimmed.charAt(last)) return UnicodeString(trimmed, 1, last - 1);
  return ZelBogusString::BOGUS_VALUE;
}

UnicodeString ZelUtil::quoteUri(const UnicodeString& text) {
  UnicodeString inner(text);
  inner.findAndReplace(UnicodeString(u"\""), UnicodeString(u"%22"));
  return UnicodeString(u"url(\"").append(inner).append(u"\")");
}

UnicodeString ZelUtil::unquoteUri(const UnicodeString& text) {
  return ZelUri(text, ZelUri::URISTR_CSS_AUTO).toString();
}

}  // namespace ObraCommon
