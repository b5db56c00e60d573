// ZelScript: its own codes and the cases it settles itself, and everything
// else against ICU's script functions, Scripts.txt and ISO 15924.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include <unicode/uchar.h>
#include <unicode/uscript.h>

#include "iso_codes.h"
#include "quarnel/zel_script.h"
#include "support.h"
#include "unicode_files.h"

namespace {

using ObraCommon::UnicodeString;
using ObraCommon::ZelName;
using ObraCommon::ZelScript;
using ObraCommon::ZelUScriptCode;
using quarnel_test::Utf8;

int32_t FromText(const char* text) { return ZelScript(UnicodeString::fromUTF8(text)).getUScriptCode(); }
int32_t FromName(const char* text) { return ZelScript(ZelName(UnicodeString::fromUTF8(text))).getUScriptCode(); }
int32_t ScriptOf(int32_t c) { return ZelScript::getScript(c).getUScriptCode(); }
int32_t TextScript(const char16_t* text) { return ZelScript::getScriptFromText(text).getUScriptCode(); }
ZelScript Code(int32_t code) { return ZelScript(static_cast<ZelUScriptCode>(code)); }

TEST(ZelScript, Construction) {
  struct Case {
    const char* text;
    int32_t fromText, fromName;
  };
  const Case cases[] = {
      {"", -2, -1},          {"auto", -2, -2},     {"none", -3, -3},     {"Jpan", -8, -8},
      {"Hans", -10, -10},    {"Hant", -9, -9},     {"Kana", 22, 22},     {"Hira", 20, 20},
      {"zh-TW", -9, -9},     {"ZH-TW", -9, -9},    {"zh-hk", -9, -9},   {"zh-Hant-TW", -10, -10},
      {"zh", -10, -10},      {"zh-SG", -10, -10},  {"ja", -8, -8},       {"ja-JP", -8, -8},
      {"ko", -4, -4},        {"ko-KR", -4, -4},    {"kor", 18, -4},      {"jpn", 22, -8},
      {"ja_JP", 22, 22},     {"zh_TW", 17, 17},    {"Hani", 17, 17},     {"Latn", 25, 25},
      {"Latf", 80, 25},      {"Qaai", 1, 1},       {"Zyyy", 0, 0},       {"Hang", 18, 18},
      {"xx-yy", -1, -1},     {"Greek", 14, 14},    {"en", 25, 25},       {"ru_RU", 8, 8},
      {"zho-TWN", 17, -9},   {"Cyrl", 8, 8},       {"Hebr", 19, 19},     {"jav", 25, 25},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.text);
    EXPECT_EQ(FromText(k.text), k.fromText);
    if (*k.text) {
      EXPECT_EQ(FromName(k.text), k.fromName);
    }
  }
  EXPECT_EQ(ZelScript().getUScriptCode(), 0);
  EXPECT_EQ(ZelScript(ZelName()).getUScriptCode(), -1);
}

