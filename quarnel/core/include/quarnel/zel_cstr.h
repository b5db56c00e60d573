// ZelCStr: a text that also keeps a narrow (8-bit) copy of itself in a code
// page, for runtime-library calls, file names and the engine's conversion
// functions. The copy is made again only when the text or the requested
// code page changed since it was made. A null code page is ICU's default
// converter, which is UTF-8 on this platform.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <unicode/unistr.h>

#include "quarnel/export.h"

namespace ObraCommon {

using icu::UnicodeString;

class QUARNEL_API ZelCStr : public UnicodeString {
 public:
  // The text; no narrow copy yet (the first request for a non-empty text
  // converts).
  ZelCStr(const UnicodeString& text);
  // Bytes decoded with the default converter; they are the narrow copy for
  // the default code page. A null pointer gives the empty text.
  ZelCStr(const char* bytes);
  // Bytes decoded by the named ICU converter ("cp932", "GBK"); they are the
  // narrow copy for that code page. A name ICU cannot open gives a bogus
  // text whose narrow copy is empty.
  ZelCStr(const char* bytes, const char* codePage);
  // A zero-terminated UTF-16 text.
  ZelCStr(const char16_t* text);
  // A counted UTF-16 text (a BSTR with the length of SysStringLen); a
  // negative length gives the empty text.
  ZelCStr(const char16_t* text, int32_t length);
  ZelCStr(const ZelCStr& other);
  ZelCStr& operator=(const ZelCStr& other);
  ~ZelCStr() override;

  // The narrow copy in the code page (null: the default converter); its
  // c_str() is zero-terminated.
  const std::string& getCString(const char* codePage = nullptr);
  // Converts the current text into the code page and keeps it as the copy.
  const std::string& convertCString(const char* codePage = nullptr);

 private:
  std::string m_narrow;
  std::optional<std::string> m_codePage;
  UnicodeString m_snapshot;
};

}  // namespace ObraCommon
