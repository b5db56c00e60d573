// ZelLang: the tag normalisation and the queries, with the language-code
// table held against ISO 639-2 (iso-codes) and the results against ICU's
// own canonicalisation and likely scripts.
#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <utility>
#include <string>

#include <unicode/locid.h>

#include "iso_codes.h"
#include "language_codes.h"
#include "quarnel/zel_lang.h"
#include "support.h"

namespace ObraCommon {
// Failures show the locale id, not the object's bytes.
void PrintTo(const ZelLang& lang, std::ostream* out) { *out << lang.getLocale().getName(); }
}  // namespace ObraCommon

namespace {

using ObraCommon::Locale;
using ObraCommon::UnicodeString;
using ObraCommon::ZelLang;
using ObraCommon::ZelName;
using quarnel_test::Utf8;

ZelLang Lang(const std::string& tag) { return ZelLang(UnicodeString::fromUTF8(tag)); }

// The default locale for one test, restored afterwards.
class DefaultLocale {
 public:
  explicit DefaultLocale(const char* id) : m_saved(Locale::getDefault()) {
    UErrorCode err = U_ZERO_ERROR;
    Locale::setDefault(Locale(id), err);
  }
  ~DefaultLocale() {
    UErrorCode err = U_ZERO_ERROR;
    Locale::setDefault(m_saved, err);
  }

