// ZelUri: the library's name of a resource (a file given as a Windows path
// or a file: URI, a zip entry, a remote resource, a data: URI). A URI holds
// nothing but its canonical text, so it is copied and compared freely.
#pragma once

#include <unicode/unistr.h>

#include "quarnel/export.h"

namespace ObraCommon {

using icu::UnicodeString;

class QUARNEL_API ZelUri {
 public:
  // How a constructor reads its text argument. The CSS types first unwrap
  // a style sheet's url( ... ) and one pair of matching quotes. Any other
  // value reads as URISTR_AUTO (the type is int-based, so every int is a
  // value of it).
  enum URISTRTYPE : int {
    URISTR_AUTO = 0,
    URISTR_URI = 1,
    URISTR_CSS_AUTO = 2,
    URISTR_CSS_URI = 3,
  };

  ZelUri() = default;
  // The canonical text of s: trimmed; outside a data: URI blanks as "%20"
  // and backslashes as "/"; a path with a drive letter, a UNC path and an
  // absolute path become file: URIs.
  ZelUri(const UnicodeString& s, URISTRTYPE type);
  ZelUri(const ZelUri& other) = default;
  ZelUri& operator=(const ZelUri& other) = default;
  virtual ~ZelUri();

  const UnicodeString& toString() const { return m_text; }
  operator const UnicodeString&() const { return m_text; }

  // Every "%" with two hexadecimal digits becomes the one UTF-16 unit of
  // that byte (escaped UTF-8 is not combined); anything else stays.
  static UnicodeString unescape(const UnicodeString& text);

  // Whether something exists under the path (UTF-8, or UTF-16 code units).
  static bool isFileExists(const char* path);
  static bool isFileExists(const unsigned short* path);

 private:
  UnicodeString m_text;
};

}  // namespace ObraCommon
