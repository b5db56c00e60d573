// ZelUri: the library's name of a resource (a file given as a Windows path
// or a file: URI, a zip entry, a remote resource, a data: URI). A URI holds
// nothing but its canonical text, so it is copied and compared freely.
#pragma once

#include <istream>
#include <ostream>

#include <unicode/unistr.h>

#include "quarnel/export.h"

namespace ObraCommon {

using icu::UnicodeString;

// A host's hook that serves streams before the library looks at a URI: it
// answers a new stream the caller owns, or null for a URI it does not know.
class QUARNEL_API ZelUriReferenceResolver {
 public:
  ZelUriReferenceResolver() = default;
  ZelUriReferenceResolver(const ZelUriReferenceResolver&) = default;
  ZelUriReferenceResolver& operator=(const ZelUriReferenceResolver&) = default;
  virtual ~ZelUriReferenceResolver();
  virtual std::istream* resolveStream(const UnicodeString& uriText) = 0;
};

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
  // ref read by type, then resolved against base's text.
  ZelUri(const ZelUri& base, const UnicodeString& ref, URISTRTYPE type);
  ZelUri(const ZelUri& other) = default;
  ZelUri& operator=(const ZelUri& other) = default;
  virtual ~ZelUri();

  const UnicodeString& toString() const { return m_text; }
  operator const UnicodeString&() const { return m_text; }
  bool isEmpty() const { return m_text.isEmpty(); }
  bool operator<(const ZelUri& other) const;

  bool isAbsolute() const;
  bool isFile() const;
  bool isDataScheme() const;
  bool isJarScheme() const;
  // A file: URI whose path lies on a network file system.
  bool isRemote() const;
  bool isFileExists() const;
  bool isSameFile(const ZelUri& other) const;

  UnicodeString getScheme() const;
  UnicodeString getLocalPath() const;
  UnicodeString getBaseString() const;
  UnicodeString getFileName() const;
  UnicodeString getExtension() const;
  // Cuts the extension off ("." included) and returns it, then appends
  // *ext; a text ending with "/" is left and the bogus string returned.
  UnicodeString setExtension(const UnicodeString* ext);
  UnicodeString setExtension(const UnicodeString& ext) { return setExtension(&ext); }
  UnicodeString toDirectory();
  static UnicodeString toDirectory(UnicodeString& s, char16_t sep);
  UnicodeString removeFragment();
  // A reference leading from base to this URI; empty when there is none.
  UnicodeString getRelativeUri(const UnicodeString& base) const;

  // A new stream the caller deletes, or null. Never decompresses.
  std::istream* getStream(UnicodeString* mediaType, UnicodeString* errorText) const;
  std::istream* getStream(UnicodeString* mediaType) const { return getStream(mediaType, nullptr); }
  std::istream* getStreamFromResolver() const;
  static ZelUriReferenceResolver* setUriReferenceResolver(ZelUriReferenceResolver* resolver);
  static ZelUriReferenceResolver* getUriReferenceResolver();

  bool isGzip() const;
  static bool isGzip(std::istream& in);
  std::istream* getGzipStream() const;
  // in must outlive the result.
  static std::istream* getGzipStream(std::istream& in);

  virtual std::ostream* createOStream(const UnicodeString& name);
  virtual void releaseOStream(std::ostream* stream);

  // A file beside a loaded module, or in the folder an environment
  // variable names.
  static ZelUri getModuleUri(const char* moduleName, const char* relPath, const char* envName);
  void* loadLibrary() const;
  static void* getProcAddress(void* module, const char* name);
  static void freeLibrary(void* module);

  // Every "%" with two hexadecimal digits becomes the one UTF-16 unit of
  // that byte (escaped UTF-8 is not combined); anything else stays.
  static UnicodeString unescape(const UnicodeString& text);

  // Whether something exists under the path (UTF-8, or UTF-16 code units).
  static bool isFileExists(const char* path);
  static bool isFileExists(const unsigned short* path);

 protected:
  UnicodeString m_text;

 private:
  static ZelUriReferenceResolver* s_resolver;
};

// A URI that also reads the header of a data: URI.
class QUARNEL_API ZelDataUri : public ZelUri {
 public:
  ZelDataUri(const UnicodeString& s, URISTRTYPE type);
  ZelDataUri(const ZelUri& base, const UnicodeString& s, URISTRTYPE type);
  ZelDataUri(const ZelDataUri& other) = default;
  ZelDataUri& operator=(const ZelDataUri& other) = default;
  ~ZelDataUri() override;

  int getDataPos() const { return m_dataPos; }
  bool isBase64() const { return m_isBase64; }
  const UnicodeString& getMediaType() const { return m_mediaType; }
  int getPageNumber() const { return m_pageNumber; }

 private:
  void init();
  int32_t m_dataPos = -1;
  bool m_isBase64 = false;
  UnicodeString m_mediaType;
  int32_t m_pageNumber = 0;
};

}  // namespace ObraCommon
