// ZelUri's reading of a text argument and its canonical text. The CSS string
// types unwrap a style sheet's url( ... ) value first; then every text is
// trimmed, its blanks escaped and its backslashes turned into slashes
// (except in a data: URI, whose data must stay as written), and Windows
// paths become file: URIs: "C:\Docs\a b.xml" is "file:///C:/Docs/a%20b.xml",
// "\\srv\share\x.xml" is "file://srv/share/x.xml".
#include "quarnel/uri.h"

#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <unicode/utf8.h>

#include <string>

#include "quarnel/shared_strings.h"
#include "quarnel/tokenizer.h"
#include "quarnel/value.h"
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

UnicodeString ReadArgument(const UnicodeString& s, ZelUri::URISTRTYPE type) {
  return type == ZelUri::URISTR_CSS_AUTO || type == ZelUri::URISTR_CSS_URI ? ReadCssUri(s) : s;
}

bool StartsWithNoCase(const UnicodeString& text, const char16_t* prefix) {
  UnicodeString p(prefix);
  return text.length() >= p.length() && UnicodeString(text, 0, p.length()).toLower() == p;
}

bool IsSchemeChar(char16_t c) {
  return IsAsciiLetter(c) || (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
}

// The index of the ":" that ends the scheme, or 0 when there is none. A
// scheme has at least two characters, so a drive letter is never one.
int32_t SchemeLength(const UnicodeString& text) {
  if (text.isEmpty() || !IsAsciiLetter(text.charAt(0))) return 0;
  int32_t i = 1;
  while (i < text.length() && IsSchemeChar(text.charAt(i))) ++i;
  return i < text.length() && text.charAt(i) == u':' && i >= 2 ? i : 0;
}

// Percent escapes as bytes; a run of escapes that forms valid UTF-8 is read
// as UTF-8, since a Linux path is UTF-8. Any other escaped byte gives the
// one code unit of its value.
UnicodeString UnescapePath(const UnicodeString& text) {
  UnicodeString out;
  const int32_t length = text.length();
  auto escapedByte = [&](int32_t i) {
    if (text.charAt(i) != u'%' || i + 2 >= length) return -1;
    int hi = hexDigitValue(text.charAt(i + 1));
    int lo = hexDigitValue(text.charAt(i + 2));
    return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
  };
  int32_t i = 0;
  while (i < length) {
    if (escapedByte(i) < 0) {
      out.append(text.charAt(i++));
      continue;
    }
    std::string run;
    for (int b; i < length && (b = escapedByte(i)) >= 0; i += 3) run.push_back(static_cast<char>(b));
    const auto* bytes = reinterpret_cast<const uint8_t*>(run.data());
    const int32_t runLength = static_cast<int32_t>(run.size());
    for (int32_t k = 0; k < runLength;) {
      int32_t start = k;
      UChar32 c;
      U8_NEXT(bytes, k, runLength, c);
      if (c < 0) {
        out.append(static_cast<char16_t>(bytes[start]));
        k = start + 1;
      } else {
        out.append(c);
      }
    }
  }
  return out;
}

UnicodeString LocalPath(const UnicodeString& text) {
  if (text.isEmpty()) return text;
  if (StartsWithNoCase(text, u"file:")) {
    int32_t n = 0;
    while (5 + n < text.length() && text.charAt(5 + n) == u'/') ++n;
    UnicodeString rest(text, 5 + n);
    if (HasDrive(rest)) return UnescapePath(rest);
    if (n == 2) {
      // The host form: localhost is this machine; any other host stays a
      // "//host/path" that no local opening accepts.
      if (StartsWithNoCase(rest, u"localhost/")) return UnescapePath(UnicodeString(rest, 9));
      return UnescapePath(UnicodeString(u"//").append(rest));
    }
    // Three slashes name a local path; more keep the UNC form.
    if (n >= 3) return UnescapePath(UnicodeString(text, 7));
    return UnescapePath(UnicodeString(text, 5));
  }
  if (SchemeLength(text) == 0) return UnescapePath(text);
  return text;
}

// The base of a resolution loses its last segment and then one directory
// for each level the reference climbs.
UnicodeString Resolve(const UnicodeString& baseText, const UnicodeString& reference) {
  if (reference.isEmpty()) return UnicodeString();
  UnicodeString t = Normalize(reference);
  if (t.isEmpty()) return t;
  if (StartsWithNoCase(t, u"jar:")) return UnicodeString(u"jar:").append(Resolve(baseText, UnicodeString(t, 4)));
  if (HasDrive(t))
    t = UnicodeString(u"file:///").append(t);
  else if (t.startsWith(UnicodeString(u"//")))
    t = UnicodeString(u"file:").append(t);
  if (StartsWithNoCase(t, u"file:")) {
    if (t.length() > 5 && t.charAt(5) == u'/') {
      // "file:/usr/x" is the short form of "file:///usr/x".
      if (t.length() <= 6 || t.charAt(6) != u'/') t = UnicodeString(u"file:///").append(UnicodeString(t, 6));
      if ((t.length() <= 7 || t.charAt(7) != u'/') && HasDrive(UnicodeString(t, 7)))
        t = UnicodeString(u"file:///").append(UnicodeString(t, 7));
      return t;
    }
    t.remove(0, 5);
  }
  if (SchemeLength(t) > 0) return t;
  // A relative base without "/" (a part at a package's root) still takes
  // the reference's leading "./", "../" and "/" away below.
  if (baseText.isEmpty() || baseText == UnicodeString(u"./") ||
      (baseText.indexOf(u'/') < 0 && SchemeLength(baseText) > 0))
    return t;

  int up = 0;
  if (t == UnicodeString(u".")) {
    t.remove();
  } else if (t == UnicodeString(u"..")) {
    t.remove();
    up = 1;
  } else {
    for (;;) {
      if (t.startsWith(UnicodeString(u"./"))) {
        t.remove(0, 2);
      } else if (t.startsWith(UnicodeString(u"../"))) {
        t.remove(0, 3);
        ++up;
      } else {
        break;
      }
    }
    if (t.startsWith(UnicodeString(u"/")) && !t.startsWith(UnicodeString(u"//"))) {
      t.remove(0, 1);
      up = 9999;
    }
  }

  UnicodeString b(baseText);
  const int32_t scheme = SchemeLength(b);
  int32_t root = -1;
  if (scheme > 0) {
    b.replace(0, scheme, UnicodeString(b, 0, scheme).toLower());
    if (b.startsWith(UnicodeString(u"http://")) || b.startsWith(UnicodeString(u"https://"))) {
      int32_t query = b.indexOf(u'?');
      if (query >= 0) b.truncate(query);
      root = scheme + 3;
    } else {
      if (b.startsWith(UnicodeString(u"file://localhost/")))
        b = UnicodeString(u"file:///").append(UnicodeString(b, 17));
      if (b.length() >= scheme + 3 && b.charAt(scheme + 1) == u'/' && b.charAt(scheme + 2) == u'/') {
        root = b.startsWith(UnicodeString(u"file:///")) && HasDrive(UnicodeString(b, 8)) ? 10 : scheme + 3;
      } else if (b.startsWith(UnicodeString(u"jar:"))) {
        int32_t bang = b.lastIndexOf(UnicodeString(u"!/"));
        root = bang >= 0 ? bang + 1 : -1;
      }
    }
  }
  for (bool changed = true; changed;) {
    changed = true;
    if (b.endsWith(UnicodeString(u"/."))) {
      b.truncate(b.length() - 1);
    } else if (b.endsWith(UnicodeString(u"/.."))) {
      b.truncate(b.length() - 2);
      ++up;
    } else if (b.endsWith(UnicodeString(u"/./"))) {
      b.truncate(b.length() - 2);
    } else if (b.endsWith(UnicodeString(u"/../"))) {
      b.truncate(b.length() - 3);
      ++up;
    } else {
      changed = false;
    }
  }
  for (int i = 0; i <= up; ++i) {
    int32_t slash = b.lastIndexOf(u'/');
    if (slash < 0 && scheme == 0) {
      // A relative base has no root to stop at: climbing past its first
      // segment leaves the reference alone.
      return t;
    }
    if (slash < 0 || slash < root) break;
    b.truncate(slash);
  }
  return b.append(u'/').append(t);
}

// The root of path whose file system answers for it: the longest prefix
// that exists.
bool OnNetworkFileSystem(const std::string& path) {
  std::string probe = path;
  for (;;) {
    struct statfs info {};
    if (!probe.empty() && statfs(probe.c_str(), &info) == 0) {
      switch (static_cast<unsigned long>(info.f_type)) {
        case 0x6969:      // NFS
        case 0x517B:      // SMB
        case 0xFF534D42:  // CIFS
        case 0xFE534D42:  // SMB2
        case 0x5346414F:  // AFS
        case 0x73757245:  // Coda
        case 0x01021997:  // 9P
          return true;
        default:
          return false;
      }
    }
    size_t slash = probe.find_last_of('/');
    if (slash == std::string::npos) return false;
    if (slash == 0) {
      if (probe == "/") return false;
      probe = "/";
    } else {
      probe.resize(slash);
    }
  }
}

}  // namespace