TEST(ZelScript, QueriesAndNames) {
  struct Case {
    int32_t code;
    const char* scriptCode;
    const char* scriptName;
    char16_t a;
    bool cjk, justify, ja, kana, independent;
  };
  const Case cases[] = {
      {-10, "Hans", "Hans", 0x4E9C, true, true, false, false, false},
      {-9, "Hant", "Hant", 0x4E9C, true, true, false, false, false},
      {-8, "Jpan", "Jpan", 0x3042, true, true, true, false, false},
      {-4, "Hang", "Hang", 0xAC00, true, false, false, false, false},
      {-3, "", "", u'A', false, false, false, false, false},
      {-2, "", "", u'A', false, false, false, false, false},
      {-1, "", "", u'A', false, false, false, false, false},
      {0, "Zyyy", "Common", u'A', false, false, false, false, false},
      {1, "Qaai", "Inherited", u'A', false, false, false, false, false},
      {2, "Arab", "Arabic", 0x0627, false, false, false, false, true},
      {5, "Bopo", "Bopomofo", u'A', true, true, false, false, false},
      {17, "Hani", "Han", 0x4E9C, true, true, false, false, false},
      {18, "Hang", "Hangul", 0xAC00, true, false, false, false, false},
      {20, "Hira", "Hiragana", 0x3042, true, true, true, true, false},
      {22, "Kana", "Katakana", 0x30A2, true, true, true, true, false},
      {25, "Latn", "Latin", u'A', false, false, false, false, false},
      {38, "Thai", "Thai", 0x0E01, false, false, false, false, true},
      {39, "Tibt", "Tibetan", u'A', false, false, false, false, true},
      {54, "Hrkt", "Katakana_Or_Hiragana", 0x3042, true, true, true, true, false},
      {USCRIPT_CODE_LIMIT, "", "", u'A', false, false, false, false, false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.code);
    const ZelScript s = Code(k.code);
    EXPECT_EQ(Utf8(s.getScriptCode()), k.scriptCode);
    EXPECT_EQ(Utf8(s.toString()), k.scriptCode);
    EXPECT_EQ(Utf8(s.getScriptName()), k.scriptName);
    EXPECT_EQ(s.getA(), k.a);
    EXPECT_EQ(s.isCJK(), k.cjk);
    EXPECT_EQ(s.isCJKJustify(), k.justify);
    EXPECT_EQ(s.isJA(), k.ja);
    EXPECT_EQ(s.isKanaScript(), k.kana);
    EXPECT_EQ(s.isIndependentScript(), k.independent);
    EXPECT_EQ(s.isGlyphOrientationPossible(), !k.independent);
    EXPECT_EQ(s.isCJKorAuto(), k.cjk || k.code == -2);
  }
}

TEST(ZelScript, CharactersAndHanging) {
  struct Case {
    const char* what;
    bool got, want;
  };
  const ZelScript ja = Code(-8), tc = Code(-9), sc = Code(-10), latin = Code(25), ko = Code(-4);
  const Case cases[] = {
      {"U+0660 is ICU's", ScriptOf(0x0660) == USCRIPT_ARABIC, true},
      {"U+06F0 is not Arabic by range", ZelScript::isArabicScript(0x06F0), false},
      {"U+00A5 is Latin", ScriptOf(0xA5) == USCRIPT_LATIN, true},
      {"U+00A2 is Latin", ScriptOf(0xA2) == USCRIPT_LATIN, true},
      {"U+00A6 is Common", ScriptOf(0xA6) == USCRIPT_COMMON, true},
      {"U+05FF is Hebrew", ScriptOf(0x05FF) == USCRIPT_HEBREW, true},
      {"U+097F is Devanagari", ScriptOf(0x097F) == USCRIPT_DEVANAGARI, true},
      {"digits and space skipped",
       TextScript(u"12 ab") == USCRIPT_LATIN, true},
      {"combining mark counts", TextScript(u"1\u0301a") == 1, true},
      {"pair is one code point",
       TextScript(u"1\U00020000") == USCRIPT_HAN, true},
      {"negative code point has no script", ScriptOf(-5) == -1, true},
      {"code point past U+10FFFF has no script", ScriptOf(0x110000) == -1, true},
      {"only digits give Common", TextScript(u"123") == 0, true},
      {"empty gives Common", TextScript(u"") == 0, true},
      {"TC U+3002 does not hang at the end", tc.isHangingEndChar(0x3002), false},
      {"SC U+3002 hangs at the end", sc.isHangingEndChar(0x3002), true},
      {"TC U+FE51 hangs at the end", tc.isHangingEndChar(0xFE51), true},
      {"Korean has no CJK end set", ko.isHangingEndChar(0x3002), false},
      {"JA full stop does not hang at the end", ja.isHangingEndChar('.'), false},
      {"JA full stop hangs last", ja.isHangingLastChar('.'), true},
      {"Latin full stop hangs last", latin.isHangingLastChar('.'), true},
      {"Latin } hangs at the end", latin.isHangingEndChar('}'), true},
      {"Latin ) is CP, not CL", latin.isHangingEndChar(')'), false},
      {"Latin U+2019 hangs at the end", latin.isHangingEndChar(0x2019), true},
      {"Latin ( does not hang at the end", latin.isHangingEndChar('('), false},
      {"Latin U+3002 is CL and hangs at the end", latin.isHangingEndChar(0x3002), true},
      {"( hangs at the start", latin.isHangingStartChar('('), true},
      {"bullet hangs at the start", ja.isHangingStartChar(0x2022), true},
      {"U+201C hangs at the start", ja.isHangingStartChar(0x201C), true},
      {"letter does not hang", ja.isHangingStartChar('a'), false},
      {"ideograph is zenkaku", latin.isZenkakuScript(0x4E00), true},
      {"section sign zenkaku in Japanese", ja.isZenkakuScript(0xA7), true},
      {"section sign not in Latin", latin.isZenkakuScript(0xA7), false},
      {"U+00D7 zenkaku in Japanese", ja.isZenkakuScript(0xD7), true},
      {"U+00E9 not zenkaku in Japanese", ja.isZenkakuScript(0xE9), false},
  };
  for (const Case& k : cases) EXPECT_EQ(k.got, k.want) << k.what;
}

