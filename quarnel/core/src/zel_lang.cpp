// Language values. ICU shortens the three-letter codes it knows ("deu"
// becomes "de") but keeps the bibliographic ones it does not ("ger" stays
// "ger"); the table below maps them to terminology codes first.
#include "quarnel/zel_lang.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string_view>

#include "language_codes.h"
#include "quarnel/zel_char.h"
#include "quarnel/zel_cstr.h"
#include "text_chars.h"

namespace ObraCommon {

using detail::CodeRow;
using detail::kLanguageCodes;

namespace {

const CodeRow* findCode(std::u16string_view key) {
  const CodeRow* it = std::lower_bound(std::begin(kLanguageCodes), std::end(kLanguageCodes), key,
                                       [](const CodeRow& row, std::u16string_view k) { return row.key < k; });
  return it != std::end(kLanguageCodes) && it->key == key ? it : nullptr;
}

UnicodeString fromView(std::u16string_view text) {
  return UnicodeString(text.data(), static_cast<int32_t>(text.size()));
}

}  // namespace

// A three-letter code followed by "-" or "_" has its code replaced; any
// other tag is replaced whole or kept.
UnicodeString detail::normaliseLanguageTag(const UnicodeString& tag) {
  if (tag.length() >= 4 && !ZelChar::isAsciiLetter(tag.charAt(3))) {
    const CodeRow* row = findCode(unitsOf(tag, 3));
    return row ? fromView(row->replacement) + tag.tempSubString(3) : tag;
  }
  const CodeRow* row = findCode(unitsOf(tag, tag.length()));
  return row ? fromView(row->replacement) : tag;
}

namespace {

std::string narrow(const UnicodeString& text) {
  ZelCStr converted(text);
  return converted.getCString();
}

UnicodeString fromBytes(const char* bytes) { return UnicodeString::fromUTF8(bytes ? bytes : ""); }

int compareBytes(const char* a, const char* b) { return std::strcmp(a, b); }

}  // namespace

ZelLang::ZelLang() : m_locale("") {}

ZelLang::ZelLang(const UnicodeString& tag) : m_locale(narrow(detail::normaliseLanguageTag(tag)).c_str()) {}

ZelLang::ZelLang(const char* tag) : ZelLang(static_cast<const UnicodeString&>(ZelCStr(tag))) {}

ZelLang::ZelLang(const UnicodeString& language, const UnicodeString& country)
    : m_locale(narrow(detail::normaliseLanguageTag(language)).c_str(), country == u"none" ? "" : narrow(country).c_str()) {}

ZelLang::ZelLang(ZelName name) : ZelLang(name.toString() == u"none" ? UnicodeString() : name.toString()) {}

bool ZelLang::operator<(const ZelLang& other) const {
  const int byLanguage = compareBytes(m_locale.getLanguage(), other.m_locale.getLanguage());
  if (byLanguage != 0) return byLanguage < 0;
  return compareBytes(m_locale.getCountry(), other.m_locale.getCountry()) < 0;
}

bool ZelLang::isNullLang() const { return *m_locale.getLanguage() == 0; }

UnicodeString ZelLang::getLanguage() const { return fromBytes(m_locale.getLanguage()); }
UnicodeString ZelLang::getCountry() const { return fromBytes(m_locale.getCountry()); }
UnicodeString ZelLang::getISO3Language() const { return fromBytes(m_locale.getISO3Language()); }
UnicodeString ZelLang::getISO3Country() const { return fromBytes(m_locale.getISO3Country()); }

ZelName ZelLang::getLanguageName() const { return ZelName(getISO3Language()); }

ZelLang::LanguageID ZelLang::getLCID() const { return static_cast<LanguageID>(m_locale.getLCID()); }

UnicodeString ZelLang::toString() const {
  UnicodeString text = getLanguage();
  if (*m_locale.getCountry() != 0) text.append(u'-').append(getCountry());
  return text;
}

UnicodeString ZelLang::toISO3String() const {
  UnicodeString text = getISO3Language();
  if (*m_locale.getCountry() != 0) text.append(u'-').append(getCountry());
  return text;
}

ZelScript ZelLang::toScript() const { return ZelScript(toString()); }

ZelLang ZelLang::getDefaultLocale() { return ZelLang(Locale::getDefault()); }

bool ZelLang::isDefaultLocaleJapanese() {
  return std::strcmp(Locale::getDefault().getISO3Language(), Locale::getJapanese().getISO3Language()) == 0;
}

}  // namespace ObraCommon