ZelUriReferenceResolver::~ZelUriReferenceResolver() = default;

ZelUri::ZelUri(const UnicodeString& s, URISTRTYPE type) : m_text(Absolutize(ReadArgument(s, type))) {}

ZelUri::ZelUri(const ZelUri& base, const UnicodeString& ref, URISTRTYPE type)
    : m_text(Resolve(base.m_text, ReadArgument(ref, type))) {}

bool ZelUri::operator<(const ZelUri& other) const {
  if (other.m_text.isBogus()) return false;
  return m_text.compare(other.m_text) < 0;
}

bool ZelUri::isAbsolute() const { return SchemeLength(m_text) > 0; }
bool ZelUri::isFile() const { return StartsWithNoCase(m_text, u"file:") || SchemeLength(m_text) == 0; }
bool ZelUri::isDataScheme() const { return StartsWithNoCase(m_text, u"data:"); }
bool ZelUri::isJarScheme() const { return StartsWithNoCase(m_text, u"jar:"); }

bool ZelUri::isRemote() const {
  if (!isAbsolute() || !StartsWithNoCase(m_text, u"file:")) return false;
  std::string path;
  getLocalPath().toUTF8String(path);
  return !path.empty() && path[0] == '/' && OnNetworkFileSystem(path);
}

bool ZelUri::isFileExists() const {
  std::string path;
  getLocalPath().toUTF8String(path);
  // "//host/path" names another machine; Linux would read "/host/path".
  if (path.rfind("//", 0) == 0) return false;
  return isFileExists(path.c_str());
}

