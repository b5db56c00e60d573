// Script values. ICU decides the script of most characters and script
// names; the library settles the cases layout code needs told apart, which
// ICU either merges (Han for Japanese and both Chinese) or answers from the
// Unicode data in a way layout does not want (Latin-1 signs as Common).
#include "quarnel/zel_script.h"

#include <string_view>
#include <vector>

#include <unicode/locid.h>
#include <unicode/uchar.h>

#include "code_ranges.h"
#include "quarnel/zel_char.h"
#include "quarnel/zel_cstr.h"
#include "text_chars.h"

namespace ObraCommon {

using detail::CodeRange;
using detail::inRanges;

namespace {

constexpr auto code(int32_t value) { return static_cast<ZelUScriptCode>(value); }

struct NamedCode {
  std::u16string_view text;
  int32_t code;
};

// The four-letter codes the library fixes, read both ways: a name gives
// its first row's code (so "Hang" is Hangul), a code its row's name (Korean
// is written "Hang" too). Other codes and names are ICU's.
constexpr NamedCode kScriptCodes[] = {
    {u"Arab", USCRIPT_ARABIC},       {u"Cyrl", USCRIPT_CYRILLIC},
    {u"Deva", USCRIPT_DEVANAGARI},   {u"Grek", USCRIPT_GREEK},
    {u"Hang", USCRIPT_HANGUL},       {u"Hang", ZEL_USCRIPT_KOREAN},
    {u"Hani", USCRIPT_HAN},          {u"Hans", ZEL_USCRIPT_SIMPLIFIED_CHINESE},
    {u"Hant", ZEL_USCRIPT_TRADITIONAL_CHINESE}, {u"Hebr", USCRIPT_HEBREW},
    {u"Hira", USCRIPT_HIRAGANA},     {u"Hrkt", USCRIPT_KATAKANA_OR_HIRAGANA},
    {u"Jpan", ZEL_USCRIPT_JAPANESE}, {u"Kana", USCRIPT_KATAKANA},
    {u"Latn", USCRIPT_LATIN},        {u"Qaai", USCRIPT_INHERITED},
    {u"Thai", USCRIPT_THAI},         {u"Zyyy", USCRIPT_COMMON},
};

// The other names the name constructor knows by itself, where the text
// constructor would read them otherwise; the plain language tags ("zh-TW",
// "ja", "ko" and their like) and the settings it reads the same way.
constexpr NamedCode kNameAliases[] = {
    {u"zh-TWN", ZEL_USCRIPT_TRADITIONAL_CHINESE}, {u"zho-TW", ZEL_USCRIPT_TRADITIONAL_CHINESE},
    {u"zho-TWN", ZEL_USCRIPT_TRADITIONAL_CHINESE}, {u"zho", ZEL_USCRIPT_SIMPLIFIED_CHINESE},
    {u"zho-CHN", ZEL_USCRIPT_SIMPLIFIED_CHINESE}, {u"zho-CN", ZEL_USCRIPT_SIMPLIFIED_CHINESE},
    {u"jpn", ZEL_USCRIPT_JAPANESE}, {u"kor", ZEL_USCRIPT_KOREAN}, {u"Latf", USCRIPT_LATIN}, {u"Latg", USCRIPT_LATIN},
};

// The settings both constructors take before any name.
constexpr NamedCode kSettings[] = {{u"auto", ZEL_USCRIPT_AUTO}, {u"none", ZEL_USCRIPT_NONE}};

// Latin-1 signs that ICU calls Common but that come with Latin text.
constexpr CodeRange kLatinSigns[] = {
    {0x00A2, 0x00A2}, {0x00A3, 0x00A3}, {0x00A4, 0x00A4}, {0x00A5, 0x00A5}, {0x00A7, 0x00A7},
    {0x00A8, 0x00A8}, {0x00A9, 0x00A9}, {0x00AA, 0x00AA}, {0x00AE, 0x00AE}, {0x00AF, 0x00AF},
    {0x00B4, 0x00B4}, {0x00B5, 0x00B5}, {0x00B8, 0x00B8}, {0x00BA, 0x00BA}};

template <size_t N>
const NamedCode* findText(const NamedCode (&table)[N], std::u16string_view text) {
  for (const NamedCode& row : table) {
    if (row.text == text) return &row;
  }
  return nullptr;
}

bool equalsOrStarts(const UnicodeString& lower, const char16_t* tag) {
  const UnicodeString t(tag);
  return lower == t || lower.startsWith(t + u"-");
}

// ICU's first script code for a script name, code or locale id. ICU writes
// nothing when there is less room than codes, so the call is repeated with
// the count it reports.
int32_t firstIcuCode(const UnicodeString& text) {
  ZelCStr narrow(text);
  const std::string& id = narrow.getCString();
  std::vector<UScriptCode> codes(8);
  UErrorCode err = U_ZERO_ERROR;
  int32_t count = uscript_getCode(id.c_str(), codes.data(), static_cast<int32_t>(codes.size()), &err);
  if (err == U_BUFFER_OVERFLOW_ERROR && count > 0) {
    codes.resize(static_cast<size_t>(count));
    err = U_ZERO_ERROR;
    count = uscript_getCode(id.c_str(), codes.data(), count, &err);
  }
  return U_SUCCESS(err) && count > 0 ? codes[0] : USCRIPT_INVALID_CODE;
}

}  // namespace

ZelScript::ZelScript(ZelName name) : m_code(ZEL_USCRIPT_INVALID) {
  if (name.isEmpty()) return;
  const UnicodeString& text = name.toString();
  const std::u16string_view units = unitsOf(text, text.length());
  const NamedCode* row = findText(kScriptCodes, units);
  if (row == nullptr) row = findText(kNameAliases, units);
  if (row != nullptr) {
    m_code = code(row->code);
  } else {
    *this = ZelScript(text);
  }
}

ZelScript::ZelScript(const UnicodeString& text) : m_code(ZEL_USCRIPT_INVALID) {
  if (text.isEmpty()) {
    m_code = ZEL_USCRIPT_AUTO;
    return;
  }
  const std::u16string_view units = unitsOf(text, text.length());
  const NamedCode* row = findText(kSettings, units);
  if (row == nullptr) row = findText(kScriptCodes, units);
  if (row != nullptr) {
    m_code = code(row->code);
    return;
  }
  UnicodeString lower(text);
  lower.toLower(icu::Locale::getRoot());
  if (lower == u"zh-tw" || lower == u"zh-hk") {
    m_code = ZEL_USCRIPT_TRADITIONAL_CHINESE;
  } else if (equalsOrStarts(lower, u"zh")) {
    m_code = ZEL_USCRIPT_SIMPLIFIED_CHINESE;
  } else if (equalsOrStarts(lower, u"ja")) {
    m_code = ZEL_USCRIPT_JAPANESE;
  } else if (equalsOrStarts(lower, u"ko")) {
    m_code = ZEL_USCRIPT_KOREAN;
  } else {
    m_code = code(firstIcuCode(text));
  }
}

bool ZelScript::isJA() const {
  return m_code == ZEL_USCRIPT_JAPANESE || isKanaScript(m_code);
}

bool ZelScript::isCJK() const {
  return isCJKJustify() || m_code == ZEL_USCRIPT_KOREAN || m_code == int32_t{USCRIPT_HANGUL};
}

bool ZelScript::isCJKJustify() const {
  switch (m_code) {
    case ZEL_USCRIPT_SIMPLIFIED_CHINESE:
    case ZEL_USCRIPT_TRADITIONAL_CHINESE:
    case ZEL_USCRIPT_JAPANESE:
      return true;
    default:
      return m_code == int32_t{USCRIPT_BOPOMOFO} || m_code == int32_t{USCRIPT_HAN} || isKanaScript(m_code);
  }
}

bool ZelScript::isKanaScript(ZelUScriptCode c) {
  return c == int32_t{USCRIPT_HIRAGANA} || c == int32_t{USCRIPT_KATAKANA} ||
         c == int32_t{USCRIPT_KATAKANA_OR_HIRAGANA};
}

bool ZelScript::isIndependentScript() const {
  switch (static_cast<int32_t>(m_code)) {
    case USCRIPT_ARABIC: case USCRIPT_BENGALI: case USCRIPT_DEVANAGARI: case USCRIPT_ETHIOPIC:
    case USCRIPT_GEORGIAN: case USCRIPT_GUJARATI: case USCRIPT_GURMUKHI: case USCRIPT_HEBREW:
    case USCRIPT_KANNADA: case USCRIPT_KHMER: case USCRIPT_LAO: case USCRIPT_MALAYALAM:
    case USCRIPT_MONGOLIAN: case USCRIPT_MYANMAR: case USCRIPT_OGHAM: case USCRIPT_ORIYA:
    case USCRIPT_RUNIC: case USCRIPT_SINHALA: case USCRIPT_SYRIAC: case USCRIPT_TAMIL:
    case USCRIPT_TELUGU: case USCRIPT_THAANA: case USCRIPT_THAI: case USCRIPT_TIBETAN:
      return true;
    default:
      return false;
  }
}

char16_t ZelScript::getA() const {
  switch (static_cast<int32_t>(m_code)) {
    case ZEL_USCRIPT_SIMPLIFIED_CHINESE: case ZEL_USCRIPT_TRADITIONAL_CHINESE: case USCRIPT_HAN:
      return 0x4E9C;
    case ZEL_USCRIPT_JAPANESE: case USCRIPT_HIRAGANA: case USCRIPT_KATAKANA_OR_HIRAGANA:
      return 0x3042;
    case ZEL_USCRIPT_KOREAN: case USCRIPT_HANGUL:
      return 0xAC00;
    case USCRIPT_ARABIC: return 0x0627;
    case USCRIPT_CYRILLIC: return 0x0410;
    case USCRIPT_DEVANAGARI: return 0x0905;
    case USCRIPT_GREEK: return 0x0391;
    case USCRIPT_HEBREW: return 0x05D0;
    case USCRIPT_KATAKANA: return 0x30A2;
    case USCRIPT_THAI: return 0x0E01;
    default: return u'A';
  }
}

ZelName ZelScript::getScriptCode() const {
  for (const NamedCode& row : kScriptCodes) {
    if (row.code == m_code) return ZelName(UnicodeString(row.text.data(), static_cast<int32_t>(row.text.size())));
  }
  if (m_code <= 0) return ZelName();
  const char* shortName = uscript_getShortName(static_cast<UScriptCode>(m_code));
  if (shortName == nullptr || *shortName == 0) return ZelName();
  return ZelName(UnicodeString(shortName, -1, US_INV));
}

const UnicodeString& ZelScript::toString() const { return getScriptCode().toString(); }

UnicodeString ZelScript::getScriptName() const {
  if (m_code < 0) return toString();
  const char* name = uscript_getName(static_cast<UScriptCode>(m_code));
  return name == nullptr ? UnicodeString() : UnicodeString(name, -1, US_INV);
}

bool ZelScript::isArabicScript(int32_t c) {
  return c >= 0x0600 && c <= 0x06FF && !(c >= 0x0660 && c <= 0x0669) && !(c >= 0x06F0 && c <= 0x06F9);
}

ZelScript ZelScript::getScript(int32_t c) {
  if (isHebrewScript(c)) return ZelScript(USCRIPT_HEBREW);
  if (isArabicScript(c)) return ZelScript(USCRIPT_ARABIC);
  if (isDevanagariScript(c)) return ZelScript(USCRIPT_DEVANAGARI);
  if (inRanges(kLatinSigns, c)) return ZelScript(USCRIPT_LATIN);
  UErrorCode err = U_ZERO_ERROR;
  const UScriptCode script = uscript_getScript(c, &err);
  return U_SUCCESS(err) ? ZelScript(script) : ZelScript(ZEL_USCRIPT_INVALID);
}

ZelScript ZelScript::getScriptFromText(const UnicodeString& text) {
  for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1)) {
    const ZelScript script = getScript(text.char32At(i));
    if (script.m_code != int32_t{USCRIPT_COMMON} && script.m_code != ZEL_USCRIPT_INVALID) return script;
  }
  return ZelScript();
}

