// ZelUri's reading of a text argument and its canonical text. The CSS string
// types unwrap a style sheet's url( ... ) value first; then every text is
// trimmed, its blanks escaped and its backslashes turned into slashes
// (except in a data: URI, whose data must stay as written), and Windows
// paths become file: URIs: "C:\Docs\a b.xml" is "file:///C:/Docs/a%20b.xml",
// "\\srv\share\x.xml" is "file://srv/share/x.xml".
#include "quarnel/uri.h"

#include <unistd.h>

#include "text_chars.h"

namespace ObraCommon {

namespace {

bool IsAsciiLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

bool HasDrive(const UnicodeString& text) {
  return text.length() >= 2 && IsAsciiLetter(text.charAt(0)) && text.charAt(1) == u':';
}

// A style sheet's url( ... ) and one pair of matching quotes are removed. The
// text is not trimmed first, so a blank before "url(" keeps the wrapper.
UnicodeString ReadCssUri(const UnicodeString& s) {
  UnicodeString text(s);
  int32_t length = text.length();
  if (length >= 5 && text.charAt(length - 1) == u')' && text.startsWith(UnicodeString(u"url("))) {
    text = UnicodeString(s, 4, length - 5);
    text.trim();
  }
  length = text.length();
  if (length >= 1 && (text.charAt(0) == u'"' || text.charAt(0) == u'\'') &&
      text.charAt(length - 1) == text.charAt(0))
    text = length >= 2 ? UnicodeString(text, 1, length - 2) : UnicodeString();
  return text;
}

UnicodeString Normalize(const UnicodeString& s) {
  UnicodeString text(s);
  text.trim();
  if (!UnicodeString(text, 0, 5).toLower().startsWith(UnicodeString(u"data:"))) {
    text.findAndReplace(UnicodeString(u" "), UnicodeString(u"%20"));
    text.findAndReplace(UnicodeString(u"\\"), UnicodeString(u"/"));
  }
  return text;
}

UnicodeString Absolutize(const UnicodeString& s) {
  UnicodeString text = Normalize(s);
  if (HasDrive(text)) return UnicodeString(u"file:///").append(text);
  if (text.startsWith(UnicodeString(u"//"))) return UnicodeString(u"file:").append(text);
  if (text.startsWith(UnicodeString(u"/"))) return UnicodeString(u"file://").append(text);
  return text;
}

}  // namespace

ZelUri::ZelUri(const UnicodeString& s, URISTRTYPE type)
    : m_text(Absolutize(type == URISTR_CSS_AUTO || type == URISTR_CSS_URI ? ReadCssUri(s) : s)) {}

ZelUri::~ZelUri() = default;

bool ZelUri::isFileExists(const char* path) { return path != nullptr && access(path, F_OK) == 0; }

bool ZelUri::isFileExists(const unsigned short* path) {
  if (path == nullptr) return false;
  std::string utf8;
  UnicodeString(reinterpret_cast<const char16_t*>(path)).toUTF8String(utf8);
  return isFileExists(utf8.c_str());
}

UnicodeString ZelUri::unescape(const UnicodeString& text) {
  UnicodeString out;
  int32_t length = text.length();
  for (int32_t i = 0; i < length; ++i) {
    char16_t c = text.charAt(i);
    if (c == u'%' && i + 2 < length && hexDigitValue(text.charAt(i + 1)) >= 0 &&
        hexDigitValue(text.charAt(i + 2)) >= 0) {
      out.append(static_cast<char16_t>(hexDigitValue(text.charAt(i + 1)) * 16 + hexDigitValue(text.charAt(i + 2))));
      i += 2;
    } else {
      out.append(c);
    }
  }
  return out;
}

}  // namespace ObraCommon