// getScript agrees with Scripts.txt outside the code points it settles.
TEST(ZelScript, GetScriptAgreesWithScriptsTxt) {
  const quarnel_test::PropertyMap scripts = quarnel_test::ReadPropertyMap("Scripts.txt");
  if (scripts.empty()) GTEST_SKIP() << "no Scripts.txt: install unicode-data";
  int failures = 0;
  for (int32_t c = 0; c <= 0x10FFFF && failures < 20; ++c) {
    if (ZelScript::isHebrewScript(c) || ZelScript::isArabicScript(c) || ZelScript::isDevanagariScript(c)) continue;
    if (c >= 0xA2 && c <= 0xBA && ScriptOf(c) == USCRIPT_LATIN) continue;
    const std::string& name = scripts.at(c).empty() ? std::string("Unknown") : scripts.at(c);
    // Not uscript_getCode: it reads "New_Tai_Lue" as the locale id "new".
    const int32_t want = u_getPropertyValueEnum(UCHAR_SCRIPT, name.c_str());
    ASSERT_NE(want, UCHAR_INVALID_CODE) << name;
    if (ScriptOf(c) != want) {
      ++failures;
      ADD_FAILURE() << std::hex << c << " " << name << std::dec << " " << ScriptOf(c) << " " << want;
    }
  }
}

// ISO 15924 against the library's fixed codes and ICU's: every fixed
// four-letter text is an ISO code but "Qaai" (ICU's and ISO's is "Zinh");
// the text constructor gives ICU's code for each ISO code but the
// library's own "Jpan", "Hans" and "Hant"; getScriptCode is ICU's short
// name for every ICU code but Inherited.
TEST(ZelScript, AgreesWithIso15924AndIcu) {
  const auto entries = quarnel_test::ReadIsoCodes("iso_15924.json");
  if (entries.empty()) GTEST_SKIP() << "no iso_15924.json: install iso-codes";
  std::set<std::string> iso;
  for (const auto& e : entries) iso.insert(e.at("alpha_4"));
  for (const char* fixed : {"Arab", "Cyrl", "Deva", "Grek", "Hang", "Hani", "Hans", "Hant", "Hebr", "Hira",
                            "Jpan", "Kana", "Latf", "Latg", "Latn", "Thai", "Zyyy", "Hrkt"}) {
    EXPECT_TRUE(iso.count(fixed)) << fixed;
  }
  EXPECT_FALSE(iso.count("Qaai"));
  int differences = 0;
  for (const std::string& code : iso) {
    UScriptCode icu[8];
    UErrorCode err = U_ZERO_ERROR;
    const int32_t n = uscript_getCode(code.c_str(), icu, 8, &err);
    const int32_t want = U_SUCCESS(err) && n > 0 ? icu[0] : -1;
    const int32_t got = FromText(code.c_str());
    if (got != want) {
      ++differences;
      EXPECT_TRUE(code == "Jpan" || code == "Hans" || code == "Hant") << code << " " << got << " " << want;
    }
  }
  EXPECT_EQ(differences, 3);
  for (int32_t c = 0; c < USCRIPT_CODE_LIMIT; ++c) {
    const char* shortName = uscript_getShortName(static_cast<UScriptCode>(c));
    if (c == USCRIPT_INHERITED) {
      EXPECT_STREQ(shortName, "Zinh");
      continue;
    }
    EXPECT_EQ(Utf8(Code(c).getScriptCode()), shortName ? shortName : "") << c;
  }
}

}  // namespace