bool ZelScript::isZenkakuScript(int32_t c) const {
  const UEastAsianWidth width = ZelChar::getEastAsianWidth(c);
  if (ZelChar::isZenkaku(width)) return true;
  if (width != U_EA_AMBIGUOUS || !isCJK()) return false;
  return isZenkakuAmbiguous(c) || getScript(c).m_code != int32_t{USCRIPT_LATIN};
}

bool ZelScript::isCJKEndChar(int32_t c) const {
  if (isJA() || isSC()) return ZelChar::isHangingPunctuationEndChar(c);
  if (isTC()) return c == 0xFE50 || c == 0xFE51 || c == 0xFE52 || c == 0xFF64;
  return false;
}

namespace {

bool isWesternEndChar(int32_t c) {
  switch (c) {
    case 0x22: case 0x27: case 0x2C: case 0x2D: case 0x2E: case 0xAD: case 0x2010:
      return true;
    default:
      return ZelChar::isCloseParenEtc(c);
  }
}

}  // namespace

bool ZelScript::isHangingEndChar(int32_t c) const {
  return isCJK() ? isCJKEndChar(c) : isWesternEndChar(c);
}

bool ZelScript::isHangingLastChar(int32_t c) const {
  return (isCJK() && isCJKEndChar(c)) || isWesternEndChar(c);
}

bool ZelScript::isHangingStartChar(int32_t c) const {
  return c == 0x22 || c == 0x27 || ZelChar::isOpenParenEtc(c) || ZelChar::isBullet(c);
}

}  // namespace ObraCommon