bool ZelUri::isSameFile(const ZelUri& other) const {
  return isFile() && other.isFile() && getLocalPath() == other.getLocalPath();
}

UnicodeString ZelUri::getScheme() const { return UnicodeString(m_text, 0, SchemeLength(m_text)); }

UnicodeString ZelUri::getLocalPath() const { return LocalPath(m_text); }

UnicodeString ZelUri::getBaseString() const {
  int32_t slash = m_text.lastIndexOf(u'/');
  return LocalPath(slash < 0 ? UnicodeString(u"./") : UnicodeString(m_text, 0, slash + 1));
}

UnicodeString ZelUri::getFileName() const { return UnicodeString(m_text, m_text.lastIndexOf(u'/') + 1); }

namespace {
int32_t ExtensionStart(const UnicodeString& text) {
  if (text.endsWith(UnicodeString(u"/"))) return -1;
  int32_t dot = text.lastIndexOf(u'.');
  return dot > text.lastIndexOf(u'/') ? dot : -1;
}
}  // namespace

UnicodeString ZelUri::getExtension() const {
  if (isDataScheme()) return UnicodeString();
  int32_t dot = ExtensionStart(m_text);
  return dot < 0 ? UnicodeString() : UnicodeString(m_text, dot);
}

UnicodeString ZelUri::setExtension(const UnicodeString* ext) {
  if (m_text.endsWith(UnicodeString(u"/"))) return ZelBogusString::BOGUS_VALUE;
  UnicodeString old;
  int32_t dot = ExtensionStart(m_text);
  if (dot >= 0) {
    old = UnicodeString(m_text, dot);
    m_text.truncate(dot);
  }
  if (ext != nullptr) m_text.append(*ext);
  return old;
}

