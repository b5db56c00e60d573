// A language value: an ICU locale built from the language tags of documents
// and settings ("ja", "en-US", "ger", "zh-TW", "none"), with ISO 639-2
// bibliographic codes replaced by their terminology codes first, so that
// "ger" and "deu" give the same locale.
#pragma once

#include <cstdint>

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "quarnel/export.h"
#include "quarnel/name.h"
#include "quarnel/zel_script.h"

namespace ObraCommon {

using icu::Locale;
using icu::UnicodeString;

class QUARNEL_API ZelLang {
 public:
  // A Windows language id (LCID), as ICU gives it; 0 where ICU knows none.
  enum LanguageID : uint32_t {};

  // The null language: a locale with an empty id.
  ZelLang();
  explicit ZelLang(const Locale& locale) : m_locale(locale) {}
  explicit ZelLang(const UnicodeString& tag);
  // Bytes in the default code page; a null pointer is the empty tag.
  explicit ZelLang(const char* tag);
  // "none" as the country counts as no country.
  ZelLang(const UnicodeString& language, const UnicodeString& country);
  explicit ZelLang(ZelName name);
  explicit ZelLang(ZelNameEnum name) : ZelLang(ZelName(name)) {}
  ZelLang(const ZelLang& other) = default;
  ZelLang& operator=(const ZelLang& other) = default;
  ~ZelLang() = default;

  const Locale& getLocale() const { return m_locale; }

  bool operator==(const ZelLang& other) const { return m_locale == other.m_locale; }
  bool operator!=(const ZelLang& other) const { return m_locale != other.m_locale; }
  // By language code, then country code, as bytes; script and variant do
  // not count.
  bool operator<(const ZelLang& other) const;
  bool isNullLang() const;

  UnicodeString getLanguage() const;
  UnicodeString getCountry() const;
  UnicodeString getISO3Language() const;
  UnicodeString getISO3Country() const;
  ZelName getLanguageName() const;
  LanguageID getLCID() const;
  // "ja", "en-US".
  UnicodeString toString() const;
  // "jpn-JP": the country stays two-letter.
  UnicodeString toISO3String() const;
  ZelScript toScript() const;

  static ZelLang getDefaultLocale();
  static bool isDefaultLocaleJapanese();
  // The code table is constant data: nothing to free.
  static void cleanup() {}

 private:
  Locale m_locale;
};

}  // namespace ObraCommon