 private:
  Locale m_saved;
};

TEST(ZelLang, TagsAndQueries) {
  struct Case {
    const char* tag;
    const char* language;
    const char* country;
    const char* text;
    const char* iso3;
    uint32_t lcid;
    const char* script;
  };
  const Case cases[] = {
      {"none", "", "", "", "", 0, ""},
      {"", "", "", "", "", 0, ""},
      {"ja-JP", "ja", "JP", "ja-JP", "jpn-JP", 0x411, "Jpan"},
      {"zh-TW", "zh", "TW", "zh-TW", "zho-TW", 0x404, "Hant"},
      {"zh-CN", "zh", "CN", "zh-CN", "zho-CN", 0x804, "Hans"},
      {"ko-KR", "ko", "KR", "ko-KR", "kor-KR", 0x412, "Hang"},
      {"en-US", "en", "US", "en-US", "eng-US", 0x409, "Latn"},
      {"de-DE", "de", "DE", "de-DE", "deu-DE", 0x407, "Latn"},
      {"ger", "de", "", "de", "deu", 0x7, "Latn"},
      {"ger_DE", "de", "DE", "de-DE", "deu-DE", 0x407, "Latn"},
      {"GER", "ger", "", "ger", "", 0, ""},
      {"germ", "germ", "", "germ", "", 0, ""},
      {"fre", "fr", "", "fr", "fra", 0xC, "Latn"},
      {"jav", "jv", "", "jv", "jav", 0, "Latn"},
      {"ru_RU", "ru", "RU", "ru-RU", "rus-RU", 0x419, "Cyrl"},
      {"yi", "yi", "", "yi", "yid", 0x3D, "Yiii"},
      {"sr-Latn-RS", "sr", "RS", "sr-RS", "srp-RS", 0x241A, "Cyrl"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.tag);
    const ZelLang lang = Lang(k.tag);
    EXPECT_EQ(Utf8(lang.getLanguage()), k.language);
    EXPECT_EQ(Utf8(lang.getCountry()), k.country);
    EXPECT_EQ(Utf8(lang.toString()), k.text);
    EXPECT_EQ(Utf8(lang.toISO3String()), k.iso3);
    EXPECT_EQ(static_cast<uint32_t>(lang.getLCID()), k.lcid);
    EXPECT_EQ(Utf8(lang.toScript().getScriptCode()), k.script);
    EXPECT_EQ(lang.isNullLang(), *k.language == 0);
    EXPECT_EQ(ZelLang(k.tag), lang);
    EXPECT_FALSE(lang < lang);
  }
}

// What ICU is given: the code is replaced only when it stands alone or
// before a separator, and only when written exactly as in the table.
TEST(ZelLang, NormalisedTags) {
  const std::pair<const char*, const char*> cases[] = {
      {"ger_DE", "deu_DE"}, {"ger-DE", "deu-DE"}, {"ger", "deu"},  {"germ", "germ"},   {"GER", "GER"},
      {"Fre", "Fre"},       {"none", ""},         {"none-", "none-"}, {"scr-HR", "hrv-HR"}, {"jav", "jav"},
      {"ger@x", "deu@x"},   {"gerDE", "gerDE"},   {"", ""},         {"ge", "ge"},       {"tib1", "bod1"},
  };
  for (const auto& [tag, want] : cases) {
    EXPECT_EQ(Utf8(ObraCommon::detail::normaliseLanguageTag(UnicodeString::fromUTF8(tag))), want) << tag;
  }
}

TEST(ZelLang, ConstructorsAndOrder) {
  EXPECT_TRUE(ZelLang().isNullLang());
  EXPECT_TRUE(ZelLang(static_cast<const char*>(nullptr)).isNullLang());
  EXPECT_TRUE(ZelLang(ZelName(UnicodeString(u"none"))).isNullLang());
  EXPECT_TRUE(ZelLang(ZelName()).isNullLang());
  EXPECT_EQ(ZelLang(ZelName(UnicodeString(u"ger"))), Lang("deu"));
  EXPECT_EQ(ZelLang(static_cast<ObraCommon::ZelNameEnum>(ZelName(UnicodeString(u"ja")))), Lang("ja"));
  EXPECT_EQ(Lang("ger"), Lang("deu"));
  EXPECT_EQ(Lang("jav"), Lang("jv"));
  EXPECT_EQ(ZelLang(u"ger", u"DE"), Lang("de-DE"));
  EXPECT_EQ(ZelLang(u"en", u"none"), Lang("en"));
  EXPECT_EQ(ZelLang(Locale::getJapan()), Lang("ja_JP"));
  EXPECT_NE(Lang("en-GB"), Lang("en-US"));
  EXPECT_EQ(Utf8(Lang("ja").getLanguageName()), "jpn");
  EXPECT_EQ(Utf8(Lang("ja-JP").getISO3Country()), "JPN");
  EXPECT_TRUE(Lang("en-GB") < Lang("en-US"));
  EXPECT_FALSE(Lang("en-US") < Lang("en-GB"));
  EXPECT_TRUE(Lang("en") < Lang("en-GB"));
  EXPECT_TRUE(Lang("de-US") < Lang("en-AU"));
  const ZelLang posix = Lang("en_US_POSIX"), plain = Lang("en_US");
  EXPECT_NE(posix, plain);
  EXPECT_FALSE(posix < plain);
  EXPECT_FALSE(plain < posix);
}

TEST(ZelLang, DefaultLocale) {
  {
    DefaultLocale japanese("ja_JP");
    EXPECT_TRUE(ZelLang::isDefaultLocaleJapanese());
    EXPECT_EQ(ZelLang::getDefaultLocale(), Lang("ja-JP"));
  }
  DefaultLocale english("en_US");
  EXPECT_FALSE(ZelLang::isDefaultLocaleJapanese());
  EXPECT_EQ(ZelLang::getDefaultLocale(), Lang("en-US"));
}

// Every row of the code table but "none" and the withdrawn "scr" and "scc"
// is one of ISO 639-2's bibliographic/terminology pairs, and every pair is
// in the table.
TEST(ZelLang, CodeTableIsIso639Pairs) {
  const auto entries = quarnel_test::ReadIsoCodes("iso_639-2.json");
  if (entries.empty()) GTEST_SKIP() << "no iso_639-2.json: install iso-codes";
  std::set<std::string> pairs, rows;
  for (const auto& e : entries) {
    if (e.count("bibliographic")) pairs.insert(e.at("bibliographic") + ">" + e.at("alpha_3"));
  }
  for (const auto& row : ObraCommon::detail::kLanguageCodes) {
    const std::string key = Utf8(UnicodeString(row.key.data(), static_cast<int32_t>(row.key.size())));
    if (key == "none" || key == "scr" || key == "scc") continue;
    rows.insert(key + ">" + Utf8(UnicodeString(row.replacement.data(), static_cast<int32_t>(row.replacement.size()))));
  }
  EXPECT_EQ(pairs.size(), 20u);
  EXPECT_EQ(rows, pairs);
}

// Language and country against ICU's canonicalisation with CLDR's aliases,
// for every ISO 639-2 code alone and with a country. The differences are
// CLDR replacements the library does not make.
TEST(ZelLang, AgreesWithIcuCanonicalisation) {
  const auto entries = quarnel_test::ReadIsoCodes("iso_639-2.json");
  if (entries.empty()) GTEST_SKIP() << "no iso_639-2.json: install iso-codes";
  std::set<std::string> codes{"scr", "scc"};
  for (const auto& e : entries) {
    codes.insert(e.at("alpha_3"));
    if (e.count("bibliographic")) codes.insert(e.at("bibliographic"));
  }
  const std::set<std::string> expected{"bih", "cnr", "fat", "him", "tgl", "twi", "sgn-DE"};
  std::set<std::string> differences;
  int compared = 0;
  for (const std::string& code : codes) {
    for (const std::string& tag : {code, code + "-DE"}) {
      const Locale icu = Locale::createCanonical(tag.c_str());
      const ZelLang lang = Lang(tag);
      ++compared;
      if (Utf8(lang.getLanguage()) != icu.getLanguage() || Utf8(lang.getCountry()) != icu.getCountry()) {
        differences.insert(expected.count(code) ? code : tag);
      }
    }
  }
  EXPECT_EQ(compared, 2 * 509);
  EXPECT_EQ(differences, expected);
}

// Scripts of languages against ICU's likely script, over ICU's locales
// without script or variant. Korean is "Hang" here and "Kore" to ICU; "yi"
// is read as the Yi script name; ICU's first script of "yue" is Han.
TEST(ZelLang, ScriptsAgreeWithLikelySubtags) {
  int32_t count = 0;
  const Locale* locales = Locale::getAvailableLocales(count);
  std::set<std::string> differences;
  int compared = 0;
  for (int32_t i = 0; i < count; ++i) {
    const Locale& locale = locales[i];
    if (*locale.getScript() || *locale.getVariant()) continue;
    Locale likely(locale);
    UErrorCode err = U_ZERO_ERROR;
    likely.addLikelySubtags(err);
    ASSERT_TRUE(U_SUCCESS(err)) << locale.getName();
    ++compared;
    if (Utf8(Lang(locale.getName()).toScript().getScriptCode()) != likely.getScript()) {
      differences.insert(locale.getName());
    }
  }
  EXPECT_GT(compared, 0);
  EXPECT_EQ(differences, (std::set<std::string>{"ko", "ko_KP", "ko_KR", "yi", "yue"}));
}

}  // namespace