UnicodeString ZelUri::toDirectory() { return toDirectory(m_text, u'/'); }

UnicodeString ZelUri::toDirectory(UnicodeString& s, char16_t sep) {
  if (s.isEmpty() || s.charAt(s.length() - 1) != sep) s.append(sep);
  return s;
}

UnicodeString ZelUri::removeFragment() {
  int32_t hash = m_text.indexOf(u'#');
  if (hash < 0) return UnicodeString();
  UnicodeString fragment(m_text, hash);
  m_text.truncate(hash);
  return fragment;
}

UnicodeString ZelUri::getRelativeUri(const UnicodeString& base) const {
  if (m_text.isEmpty() || base.isEmpty()) return UnicodeString();
  UnicodeString baseDir(base, 0, base.lastIndexOf(u'/') + 1);
  int32_t slash = m_text.lastIndexOf(u'/');
  if (slash < 0) return UnicodeString();
  UnicodeString dir(m_text, 0, slash + 1);
  UnicodeString name(m_text, slash + 1);
  int up = 0;
  UnicodeString down;
  while (dir.isEmpty() || !baseDir.startsWith(dir)) {
    if (!dir.isEmpty()) dir.truncate(dir.length() - 1);
    int32_t last = dir.lastIndexOf(u'/');
    if (last < 0) return UnicodeString();
    down = UnicodeString(dir, last + 1).append(u'/').append(down);
    dir.truncate(last + 1);
    ++up;
  }
  UnicodeString prefix;
  UnicodeString rest(baseDir, dir.length());
  for (int32_t i = 0; i < rest.length(); ++i)
    if (rest.charAt(i) == u'/') prefix.append(UnicodeString(u"../"));
  if (up > 0) prefix.append(down);
  return prefix.append(name);
}

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

ZelDataUri::ZelDataUri(const UnicodeString& s, URISTRTYPE type) : ZelUri(s, type) { init(); }

ZelDataUri::ZelDataUri(const ZelUri& base, const UnicodeString& s, URISTRTYPE type) : ZelUri(base, s, type) {
  init();
}

ZelDataUri::~ZelDataUri() = default;

namespace {
// A "page" parameter's positive integer value, or 0.
int32_t PageParameter(const UnicodeString& parameter) {
  ZelTokenizer tokens(parameter);
  if (tokens.nextToken() != ZelTokenizer::TOKEN_NAME || tokens.getTokenText() != UnicodeString(u"page") ||
      tokens.nextToken() != u'=')
    return 0;
  int kind = tokens.nextToken();
  ZelValue value;
  if (kind == ZelTokenizer::TOKEN_NUMBER && tokens.getTokenText().isEmpty()) {
    double number = tokens.getNumber();
    return number >= 1 && number <= INT32_MAX && number == static_cast<int32_t>(number) ? static_cast<int32_t>(number)
                                                                                         : 0;
  }
  value = ZelValue::parse(tokens.getTokenText());
  return value.isInteger() && value.getIntegerValue() > 0 ? value.getIntegerValue() : 0;
}
}  // namespace

void ZelDataUri::init() {
  m_dataPos = -1;
  m_isBase64 = false;
  m_pageNumber = 0;
  if (SchemeLength(m_text) != 4 || !m_text.startsWith(UnicodeString(u"data:"))) return;
  m_text = UnicodeString(m_text, 0, 5).append(unescape(UnicodeString(m_text, 5)));
  int32_t i = 5;
  while (i < m_text.length() && m_text.charAt(i) != u';' && m_text.charAt(i) != u',') ++i;
  if (i == m_text.length()) return;
  m_mediaType = UnicodeString(m_text, 5, i - 5);
  m_mediaType.trim();
  if (m_text.charAt(i) == u',') {
    m_dataPos = i + 1;
    return;
  }
  m_isBase64 = true;
  for (int32_t start = ++i; i < m_text.length(); ++i) {
    if (m_text.charAt(i) == u',') {
      m_dataPos = i + 1;
      return;
    }
    if (m_text.charAt(i) == u';') {
      if (int32_t page = PageParameter(UnicodeString(m_text, start, i - start))) m_pageNumber = page;
      start = i + 1;
    }
  }
}

}  // namespace ObraCommon
