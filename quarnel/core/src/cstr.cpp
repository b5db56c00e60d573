// ZelCStr's narrow copy and its staleness rules: the copy stands while the
// text equals the snapshot taken when it was made (two bogus texts count as
// equal) and the requested code page is the stored one (two nulls count as
// equal, names compare as bytes).
#include <cstring>

#include "quarnel/zel_cstr.h"

namespace ObraCommon {

namespace {

bool SameText(const UnicodeString& a, const UnicodeString& b) {
  if (a.isBogus() || b.isBogus()) return a.isBogus() && b.isBogus();
  return a == b;
}

bool SameCodePage(const std::optional<std::string>& stored, const char* requested) {
  if (!stored || requested == nullptr) return !stored && requested == nullptr;
  return *stored == requested;
}

std::optional<std::string> CodePageName(const char* codePage) {
  if (codePage == nullptr) return std::nullopt;
  return std::string(codePage);
}

}  // namespace

ZelCStr::ZelCStr(const UnicodeString& text) : UnicodeString(text) {}

ZelCStr::ZelCStr(const char* bytes) {
  if (bytes == nullptr) return;
  size_t length = std::strlen(bytes);
  UnicodeString::operator=(UnicodeString(bytes, static_cast<int32_t>(length), nullptr));
  m_narrow.assign(bytes, length);
  m_snapshot = *this;
}

ZelCStr::ZelCStr(const char* bytes, const char* codePage) {
  if (bytes == nullptr) return;
  size_t length = std::strlen(bytes);
  // ICU's constructor leaves the text bogus when it cannot open the
  // converter; a null name would mean the default converter.
  UnicodeString::operator=(UnicodeString(bytes, static_cast<int32_t>(length), codePage));
  if (!isBogus()) m_narrow.assign(bytes, length);
  m_codePage = CodePageName(codePage);
  m_snapshot = *this;
}

ZelCStr::ZelCStr(const char16_t* text) {
  if (text != nullptr) UnicodeString::operator=(UnicodeString(text));
}

ZelCStr::ZelCStr(const char16_t* text, int32_t length) {
  // ICU reads a negative length as "zero-terminated"; a BSTR's length is
  // never negative, so such a length is refused instead.
  if (text != nullptr && length > 0) UnicodeString::operator=(UnicodeString(text, length));
}

ZelCStr::ZelCStr(const ZelCStr& other) = default;
ZelCStr& ZelCStr::operator=(const ZelCStr& other) = default;
ZelCStr::~ZelCStr() = default;

const std::string& ZelCStr::getCString(const char* codePage) {
  if (SameText(*this, m_snapshot) && SameCodePage(m_codePage, codePage)) return m_narrow;
  return convertCString(codePage);
}

const std::string& ZelCStr::convertCString(const char* codePage) {
  // A bogus text or a converter ICU cannot open gives 0 bytes.
  int32_t needed = extract(0, length(), nullptr, 0u, codePage);
  std::string narrow(static_cast<size_t>(needed > 0 ? needed : 0), '\0');
  if (needed > 0) extract(0, length(), narrow.data(), static_cast<uint32_t>(needed), codePage);
  std::optional<std::string> name = CodePageName(codePage);
  // Only now, with everything allocated, the object changes.
  m_narrow.swap(narrow);
  m_codePage.swap(name);
  m_snapshot = *this;
  return m_narrow;
}

}  // namespace ObraCommon
